#include "plaintext/DifReader.h"

#include "common/CellValue.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <limits>

namespace plivan {

namespace {

QTime TimeOf(const QString &text)
{
    for (const char *form : { "h:mm:ss AP", "H:mm:ss", "h:mm AP", "H:mm" }) {
        if (const QTime time = QTime::fromString(text, QLatin1String(form)); time.isValid())
            return time;
    }
    return {};
}

QDate DateOf(const QString &text)
{
    const QDate date = QDate::fromString(text, QStringLiteral("M/d/yyyy"));
    return date.isValid() ? date : QDate::fromString(text, Qt::ISODate);
}

// A number as DIF stores it: plain, or a date or time as LibreOffice writes
// one, counted in the 1900 date system.
QString NumberValueText(QStringView written)
{
    bool number = false;
    const double value = written.toDouble(&number);
    if (number)
        return NumberText(value);
    const QString text = written.toString();
    if (const QTime time = TimeOf(text); time.isValid())
        return DateText(time.msecsSinceStartOfDay() / 86400000.0, false);
    const qsizetype space = text.indexOf(u' ');
    const QDate date = DateOf(text.left(space));
    const QTime time = space < 0 ? QTime(0, 0) : TimeOf(text.mid(space + 1));
    if (!date.isValid() || !time.isValid())
        return text;
    return DateText(QDate(1899, 12, 30).daysTo(date) + time.msecsSinceStartOfDay() / 86400000.0, false);
}

class DifParser {
public:
    explicit DifParser(QStringView text)
        : m_text(text)
    {
    }

    ReadColumn read()
    {
        // The header: TABLE first, DATA last, each a name, a number pair
        // and a string.
        for (bool first = true;; first = false) {
            const QStringView name = line();
            if (m_pos >= m_text.size() && name.isEmpty())
                return damaged(QStringLiteral("it has no DATA section"));
            if ((name == u"TABLE") != first)
                return damaged(QStringLiteral("its header section at line %1 is out of order").arg(m_line));
            line();
            if (!string())
                return damaged(m_why);
            if (name == u"DATA")
                break;
        }
        int row = 0, column = 0;
        while (m_pos < m_text.size()) {
            const QStringView kind = line();
            const qsizetype comma = kind.indexOf(u',');
            const QStringView type = kind.left(comma), number = kind.sliced(comma + 1);
            if (comma < 0 && kind.trimmed().isEmpty() && m_pos >= m_text.size())
                break;
            if (type == u"-1") {
                const QStringView word = line().trimmed();
                if (word == u"EOD")
                    return std::move(m_column);
                if (word != u"BOT" || row == std::numeric_limits<int>::max())
                    return damaged(QStringLiteral("line %1 is neither BOT nor EOD").arg(m_line), row + 1);
                ++row;
                column = 0;
                continue;
            }
            if (type != u"0" && type != u"1")
                return damaged(QStringLiteral("line %1 holds a value of no known kind").arg(m_line), row);
            if (row == 0)
                return damaged(
                    QStringLiteral("a value at line %1 stands before the first row").arg(m_line), 1);
            QString text;
            if (type == u"1") {
                if (!string(&text))
                    return damaged(m_why, row);
            } else {
                const QStringView word = line().trimmed();
                if (word == u"V")
                    text = NumberValueText(number.trimmed());
                else if (word == u"TRUE" || word == u"FALSE")
                    text = word.toString();
                else if (word == u"NA")
                    text = QStringLiteral("#N/A");
                else if (word == u"ERROR")
                    text = QStringLiteral("#VALUE!");
                else
                    return damaged(QStringLiteral("line %1 holds a value of no known kind").arg(m_line), row);
            }
            if (++column == 1 && !text.isEmpty())
                m_column.cells[row] = text;
        }
        return damaged(QStringLiteral("its data ends without EOD"), row + 1);
    }

private:
    QStringView line()
    {
        ++m_line;
        return NextLine(m_text, m_pos);
    }

    // A string line: text in double quotes, up to the quote that ends a
    // line ("" within it is a quote), or the line as it is.
    bool string(QString *text = nullptr)
    {
        const int first = m_line + 1;
        QStringView l = line();
        if (!l.startsWith(u'"')) {
            if (text)
                *text = l.toString();
            return true;
        }
        QString value;
        l = l.sliced(1);
        while (!l.endsWith(u'"')) {
            if (m_pos >= m_text.size()) {
                m_why = QStringLiteral("the text at line %1 has no closing quote").arg(first);
                return false;
            }
            value += l;
            value += u'\n';
            l = line();
        }
        value += l.chopped(1);
        if (text)
            *text = value.replace(QStringLiteral("\"\""), QStringLiteral("\""));
        return true;
    }

    ReadColumn damaged(const QString &why, int from = 1)
    {
        m_column.damagedFrom = std::max(from, 1);
        m_column.damage = QStringLiteral("is damaged (%1)").arg(why);
        return std::move(m_column);
    }

    QStringView m_text;
    qsizetype m_pos = 0;
    int m_line = 0;
    QString m_why;
    ReadColumn m_column;
};

} // namespace

OpenedWorkbook OpenDif(std::unique_ptr<QIODevice> device)
{
    return OpenWholeText(*device, MaxDifBytes, QStringLiteral("DIF files"),
        [](const QString &text) { return DifParser(text).read(); });
}

} // namespace plivan
