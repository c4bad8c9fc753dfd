#include "markup/HtmlText.h"

#include "common/CellValue.h"

#include <QRegularExpression>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace plivan {

namespace {

// A number as LibreOffice reads it in American English: an optional sign,
// digits with commas between groups of three, a decimal point and an
// exponent, white space around it. Too large or too small for a double
// (but not zero), it stays text.
std::optional<double> EnglishNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*([+-]?(?:\d+(?:,\d{3})*(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?)\s*$)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    QString digits = match.captured(1).remove(u',');
    bool ok = false;
    const double value = digits.toDouble(&ok);
    const QStringView mantissa = QStringView(digits).left(digits.indexOf(u'e', 0, Qt::CaseInsensitive));
    const bool zero
        = std::none_of(mantissa.begin(), mantissa.end(), [](QChar c) { return c >= u'1' && c <= u'9'; });
    if (!ok || !std::isfinite(value) || (std::fabs(value) < DBL_MIN && !zero))
        return std::nullopt;
    return value;
}

} // namespace

void TextBuilder::text(QStringView text, bool preformatted)
{
    for (QChar c : text) {
        if (preformatted) {
            // A line ends at CR LF, CR or LF.
            const bool afterCr = std::exchange(m_afterCr, c == u'\r');
            if (c == u'\n' && afterCr)
                continue;
            m_current.append(c == u'\r' ? QChar(u'\n') : c);
            m_lineStart = c == u'\n' || c == u'\r';
        } else if (IsHtmlSpace(c)) {
            if (!m_lineStart && !m_current.endsWith(u' '))
                m_current.append(u' ');
        } else {
            m_current.append(c == QChar(0xA0) ? QChar(u' ') : c);
            m_lineStart = false;
        }
    }
}

void TextBuilder::lineBreak()
{
    m_current.append(u'\n');
    m_lineStart = true;
}

void TextBuilder::paragraph()
{
    if (!m_current.isEmpty())
        m_done.append(m_current);
    m_current.clear();
    m_lineStart = true;
}

void TextBuilder::rule()
{
    paragraph();
    m_done.append(QString());
}

void TextBuilder::image(const QString &alternative)
{
    if (m_alternative.isEmpty())
        m_alternative = alternative;
}

QStringList TextBuilder::paragraphs() const
{
    return m_current.isEmpty() ? m_done : m_done + QStringList { m_current };
}

QString TextBuilder::cellText() const
{
    QString text = paragraphs().join(u'\n');
    qsizetype from = 0, to = text.size();
    while (from < to && text.at(from) == u'\n')
        ++from;
    while (to > from && text.at(to - 1) == u'\n')
        --to;
    return from < to ? text.mid(from, to - from) : m_alternative;
}

HtmlRows TextBuilder::takeRows()
{
    HtmlRows rows;
    for (const QString &p : paragraphs()) {
        if (p.isEmpty())
            rows.emplace_back();
        for (const QString &line : p.split(u'\n', Qt::SkipEmptyParts))
            rows.emplace_back(line);
    }
    m_done.clear();
    m_current.clear();
    return rows;
}

std::optional<QString> HtmlCellValue(const QString &text, const QString &sdval, const QString &sdnum)
{
    const QString format = sdnum.section(u';', 2);
    bool ok = false;
    const double value = sdval.trimmed().toDouble(&ok);
    if (ok && std::isfinite(value)) {
        if (format == u"BOOLEAN")
            return BooleanText(value != 0);
        // LibreOffice writes these values, as its own serials.
        return IsDateFormat(format) ? LibreOfficeDateText(value) : NumberText(value);
    }
    if (text.isEmpty())
        return std::nullopt;
    if (format != u"@") {
        if (const std::optional<double> number = EnglishNumber(text))
            return NumberText(*number);
    }
    return text;
}

} // namespace plivan
