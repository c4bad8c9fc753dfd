#include "common/CellValue.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>

#include <bit>
#include <cmath>

namespace plivan {

namespace {

// Every whole number below 2^53 is exact in a double, so its digits are the value.
constexpr double ExactWholeLimit = 9007199254740992.0;

// 9999-12-31 in the 1900 system, the last day a spreadsheet shows as a date.
constexpr double LastDateSerial = 2958465.0;

QString TimeText(qint64 secondsOfDay)
{
    return QStringLiteral("%1:%2:%3")
        .arg(secondsOfDay / 3600, 2, 10, QLatin1Char('0'))
        .arg(secondsOfDay / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(secondsOfDay % 60, 2, 10, QLatin1Char('0'));
}

bool IsElapsedTimeCode(QStringView bracketed)
{
    if (bracketed.isEmpty())
        return false;
    for (QChar c : bracketed) {
        const char16_t l = c.toLower().unicode();
        if (l != u'h' && l != u'm' && l != u's')
            return false;
    }
    return true;
}

} // namespace

QString NumberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("#NUM!");
    if (value == std::trunc(value) && std::fabs(value) < ExactWholeLimit)
        return QString::number(static_cast<qint64>(value)); // also turns -0 into 0
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString DateText(double serial, bool date1904)
{
    // Negative serials and serials past year 9999 are not dates in any
    // spreadsheet; they keep their number form.
    const double limit = date1904 ? LastDateSerial - 1462.0 : LastDateSerial;
    if (!std::isfinite(serial) || serial < 0 || serial > limit + 1)
        return NumberText(serial);

    // Spreadsheets show dates to the nearest second.
    const qint64 seconds = std::llround(serial * 86400.0);
    const qint64 day = seconds / 86400;
    if (day > static_cast<qint64>(limit))
        return NumberText(serial);
    const qint64 secondsOfDay = seconds % 86400;
    if (serial < 1)
        return TimeText(secondsOfDay);

    QString dateText;
    if (date1904) {
        dateText = QDate(1904, 1, 1).addDays(day).toString(Qt::ISODate);
    } else if (day == 60) {
        // The 1900 system keeps the leap day that 1900 never had.
        dateText = QStringLiteral("1900-02-29");
    } else {
        // Serial 1 is 1900-01-01; after the false leap day every serial is one day further.
        const QDate base = day < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
        dateText = base.addDays(day).toString(Qt::ISODate);
    }
    if (secondsOfDay == 0)
        return dateText;
    return dateText + QLatin1Char(' ') + TimeText(secondsOfDay);
}

QString LibreOfficeDateText(double serial)
{
    if (std::isfinite(serial) && serial >= 1 && serial < 61) {
        const qint64 seconds = std::llround(serial * 86400.0);
        const qint64 day = seconds / 86400, secondsOfDay = seconds % 86400;
        if (day < 61) {
            const QString dateText = QDate(1899, 12, 30).addDays(day).toString(Qt::ISODate);
            return secondsOfDay == 0 ? dateText : dateText + QLatin1Char(' ') + TimeText(secondsOfDay);
        }
    }
    return DateText(serial, false);
}

bool IsDateFormat(const QString &formatCode)
{
    const qsizetype n = formatCode.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = formatCode.at(i);
        switch (c.unicode()) {
        case u'"': { // quoted literal text
            const qsizetype close = formatCode.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                return false;
            i = close;
            continue;
        }
        case u'[': { // colour, condition, locale, or an elapsed time such as [h]
            const qsizetype close = formatCode.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                return false;
            if (IsElapsedTimeCode(QStringView(formatCode).mid(i + 1, close - i - 1)))
                return true;
            i = close;
            continue;
        }
        case u'\\': // the next character is literal
        case u'_': // a space as wide as the next character
        case u'*': // the next character fills the cell
            ++i;
            continue;
        default:
            break;
        }
        // AM/PM and A/P mark the clock, not a month or second.
        if (QStringView(formatCode).mid(i, 5).compare(u"AM/PM", Qt::CaseInsensitive) == 0) {
            i += 4;
            continue;
        }
        if (QStringView(formatCode).mid(i, 3).compare(u"A/P", Qt::CaseInsensitive) == 0) {
            i += 2;
            continue;
        }
        switch (c.toLower().unicode()) {
        case u'd':
        case u'm':
        case u'y':
        case u'h':
        case u's':
            return true;
        default:
            break;
        }
    }
    return false;
}

bool IsBuiltInDateFormat(int formatIndex)
{
    return (formatIndex >= 14 && formatIndex <= 22) || (formatIndex >= 45 && formatIndex <= 47);
}

double RkValue(quint32 rk)
{
    double value;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<qint32>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<quint64>(rk & 0xFFFFFFFCu) << 32);
    if (rk & 0x01)
        value /= 100;
    return value;
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString ErrorText(int biffCode)
{
    switch (biffCode) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    case 0x2B:
        return QStringLiteral("#GETTING_DATA");
    default:
        return QStringLiteral("#N/A"); // an error code no spreadsheet writes
    }
}

QString IsoDateValueText(QStringView value)
{
    static const QRegularExpression iso(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})(?:T(\d{2}):(\d{2})(?::(\d{2}(?:\.\d+)?))?)?(?:Z|[+-]\d{2}:?\d{2})?$)"));
    const QRegularExpressionMatch m = iso.match(value.toString());
    if (!m.hasMatch())
        return {};
    const QDate date(m.capturedView(1).toInt(), m.capturedView(2).toInt(), m.capturedView(3).toInt());
    if (!date.isValid())
        return {};
    if (!m.hasCaptured(4))
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    const int hours = m.capturedView(4).toInt();
    const int minutes = m.capturedView(5).toInt();
    const double seconds = m.hasCaptured(6) ? m.capturedView(6).toDouble() : 0.0;
    if (hours > 23 || minutes > 59 || seconds >= 61.0)
        return {};
    const qint64 total = std::llround(hours * 3600.0 + minutes * 60.0 + seconds);
    const QDateTime when = QDateTime(date, QTime(0, 0), QTimeZone::utc()).addSecs(total);
    if (when.time() == QTime(0, 0))
        return when.date().toString(QStringLiteral("yyyy-MM-dd"));
    // The day before the first day of the 1900 date system holds times alone.
    if (when.date() == QDate(1899, 12, 30))
        return when.time().toString(QStringLiteral("HH:mm:ss"));
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString IsoDurationText(QStringView value)
{
    static const QRegularExpression duration(
        QStringLiteral(R"(^(-)?P(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:\.\d+)?)S)?)?$)"));
    const QRegularExpressionMatch m = duration.match(value.toString());
    if (!m.hasMatch() || value.endsWith(u'P') || value.endsWith(u'T'))
        return {};
    const double seconds = m.capturedView(2).toDouble() * 86400.0 + m.capturedView(3).toDouble() * 3600.0
        + m.capturedView(4).toDouble() * 60.0 + m.capturedView(5).toDouble();
    if (!std::isfinite(seconds) || seconds > 1e12)
        return {};
    const double days = (m.hasCaptured(1) ? -seconds : seconds) / 86400.0;
    return DateText(days, false);
}

} // namespace plivan
