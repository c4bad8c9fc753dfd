#include "plaintext/SylkReader.h"

#include "TextDecoding.h"
#include "common/CellValue.h"

#include <QList>

#include <algorithm>
#include <set>

namespace plivan {

namespace {

constexpr char16_t Esc = 0x1B;

// A record's fields after its type: split at ';', where ";;" is a
// semicolon within a field; an escape and the two characters after it stay
// whole, whatever they are.
QList<QString> Fields(QStringView record)
{
    QList<QString> fields;
    QString field;
    for (qsizetype i = 0; i < record.size(); ++i) {
        if (record[i] == Esc) {
            field += record.sliced(i, std::min<qsizetype>(3, record.size() - i));
            i += 2;
        } else if (record[i] != u';') {
            field += record[i];
        } else if (i + 1 < record.size() && record[i + 1] == u';') {
            field += u';';
            ++i;
        } else {
            fields.append(field);
            field.clear();
        }
    }
    fields.append(field);
    return fields;
}

// The accents of ESC N <accent> <letter>, as combining marks and, before a
// space, as signs of their own.
constexpr struct {
    char16_t code, combining, alone;
} Accents[] = { { u'A', 0x300, u'`' }, { u'B', 0x301, 0xB4 }, { u'C', 0x302, u'^' }, { u'D', 0x303, u'~' },
    { u'H', 0x308, 0xA8 }, { u'J', 0x30A, 0xB0 }, { u'K', 0x327, 0xB8 } };

// The other characters written as ESC N and one character.
constexpr struct {
    char16_t code, character;
} Signs[] = { { u'!', 0xA1 }, { u'"', 0xA2 }, { u'#', 0xA3 }, { u'(', 0xA4 }, { u'%', 0xA5 }, { u'\'', 0xA7 },
    { u'S', 0xA9 }, { u'c', 0xAA }, { u'+', 0xAB }, { u'R', 0xAE }, { u'0', 0xB0 }, { u'1', 0xB1 },
    { u'2', 0xB2 }, { u'3', 0xB3 }, { u'5', 0xB5 }, { u'6', 0xB6 }, { u'7', 0xB7 }, { u'k', 0xBA },
    { u';', 0xBB }, { u'<', 0xBC }, { u'=', 0xBD }, { u'>', 0xBE }, { u'?', 0xBF }, { u'a', 0xC6 },
    { u'b', 0xD0 }, { u'i', 0xD8 }, { u'l', 0xDE }, { u'{', 0xDF }, { u'q', 0xE6 }, { u's', 0xF0 },
    { u'y', 0xF8 }, { u'|', 0xFE }, { u'j', 0x152 }, { u'z', 0x153 }, { u'*', u'"' }, { u'&', u'#' },
    { u')', u'\'' }, { u'P', u'-' } };

// Text with its escapes turned into characters: ESC and two characters from
// 0x20-0x2F and 0x30-0x3F is the Windows-1252 byte of their low halves
// (ESC " :" a line break), ESC N an accented letter or a sign.
QString Unescaped(const QString &text)
{
    if (!text.contains(Esc))
        return text;
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t second = i + 1 < text.size() ? text[i + 1].unicode() : 0;
        const char16_t third = i + 2 < text.size() ? text[i + 2].unicode() : 0;
        if (text[i] != Esc || !third) {
            out += text[i];
        } else if (second == u'N') {
            const auto accent = std::find_if(
                std::begin(Accents), std::end(Accents), [&](const auto &a) { return a.code == third; });
            const auto sign = std::find_if(
                std::begin(Signs), std::end(Signs), [&](const auto &s) { return s.code == third; });
            if (accent != std::end(Accents) && i + 3 < text.size()) {
                const QChar letter = text[i + 3];
                out += letter == u' '
                    ? QString(QChar(accent->alone))
                    : (QString(letter) + QChar(accent->combining)).normalized(QString::NormalizationForm_C);
                i += 3;
            } else if (sign != std::end(Signs)) {
                out += QChar(sign->character);
                i += 2;
            } else {
                out += text[i];
            }
        } else if (second >= 0x20 && second <= 0x2F && third >= 0x30 && third <= 0x3F) {
            const char byte = char((second & 0x0F) << 4 | (third & 0x0F));
            out += FromWindows1252(QByteArrayView(&byte, 1));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A positive number no greater than `limit`, or 0.
int Position(QStringView digits, int limit)
{
    bool ok = false;
    const int value = digits.toInt(&ok);
    return ok && value >= 1 && value <= limit && digits.front().isDigit() ? value : 0;
}

class SylkParser {
public:
    ReadColumn read(QStringView text)
    {
        qsizetype pos = 0;
        NextLine(text, pos); // the ID record
        for (int line = 2; pos < text.size(); ++line) {
            const QList<QString> fields = Fields(NextLine(text, pos));
            const QString &type = fields.front();
            if (type == u"E")
                return finish();
            if ((type == u"C" || type == u"F") && !record(type == u"C", fields))
                return damaged(
                    QStringLiteral("line %1 places a cell at a row or column that is not one").arg(line));
            if (type == u"P" && fields.size() > 1 && fields[1].startsWith(u'P'))
                m_pictures.append(fields[1].mid(1));
            if (!m_unclosed.isEmpty())
                return damaged(m_unclosed.arg(line), m_row);
        }
        return damaged(QStringLiteral("it ends before its end record"));
    }

private:
    // A C or F record: the cell it places, and its value or picture.
    bool record(bool cell, const QList<QString> &fields)
    {
        QString value;
        bool hasValue = false;
        int picture = -1, pictureRow = 0, pictureColumn = 0;
        bool sheetDefault = false;
        for (qsizetype i = 1; i < fields.size(); ++i) {
            const QString &f = fields[i];
            if (f.isEmpty())
                continue;
            const QStringView rest = QStringView(f).sliced(1);
            switch (f.front().unicode()) {
            case u'Y':
                if (!(m_row = Position(rest, MaxSylkRows)))
                    return false;
                m_lastRow = std::max(m_lastRow, m_row);
                break;
            case u'X':
                if (!(m_column = Position(rest, MaxSylkColumns)))
                    return false;
                break;
            case u'K':
                value = f.sliced(1);
                hasValue = cell;
                break;
            case u'P':
                picture = cell ? -1 : rest.toInt();
                break;
            case u'R':
                pictureRow = cell ? 0 : Position(rest, MaxSylkRows);
                break;
            case u'C':
                pictureColumn = cell ? 0 : Position(rest, MaxSylkColumns);
                break;
            case u'D':
                sheetDefault = !cell;
                break;
            }
        }
        if (picture >= 0 && !sheetDefault) {
            if (pictureColumn == 1)
                m_columnPicture = picture;
            else if (pictureRow > 0)
                m_rowPictures[pictureRow] = picture;
            else if (!pictureColumn && m_column == 1 && m_row > 0)
                m_cellPictures[m_row] = picture;
        }
        if (!hasValue || m_column != 1)
            return true;
        if (m_row == 0)
            return false;
        if (value.startsWith(u'"')) {
            if (value.size() < 2 || !value.endsWith(u'"'))
                m_unclosed = QStringLiteral("the text at line %1 has no closing quote");
            value = Unescaped(value.mid(1, value.size() - 2));
            m_texts.insert(m_row);
        } else {
            m_texts.erase(m_row);
        }
        m_values[m_row] = value;
        return true;
    }

    // Damage met after the cells read so far: `from` the row after them, or
    // from a row of their own.
    ReadColumn damaged(const QString &why, int from = MaxSylkRows)
    {
        ReadColumn column = finish();
        column.damagedFrom = std::min(m_lastRow + 1, from);
        column.damage = QStringLiteral("is damaged (%1)").arg(why);
        return column;
    }

    // Values in their text form, now that every picture is known.
    ReadColumn finish()
    {
        ReadColumn column;
        for (const auto &[row, value] : m_values) {
            bool number = false;
            const double v = value.toDouble(&number);
            if (m_texts.contains(row) || !number) {
                column.cells[row] = value;
                continue;
            }
            int picture = m_columnPicture;
            if (const auto r = m_rowPictures.find(row); r != m_rowPictures.end())
                picture = r->second;
            if (const auto c = m_cellPictures.find(row); c != m_cellPictures.end())
                picture = c->second;
            const bool date
                = picture >= 0 && picture < m_pictures.size() && IsDateFormat(m_pictures[picture]);
            column.cells[row] = date ? DateText(v, false) : NumberText(v);
        }
        return column;
    }

    int m_row = 0; // where the last C or F record placed its cell
    int m_column = 0;
    int m_lastRow = 0;
    QList<QString> m_pictures;
    int m_columnPicture = -1;
    std::map<int, int> m_rowPictures, m_cellPictures; // row -> picture
    std::map<int, QString> m_values; // column 1, as stored
    std::set<int> m_texts; // rows whose value is quoted text
    QString m_unclosed;
};

} // namespace

OpenedWorkbook OpenSylk(std::unique_ptr<QIODevice> device)
{
    return OpenWholeText(*device, MaxSylkBytes, QStringLiteral("SYLK files"),
        [](const QString &text) { return SylkParser().read(text); });
}

} // namespace plivan
