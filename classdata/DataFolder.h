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

} // namespace plivan
