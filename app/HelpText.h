#pragma once

#include <QString>

namespace plivan {

// The help panel's text with line 3 naming `settingsPath` as the settings file.
// Given "c:\plivan\plivan.txt" it is the text as first written for Windows.
QString HelpText(const QString &settingsPath);
// The help text for this system: the real settings file path in line 3.
QString HelpText();

} // namespace plivan
