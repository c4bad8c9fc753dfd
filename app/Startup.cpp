#include "Startup.h"

#include "DataFolder.h"
#include "Form1.h"
#include "app/Version.h"

#include <QApplication>

namespace plivan {

int RunPlivan(int &argc, char **argv, const std::function<void(Form1 &)> &beforeShow)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Plivan"));
    QApplication::setApplicationVersion(QStringLiteral(PLIVAN_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("plivan"));

    Form1 window(DefaultDataFolder());
    if (beforeShow)
        beforeShow(window);
    window.show();
    return QApplication::exec();
}

} // namespace plivan
