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

} // namespace plivan
