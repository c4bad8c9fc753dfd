#include "Form1.h"

#include "classdata/DataFolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plivan"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    QApplication::setDesktopFileName(QStringLiteral("plivan"));

    plivan::Form1 window(plivan::DefaultDataFolder());
    window.show();
    return QApplication::exec();
}
