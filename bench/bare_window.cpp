// The start-up baseline: a bare Qt program that shows a window of Plivan's
// size holding the same ten controls (two list boxes, six buttons, a label and
// a multi-line text box, the class list and the text box hidden), and ends as
// soon as the window is on screen. It reads no file.

#include "ShownProbe.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(981, 670);
    window.setWindowTitle(QStringLiteral("Bare window"));

    auto *students = new QListWidget(&window);
    students->setGeometry(784, 8, 153, 524);
    auto *classes = new QListWidget(&window);
    classes->setGeometry(784, 384, 153, 160);
    classes->hide();
    const struct {
        const char *caption;
        QRect geometry;
    } buttons[] = { { "Random Seating", { 784, 592, 89, 25 } }, { "In Order Seating", { 784, 632, 89, 25 } },
        { "Print", { 896, 592, 73, 25 } }, { "Exit", { 896, 632, 73, 25 } },
        { "Select Class", { 784, 552, 89, 25 } }, { "Help", { 896, 552, 73, 25 } } };
    for (const auto &b : buttons)
        (new QPushButton(QLatin1String(b.caption), &window))->setGeometry(b.geometry);
    auto *label = new QLabel(&window);
    label->setGeometry(24, 8, 697, 41);
    auto *text = new QPlainTextEdit(&window);
    text->setGeometry(408, 8, 357, 625);
    text->hide();

    plivan::bench::ShownProbe probe(window);
    window.show();
    return QApplication::exec();
}
