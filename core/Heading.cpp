#include "Heading.h"

#include "Numbers.h"

#include <algorithm>

namespace plivan {

QString Heading(const QString &className, const QString &teacherName)
{
    const QString text = className + QStringLiteral(" - ") + teacherName;
    const long long spaces = std::max(0LL, RoundHalfEven((70.0 - double(text.size())) / 2.0));
    return QString(qsizetype(spaces), QLatin1Char(' ')) + text;
}

} // namespace plivan
