#pragma once

#include <QByteArray>
#include <QString>

namespace plivan {

// Windows-1252 ("ANSI" on Western Windows) to Unicode. Bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows does.
QString FromWindows1252(QByteArrayView bytes);

} // namespace plivan
