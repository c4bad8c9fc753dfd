#include "markup/HtmlReader.h"

#include "TextDecoding.h"
#include "common/CellValue.h"
#include "markup/HtmlText.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace plivan {

namespace {

using Rows = HtmlRows;

// The parser is given the page a block at a time, and no more blocks than
// the rows asked for need.
constexpr qsizetype BlockBytes = 1024;

bool IsAnyOf(const char *name, std::initializer_list<const char *> names)
{
    return std::any_of(
        names.begin(), names.end(), [name](const char *n) { return std::strcmp(name, n) == 0; });
}

// Elements that LibreOffice makes paragraphs of.
bool IsParagraph(const char *name)
{
    return IsAnyOf(name,
        { "p", "h1", "h2", "h3", "h4", "h5", "h6", "li", "dt", "dd", "blockquote", "address", "pre",
            "listing", "xmp", "plaintext" });
}

bool IsPreformatted(const char *name)
{
    return IsAnyOf(name, { "pre", "listing", "xmp", "plaintext" });
}

// Elements whose text a page does not show; LibreOffice leaves footer rows
// (tfoot) out as well.
bool IsLeftOut(const char *name)
{
    return IsAnyOf(name, { "head", "title", "script", "style", "template", "textarea", "tfoot" });
}

QString Utf8(const xmlChar *text, int length = -1)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(text), length);
}

// The value of attribute `name` in the parser's list of name-value pairs.
QString Attribute(const xmlChar **attributes, const char *name)
{
    for (; attributes && *attributes; attributes += 2) {
        if (std::strcmp(reinterpret_cast<const char *>(*attributes), name) == 0)
            return attributes[1] ? Utf8(attributes[1]) : QString();
    }
    return {};
}

// An entity written without its semicolon ("&nbsp", "&amp"), which the
// parser gives as "&" and the name as they stand: LibreOffice reads the
// longest entity name that `name` starts with.
QString BareEntity(const QString &name)
{
    for (qsizetype length = std::min<qsizetype>(name.size(), 8); length > 1; --length) {
        const QByteArray prefix = name.left(length).toUtf8();
        if (const htmlEntityDesc *entity
            = htmlEntityLookup(reinterpret_cast<const xmlChar *>(prefix.constData())))
            return QChar(char16_t(entity->value)) + name.mid(length);
    }
    return u'&' + name;
}

// The page's bytes as the UTF-8 the parser reads: through a byte order
// mark's or a <meta> element's character set, or UTF-8 until it proves not
// to be (`failed`), with Excel's conditional marks left out.
class PageDecoder {
public:
    explicit PageDecoder(BlockDecoder decoder)
        : m_decoder(std::move(decoder))
    {
    }

    unsigned codePage() const { return m_decoder.codePage(); }
    bool failed() const { return m_decoder.failed(); }

    QByteArray decode(QByteArrayView bytes, bool last)
    {
        QString text = m_decoder.decode(bytes, last);
        return dropConditionalMarks(text.replace(QChar(0), QChar(0xFFFD)), last).toUtf8();
    }

private:
    // Excel's pages hold conditional marks, <![if supportMisc]> and
    // <![endif]>, that browsers and spreadsheet programs pass over and the
    // parser would take for text. A mark cut at the end of a block waits for
    // the next.
    QString dropConditionalMarks(const QString &block, bool last)
    {
        const QString text = std::exchange(m_markStart, QString()) + block;
        QString kept;
        qsizetype from = 0;
        for (qsizetype at; (at = text.indexOf(u'<', from)) >= 0; from = at + 1) {
            kept += QStringView(text).sliced(from, at - from);
            const QStringView rest = QStringView(text).sliced(at);
            const bool mark = IsConditionalMark(rest);
            const qsizetype end = mark ? rest.indexOf(u'>') : -1;
            if (end > 0 && rest[end - 1] == u']') {
                at += end;
                continue;
            }
            if (!last && end < 0 && rest.size() < 256 && (mark || IsConditionalMark(rest, true))) {
                m_markStart = rest.toString();
                return kept;
            }
            kept += u'<';
        }
        kept += QStringView(text).sliced(from);
        return kept;
    }

    // `text` starts with a conditional mark, or (`cut`) with a start of one.
    static bool IsConditionalMark(QStringView text, bool cut = false)
    {
        for (const QStringView mark : { u"<![if", u"<![endif" }) {
            if (text.startsWith(mark, Qt::CaseInsensitive)
                || (cut && mark.startsWith(text, Qt::CaseInsensitive)))
                return true;
        }
        return false;
    }

    BlockDecoder m_decoder;
    QString m_markStart;
};

// The parser's events made into column A of the sheet LibreOffice makes of
// the page. Elements are counted by their depth in the parser's tree; a
// table, row or cell ends with the element that began it, or where
// LibreOffice ends it: a cell at the next cell or row of its table, a row at
// the next row, a table at a table that starts outside its cells.
class HtmlWorkbook final : public Workbook {
public:
    explicit HtmlWorkbook(std::unique_ptr<QIODevice> device)
        : m_device(std::move(device))
    {
    }

    ~HtmlWorkbook() override
    {
        if (m_parser)
            htmlFreeParserCtxt(m_parser);
    }

    // Reads as far as the first row.
    QString open()
    {
        restart(0, false);
        readRows(1);
        return m_error;
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1)
            return std::nullopt;
        readRows(std::size_t(row));
        return m_error.isEmpty() && std::size_t(row) <= m_rows.size() ? m_rows[std::size_t(row) - 1]
                                                                      : std::nullopt;
    }

    QString error() const override { return m_error; }

private:
    struct Cell {
        int depth;
        TextBuilder text;
        Rows rows; // of the tables inside it
        QString sdval, sdnum;
        int rowspan;
    };

    struct Table {
        int depth = 0;
        TextBuilder stray; // inside the table, outside its cells
        int covered = 0; // rows still covered by a cell of column A above
        int rowDepth = -1; // -1: no row open; a row without <tr> ends with the table
        Rows columnA;
        std::size_t height = 1; // rows the open row fills
        bool first = true; // no cell yet in the open row
        bool columnACovered = false;
        std::optional<Cell> cell;
    };

    // A row is settled once the parse has gone past it.
    void readRows(std::size_t rows)
    {
        while (m_rows.size() < rows && m_parser && m_error.isEmpty())
            readBlock();
    }

    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

    // Starts from the top of the page, in the character set `codePage` (0:
    // as a byte order mark says, else UTF-8) and, when `fixed`, in no other.
    void restart(unsigned codePage, bool fixed)
    {
        if (m_parser)
            htmlFreeParserCtxt(m_parser);
        m_device->seek(0);
        std::optional<BlockDecoder> marked
            = codePage ? std::nullopt : BlockDecoder::ByOrderMark(m_device->peek(3));
        m_charsetFixed = fixed || marked.has_value();
        m_decoder.emplace(marked ? std::move(*marked) : BlockDecoder(codePage ? codePage : 65001));
        m_newCharset = 0;
        m_read = 0;
        m_rows.clear();
        m_tables.clear();
        m_flow = TextBuilder();
        m_pending.clear();
        m_depth = m_hiddenDepth = m_preDepth = 0;
        m_bareEntity = m_entityName = false;

        htmlSAXHandler sax {};
        sax.startElement = [](void *self, const xmlChar *name, const xmlChar **attributes) {
            static_cast<HtmlWorkbook *>(self)->startElement(reinterpret_cast<const char *>(name), attributes);
        };
        sax.endElement = [](void *self, const xmlChar *name) {
            static_cast<HtmlWorkbook *>(self)->endElement(reinterpret_cast<const char *>(name));
        };
        sax.characters = [](void *self, const xmlChar *text, int length) {
            static_cast<HtmlWorkbook *>(self)->characters(Utf8(text, length));
        };
        sax.ignorableWhitespace = sax.characters;
        sax.initialized = XML_SAX2_MAGIC; // for serror
        sax.serror = [](void *self, auto error) {
            static_cast<HtmlWorkbook *>(self)->parseError(error->code, error->str1);
        };
        // The text is UTF-8 already: the page's own <meta> is not to change that.
        m_parser = htmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
        if (!m_parser)
            return fail(QStringLiteral("could not be read (out of memory)"));
        htmlCtxtUseOptions(
            m_parser, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC);
    }

    // Parses the next block of the page, or its end.
    void readBlock()
    {
        if (!m_error.isEmpty())
            return;
        if (m_read >= MaxHtmlParseBytes) {
            return fail(QStringLiteral("is a web page too large to read (Plivan reads its first %1 MB)")
                            .arg(MaxHtmlParseBytes / (1024 * 1024)));
        }
        const QByteArray block = m_device->read(BlockBytes);
        if (block.isEmpty() && !m_device->atEnd())
            return fail(QStringLiteral("could not be read (%1)").arg(m_device->errorString()));
        const bool last = m_device->atEnd();
        const QByteArray text = m_decoder->decode(block, last);
        if (!m_charsetFixed && m_decoder->failed()) { // not UTF-8 after all
            restart(1252, false);
            return readBlock();
        }
        m_read += text.size();
        htmlParseChunk(m_parser, text.constData(), int(text.size()), last);
        if (m_newCharset && m_error.isEmpty()) {
            restart(m_newCharset, true);
            return readBlock();
        }
        if (!m_error.isEmpty())
            return;
        if (last) {
            while (!m_tables.empty())
                closeTable();
            flushFlow();
            htmlFreeParserCtxt(m_parser);
            m_parser = nullptr;
        }
    }

    // Where text goes: the open cell, the innermost table outside its cells,
    // or the page outside tables.
    TextBuilder &target()
    {
        if (m_tables.empty())
            return m_flow;
        Table &table = m_tables.back();
        return table.cell ? table.cell->text : table.stray;
    }

    // Nothing more counts once the page is damaged or to be read again.
    bool halted() const { return !m_error.isEmpty() || m_newCharset; }

    void startElement(const char *name, const xmlChar **attributes)
    {
        if (m_entityName)
            characters({}); // the "&" held back stands before the element
        if (++m_depth > MaxHtmlNesting)
            fail(QStringLiteral("is damaged (its markup is nested too deeply)"));
        if (halted())
            return;
        if (std::strcmp(name, "meta") == 0)
            return charset(attributes);
        if (m_hiddenDepth > 0)
            return;
        if (IsLeftOut(name)) {
            if (!m_tables.empty() || std::strcmp(name, "tfoot") != 0)
                m_hiddenDepth = m_depth;
            return;
        }
        TextBuilder &text = target();
        if (std::strcmp(name, "table") == 0) {
            startTable();
        } else if (std::strcmp(name, "tr") == 0 && !m_tables.empty()) {
            startRow(m_depth);
        } else if ((std::strcmp(name, "td") == 0 || std::strcmp(name, "th") == 0) && !m_tables.empty()) {
            startCell(attributes);
        } else if (std::strcmp(name, "br") == 0) {
            text.lineBreak();
        } else if (std::strcmp(name, "hr") == 0) {
            text.rule();
        } else if (std::strcmp(name, "img") == 0) {
            text.image(Attribute(attributes, "alt"));
        } else if (IsParagraph(name) || IsAnyOf(name, { "tr", "td", "th" })) {
            // A row or cell left outside any table (after a stray </table>)
            // still stands apart from the text before it.
            text.paragraph();
            if (IsPreformatted(name) && m_preDepth == 0)
                m_preDepth = m_depth;
        }
        flushFlow(false);
    }

    void endElement(const char *name)
    {
        if (m_entityName)
            characters({});
        const int depth = m_depth--;
        if (halted())
            return;
        if (m_hiddenDepth > 0) {
            if (m_hiddenDepth >= depth)
                m_hiddenDepth = 0;
            return;
        }
        if (m_preDepth >= depth)
            m_preDepth = 0;
        if (IsParagraph(name))
            target().paragraph();
        // The tables, rows and cells that the element held end with it.
        while (!m_tables.empty()) {
            const Table &table = m_tables.back();
            if (table.cell && table.cell->depth >= depth)
                closeCell();
            else if (table.rowDepth >= depth)
                closeRow();
            else if (table.depth >= depth)
                closeTable();
            else
                break;
        }
        flushFlow(false);
    }

    void characters(QString text)
    {
        if (std::exchange(m_bareEntity, false) && text == u"&") {
            m_entityName = true; // the name follows
            return;
        }
        if (halted() || m_hiddenDepth > 0) {
            m_entityName = false;
            return;
        }
        if (std::exchange(m_entityName, false))
            text = BareEntity(text);
        // Characters 128 to 159, written as numbers (&#146;), are Windows-1252's.
        for (QChar &c : text) {
            if (c.unicode() >= 0x80 && c.unicode() < 0xA0) {
                const char byte = char(c.unicode());
                c = FromWindows1252(QByteArrayView(&byte, 1)).front();
            }
        }
        target().text(text, m_preDepth > 0);
    }

    // An entity without its semicolon, and an end tag that closes nothing:
    // </p> still ends a paragraph and </br> still breaks the line.
    void parseError(int code, const char *name)
    {
        if (code == XML_ERR_ENTITYREF_SEMICOL_MISSING)
            m_bareEntity = true;
        if (code != XML_ERR_TAG_NAME_MISMATCH || !name || halted() || m_hiddenDepth > 0)
            return;
        if (std::strcmp(name, "p") == 0)
            target().paragraph();
        else if (std::strcmp(name, "br") == 0)
            target().lineBreak();
        flushFlow(false);
    }

    // A <meta> that names the character set: the page is read again in it,
    // once, unless it is the one read already.
    void charset(const xmlChar **attributes)
    {
        if (m_charsetFixed)
            return;
        QString name = Attribute(attributes, "charset");
        if (name.isEmpty()
            && Attribute(attributes, "http-equiv").compare(u"content-type", Qt::CaseInsensitive) == 0) {
            const QString content = Attribute(attributes, "content");
            const qsizetype at = content.indexOf(u"charset=", 0, Qt::CaseInsensitive);
            if (at >= 0)
                name = content.mid(at + 8).section(u';', 0, 0);
        }
        const unsigned codePage = CodePageOfCharset(name.remove(u'"').remove(u'\'').toLatin1());
        if (codePage == 0)
            return;
        m_charsetFixed = true;
        if (codePage != m_decoder->codePage())
            m_newCharset = codePage;
    }

    // The text outside tables becomes rows once a line of it ends (or all of
    // it, when `all`).
    void flushFlow(bool all = true)
    {
        if (!all && (!m_tables.empty() || !m_flow.atLineStart()))
            return;
        for (std::optional<QString> &row : m_flow.takeRows()) {
            if (row && row->size() > MaxCellChars)
                return fail(CellTooLongReason);
            m_rows.push_back(row ? HtmlCellValue(*row, {}, {}) : std::nullopt);
        }
    }

    // A table outside the cells of the open table ends that one first; a
    // table inside a cell takes the text before it for its first cell.
    void startTable()
    {
        while (!m_tables.empty() && !m_tables.back().cell)
            closeTable();
        if (m_tables.empty()) {
            flushFlow();
        } else {
            Cell &cell = *m_tables.back().cell;
            m_pending += cell.text.paragraphs();
            cell.text = TextBuilder();
        }
        m_tables.emplace_back().depth = m_depth;
    }

    // Column A of a row is covered while a cell above spans it.
    void startRow(int depth)
    {
        closeRow();
        Table &table = m_tables.back();
        table.rowDepth = depth;
        table.columnACovered = table.covered > 0;
        table.covered -= table.columnACovered;
    }

    // Text that waits for a cell (the table's stray text, and what stood
    // around a table inside a cell before) begins the cell.
    void startCell(const xmlChar **attributes)
    {
        closeCell();
        Table &table = m_tables.back();
        if (table.rowDepth < 0)
            startRow(table.depth);
        bool ok = false;
        const int rowspan = Attribute(attributes, "rowspan").trimmed().toInt(&ok);
        m_pending += table.stray.paragraphs();
        table.stray = TextBuilder();
        table.cell = Cell { m_depth, TextBuilder(std::exchange(m_pending, {})), {},
            Attribute(attributes, "sdval"), Attribute(attributes, "sdnum"), ok ? rowspan : 1 };
    }

    // A cell fills one row, or the rows of the tables inside it; the first
    // one of a row not covered from above is column A.
    void closeCell()
    {
        Table &table = m_tables.back();
        if (!table.cell)
            return;
        Cell cell = std::move(*table.cell);
        table.cell.reset();
        Rows rows;
        if (cell.rows.empty()) {
            const QString text = cell.text.cellText();
            if (text.size() > MaxCellChars)
                return fail(CellTooLongReason);
            rows.push_back(HtmlCellValue(text, cell.sdval, cell.sdnum));
        } else {
            rows = std::move(cell.rows);
            m_pending += cell.text.paragraphs(); // the text after the inner table waits for the next cell
        }
        table.height = std::max(table.height, rows.size());
        if (table.first && !table.columnACovered) {
            table.columnA = std::move(rows);
            table.covered = cell.rowspan > 1 ? std::min(cell.rowspan, 65534) - 1 : 0;
        }
        table.first = false;
    }

    void closeRow()
    {
        closeCell();
        Table &table = m_tables.back();
        if (table.rowDepth < 0)
            return;
        // An inner table's rows go to the cell it stands in.
        const std::size_t n = m_tables.size();
        Rows &out = n > 1 && m_tables[n - 2].cell ? m_tables[n - 2].cell->rows : m_rows;
        table.columnA.resize(std::max(table.height, table.columnA.size()));
        for (std::optional<QString> &text : table.columnA)
            out.push_back(std::move(text));
        table.columnA.clear();
        table.height = 1;
        table.first = true;
        table.rowDepth = -1;
    }

    // Text left in the table outside its cells stands after the table.
    void closeTable()
    {
        closeRow();
        const QStringList stray = m_tables.back().stray.paragraphs();
        m_tables.pop_back();
        if (!stray.isEmpty())
            target() = TextBuilder(stray);
        flushFlow(false);
    }

    std::unique_ptr<QIODevice> m_device;
    htmlParserCtxtPtr m_parser = nullptr; // null once the whole page is parsed
    std::optional<PageDecoder> m_decoder;
    bool m_charsetFixed = false; // by a byte order mark or a <meta>
    unsigned m_newCharset = 0; // the code page a <meta> asks to read the page again in
    qsizetype m_read = 0; // bytes of UTF-8 parsed
    int m_depth = 0; // of the element the parser is in
    int m_hiddenDepth = 0; // of the element whose text is left out, 0 for none
    int m_preDepth = 0; // of the preformatted element, 0 for none
    bool m_bareEntity = false; // the parser met an entity without its semicolon
    bool m_entityName = false; // its name comes next
    Rows m_rows; // the rows settled so far
    std::vector<Table> m_tables; // the open tables, outermost first
    TextBuilder m_flow; // outside tables
    QStringList m_pending; // for the next cell
    QString m_error;
};

} // namespace

OpenedWorkbook OpenHtml(std::unique_ptr<QIODevice> device)
{
    return OpenBook<HtmlWorkbook>(std::move(device));
}

} // namespace plivan
