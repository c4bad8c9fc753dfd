#pragma once

#include "WindowState.h"

#include <QString>

namespace plivan {

// What reading the settings file came to.
struct SettingsLoad {
    // True when the file was read to its end; false when a check failed and
    // the load stopped there.
    bool complete = false;
    // The one message to show when the load stopped; empty after a complete load.
    QString message;
};

// The messages of a stopped load, exactly as shown.
namespace SettingsMessage {
inline const QString TeacherMissing = QStringLiteral("'#Teacher' record not found in Plivan.txt file");
inline const QString RowMissing = QStringLiteral("'#Row' record not found in Plivan.txt file");
inline const QString ClassMissing = QStringLiteral("'#Class' record not found in Plivan.txt file");
inline const QString NoSeparator
    = QStringLiteral("The Class Name and then Student filename must be separated by a '#' sign");
} // namespace SettingsMessage

// Reads Plivan.txt from `folder` into `state`: TeacherName, SeatRows, SeatCols,
// SeatHeight, SeatWidth, ClassNames and RosterFiles (entries from 1, in file
// order). A load that stops keeps what it had stored so far.
//
// The file: line 1 starts with "#Teacher", line 2 is the teacher's name, line 3
// starts with "#Row", line 4 holds rows and columns as "5,6", line 5 starts with
// "#Class", and every later line is "<class name>#<roster file name>", split at
// its first '#'. Nothing is trimmed. UTF-8 or Windows-1252; CR LF, LF and CR
// all end a line.
SettingsLoad LoadSettings(const QString &folder, WindowState &state);

} // namespace plivan
