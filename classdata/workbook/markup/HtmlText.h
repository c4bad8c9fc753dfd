#pragma once

// The text of a web page as LibreOffice's HTML import builds it: white space,
// paragraphs and line breaks, and the value that a cell's text shows.

#include "Internal.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace plivan {

// Rows of column A: a cell's text, or none for an empty cell.
using HtmlRows = std::vector<std::optional<QString>>;

inline bool IsHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// The text of a cell, or of the page outside tables, built as LibreOffice
// builds it: white space collapsed to one space, none at the start of a line;
// a no-break space kept as a space; paragraphs and <br> as line breaks.
class TextBuilder {
public:
    // `paragraphs`: text that came before, each a line of its own.
    explicit TextBuilder(QStringList paragraphs = {})
        : m_done(std::move(paragraphs))
    {
    }

    void text(QStringView text, bool preformatted);
    void lineBreak();

    // The start or end of a paragraph, a heading, a list item.
    void paragraph();

    // A horizontal rule: an empty paragraph that stays.
    void rule();

    // An image: its alternative text is the cell's when the cell has no text.
    void image(const QString &alternative);

    // The paragraphs so far; the empty ones are rules.
    QStringList paragraphs() const;

    bool atLineStart() const { return m_lineStart; }

    // A cell's text: its paragraphs one a line, without line breaks at its
    // start or end.
    QString cellText() const;

    // Outside tables each line is a row and a rule an empty row: the rows of
    // all the text so far, which is then gone.
    HtmlRows takeRows();

private:
    QStringList m_done;
    QString m_current;
    QString m_alternative;
    bool m_lineStart = true;
    bool m_afterCr = false;
};

// A cell's value: LibreOffice's own value attribute when the page has one,
// else its text, as a number when it reads as one and LibreOffice's text
// format does not keep it text. `sdnum` is "<language>;<language>;<format>".
std::optional<QString> HtmlCellValue(const QString &text, const QString &sdval, const QString &sdnum);

} // namespace plivan
