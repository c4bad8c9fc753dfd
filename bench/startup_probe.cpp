// The program's own start-up (app/main.cpp: the application, the window built
// over the Plivan folder in HOME, which reads the settings file and lists the
// classes, then shown), ending as soon as the window is on screen.

#include "ShownProbe.h"
#include "app/Form1.h"
#include "classdata/DataFolder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plivan"));
    QApplication::setApplicationVersion(QStringLiteral("1.02"));
    QApplication::setDesktopFileName(QStringLiteral("plivan"));

    plivan::Form1 window(plivan::DefaultDataFolder());
    plivan::bench::ShownProbe probe(window);
    window.show();
    return QApplication::exec();
}
