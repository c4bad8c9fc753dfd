#include "CellValue.h"

namespace plivan {

QString NumberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString DateText(double, bool)
{
    return {};
}

bool IsDateFormat(const QString &)
{
    return false;
}

bool IsBuiltInDateFormat(int formatIndex)
{
    return (formatIndex >= 14 && formatIndex <= 22) || (formatIndex >= 45 && formatIndex <= 47);
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString ErrorText(int)
{
    return {};
}

} // namespace plivan
