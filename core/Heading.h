#pragma once

#include <QString>

namespace plivan {

// The chart's heading: "<class> - <teacher>", centred by leading spaces against
// a line of 70 characters. The count of spaces is (70 - length) / 2 rounded half
// to even (19.5 -> 20, 18.5 -> 18) and never negative.
QString Heading(const QString &className, const QString &teacherName);

} // namespace plivan
