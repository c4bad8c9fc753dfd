#include "MessageBox.h"

#include <QMessageBox>

namespace plivan {

namespace {

void RealMessageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Plivan"), text, QMessageBox::Ok, parent);
    box.exec();
}

MessageBoxHandler &Handler()
{
    static MessageBoxHandler handler = RealMessageBox;
    return handler;
}

} // namespace

void ShowMessage(QWidget *parent, const QString &text)
{
    Handler()(parent, text);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = Handler();
    Handler() = handler ? std::move(handler) : MessageBoxHandler(RealMessageBox);
    return previous;
}

} // namespace plivan
