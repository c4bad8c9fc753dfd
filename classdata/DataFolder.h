#pragma once

#include <QString>

namespace plivan {

// The folder that holds Plivan.txt and the rosters, with a trailing separator:
// C:\Plivan\ on Windows, ~/Plivan/ elsewhere.
QString DefaultDataFolder();

// The settings file in `folder`.
QString SettingsFilePath(const QString &folder);

// `folder` followed directly by `fileName`. When no file of that exact name
// exists and exactly one entry of the folder matches it ignoring case, that
// entry's path is returned instead (files copied from Windows often change case).
QString ResolveInFolder(const QString &folder, const QString &fileName);

// Why Windows cannot open a file called `fileName` (a name without folders)
// as the file it names, in words that complete "<path> ...": a name it keeps
// for a device (CON, aux.csv, LPT1.xls: opening one opens the device), a
// name ending in a space or a dot (which Windows drops, so that another file
// would be opened), or a character Windows does not allow in a file name.
// Empty when the name is sound. Other systems allow all of these names.
QString WindowsNameProblem(const QString &fileName);

} // namespace plivan
