#include "DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace plivan {

QString DefaultDataFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Plivan\\");
#else
    return QDir::homePath() + QStringLiteral("/Plivan/");
#endif
}

QString SettingsFilePath(const QString &folder)
{
    return ResolveInFolder(folder, QStringLiteral("Plivan.txt"));
}

QString ResolveInFolder(const QString &folder, const QString &fileName)
{
    const QString path = folder + fileName;
    if (fileName.isEmpty() || QFileInfo::exists(path) || fileName.contains(QLatin1Char('/')))
        return path;
    const QStringList matches
        = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QString found;
    int count = 0;
    for (const QString &entry : matches) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0) {
            found = entry;
            ++count;
        }
    }
    return count == 1 ? folder + found : path;
}

QString WindowsNameProblem(const QString &fileName)
{
    const QString fix = QStringLiteral("; rename the file, and its line in Plivan.txt");
    if (fileName.endsWith(QLatin1Char(' ')) || fileName.endsWith(QLatin1Char('.'))) {
        return QStringLiteral("cannot be opened: Windows does not allow a file name to end in %1%2")
            .arg(fileName.endsWith(QLatin1Char(' ')) ? QStringLiteral("a space") : QStringLiteral("a dot"),
                fix);
    }
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c)) {
            const QString shown = c.unicode() < 0x20
                ? QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper()
                : QStringLiteral("\"%1\"").arg(c);
            return QStringLiteral(
                "cannot be opened: Windows does not allow the character %1 in a file name%2")
                .arg(shown, fix);
        }
    }
    // A device name stays one with any extension and with spaces before it.
    const QString stem = fileName.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList devices = [] {
        QStringList names { QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
            QStringLiteral("NUL") };
        for (const QString &port : { QStringLiteral("COM"), QStringLiteral("LPT") }) {
            for (const QChar digit : QStringView(u"0123456789\u00B9\u00B2\u00B3"))
                names.append(port + digit);
        }
        return names;
    }();
    if (devices.contains(stem))
        return QStringLiteral("cannot be opened: Windows keeps the name %1 for a device%2").arg(stem, fix);
    return {};
}

} // namespace plivan
