#pragma once

#include <QString>

namespace plivan {

// The settings file as the help text was first written to name it, for Windows.
inline const QString HelpSettingsPath = QStringLiteral(u"c:\\plivan\\plivan.txt");

// The help panel's text with line 3 naming `settingsPath` as the settings file.
// Given HelpSettingsPath, or nothing, it is the text as first written.
QString HelpText(const QString &settingsPath);

} // namespace plivan
