#pragma once

#include <QByteArray>
#include <QString>

namespace plivan {

// Windows-1252 ("ANSI" on Western Windows) to Unicode. Bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows does.
QString FromWindows1252(QByteArrayView bytes);

// Text files written on any system: UTF-8 (a leading byte order mark is
// skipped), or Windows-1252 when the bytes are not valid UTF-8.
QString DecodeText(QByteArrayView bytes);

} // namespace plivan
