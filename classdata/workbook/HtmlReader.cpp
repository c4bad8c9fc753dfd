#include "HtmlReader.h"

#include "CellValue.h"
#include "HtmlNesting.h"
#include "TextDecoding.h"
#include "fuzzing/WorkbookData.h"

#include <gumbo.h>

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <vector>

namespace plivan {

namespace {

using Rows = std::vector<std::optional<QString>>;

// The first parse takes about as much as the whole page of a short roster;
// each further one twice as much as the last.
constexpr qsizetype FirstParseBytes = 3 * 1024;
// Tables inside tables deeper than this are left out (the nesting estimate
// keeps real pages far below it).
constexpr int MaxWalkDepth = 2 * MaxHtmlNesting;

bool IsHtmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

QString Utf8(const char *text)
{
    return QString::fromUtf8(text);
}

QString AttributeValue(const GumboNode *node, const char *name)
{
    const GumboAttribute *attribute = gumbo_get_attribute(&node->v.element.attributes, name);
    return attribute ? Utf8(attribute->value) : QString();
}

bool IsElement(const GumboNode *node, GumboTag tag)
{
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag;
}

unsigned Offset(const GumboNode *node)
{
    return node->type == GUMBO_NODE_ELEMENT ? node->v.element.start_pos.offset
                                            : node->v.text.start_pos.offset;
}

// For each child, where the next table among the children after it starts
// (UINT_MAX for none). A child that the page has after that point was
// written inside the table: the parser moves what stands in a table outside
// its cells to just before the table.
std::vector<unsigned> NextTableOffsets(const GumboVector &children)
{
    std::vector<unsigned> offsets(children.length, UINT_MAX);
    unsigned next = UINT_MAX;
    for (unsigned i = children.length; i-- > 0;) {
        offsets[i] = next;
        const auto *node = static_cast<const GumboNode *>(children.data[i]);
        if (IsElement(node, GUMBO_TAG_TABLE))
            next = Offset(node);
    }
    return offsets;
}

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

// The text of a cell, or of the page outside tables, built as LibreOffice
// builds it: white space collapsed to one space, none at the start of a line;
// a no-break space kept as a space; paragraphs and <br> as line breaks.
class TextBuilder {
public:
    void text(QStringView text, bool preformatted)
    {
        for (const QChar c : text) {
            if (preformatted) {
                m_current.append(c);
                m_lineStart = c == u'\n';
            } else if (IsHtmlSpace(c)) {
                if (!m_lineStart && !m_current.endsWith(u' '))
                    m_current.append(u' ');
            } else {
                m_current.append(c == QChar(0xA0) ? QChar(u' ') : c);
                m_lineStart = false;
            }
        }
    }

    void lineBreak()
    {
        m_current.append(u'\n');
        m_lineStart = true;
    }

    // The start or end of a paragraph, a heading, a list item.
    void paragraph()
    {
        m_done.append({ m_current, false });
        m_current.clear();
        m_lineStart = true;
    }

    // A horizontal rule: an empty paragraph that stays.
    void rule()
    {
        paragraph();
        m_done.append({ QString(), true });
    }

    // An image: its alternative text is the cell's when the cell has no text.
    void image(const QString &alternative)
    {
        if (m_alternative.isEmpty())
            m_alternative = alternative;
    }

    void prepend(const QStringList &paragraphs)
    {
        for (qsizetype i = paragraphs.size(); i-- > 0;)
            m_done.prepend({ paragraphs.at(i), false });
    }

    // The paragraphs so far, none empty but those of rules.
    QStringList paragraphs() const
    {
        QStringList list;
        for (const Paragraph &p : all()) {
            if (!p.text.isEmpty() || p.kept)
                list.append(p.text);
        }
        return list;
    }

    bool isEmpty() const { return paragraphs().isEmpty(); }

    void clear()
    {
        m_done.clear();
        m_current.clear();
        m_alternative.clear();
        m_lineStart = true;
    }

    // A cell's text: its paragraphs one a line, without line breaks at its
    // start or end.
    QString cellText() const
    {
        QString text = paragraphs().join(u'\n');
        qsizetype from = 0, to = text.size();
        while (from < to && text.at(from) == u'\n')
            ++from;
        while (to > from && text.at(to - 1) == u'\n')
            --to;
        return from < to ? text.mid(from, to - from) : m_alternative;
    }

    // Outside tables, each line is a row; a rule is an empty row.
    Rows rows() const
    {
        Rows rows;
        for (const Paragraph &p : all()) {
            if (p.kept) {
                rows.emplace_back();
                continue;
            }
            for (const QString &line : p.text.split(u'\n', Qt::SkipEmptyParts))
                rows.emplace_back(line);
        }
        return rows;
    }

private:
    struct Paragraph {
        QString text;
        bool kept;
    };

    QList<Paragraph> all() const
    {
        QList<Paragraph> list = m_done;
        list.append({ m_current, false });
        return list;
    }

    QList<Paragraph> m_done;
    QString m_current;
    QString m_alternative;
    bool m_lineStart = true;
};

// A cell's value: LibreOffice's own value attribute when the page has one,
// else its text, as a number when it reads as one and LibreOffice's text
// format does not keep it text.
std::optional<QString> CellValue(const QString &text, const GumboNode *cell)
{
    // sdnum: "<language>;<language>;<format code>".
    const QString format = cell ? AttributeValue(cell, "sdnum").section(u';', 2) : QString();
    if (cell) {
        bool ok = false;
        const double value = AttributeValue(cell, "sdval").trimmed().toDouble(&ok);
        if (ok && std::isfinite(value)) {
            if (format == u"BOOLEAN")
                return BooleanText(value != 0);
            return IsDateFormat(format) ? DateText(value, false) : NumberText(value);
        }
    }
    if (text.isEmpty())
        return std::nullopt;
    if (format != u"@") {
        if (const std::optional<double> number = EnglishNumber(text))
            return NumberText(*number);
    }
    return text;
}

bool IsAnyOf(GumboTag tag, std::initializer_list<GumboTag> tags)
{
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

// Elements that LibreOffice makes paragraphs of.
bool IsParagraph(GumboTag tag)
{
    return IsAnyOf(tag,
        { GUMBO_TAG_P, GUMBO_TAG_H1, GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4, GUMBO_TAG_H5, GUMBO_TAG_H6,
            GUMBO_TAG_LI, GUMBO_TAG_DT, GUMBO_TAG_DD, GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_ADDRESS, GUMBO_TAG_PRE,
            GUMBO_TAG_LISTING, GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT });
}

bool IsPreformatted(GumboTag tag)
{
    return IsAnyOf(tag, { GUMBO_TAG_PRE, GUMBO_TAG_LISTING, GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT });
}

// Elements whose text a page does not show.
bool IsLeftOut(GumboTag tag)
{
    return IsAnyOf(tag,
        { GUMBO_TAG_HEAD, GUMBO_TAG_TITLE, GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TEMPLATE,
            GUMBO_TAG_TEXTAREA });
}

// Column A of the sheet LibreOffice makes of a parsed page.
class SheetBuilder {
public:
    Rows build(const GumboNode *document)
    {
        content(document, m_flow, nullptr, false, 0);
        flushFlow();
        return std::move(m_rows);
    }

private:
    // Text inside a table but outside its cells waits for the next cell.
    // Text that the parser moved out of a table (foster parenting) goes to
    // the first cell that follows it in the page.
    struct Pending {
        unsigned offset; // 0: the next cell, whatever its place
        QStringList paragraphs;
    };

    void flushFlow()
    {
        for (std::optional<QString> &row : m_flow.rows())
            m_rows.push_back(row ? CellValue(*row, nullptr) : std::nullopt);
        m_flow.clear();
    }

    // Walks the children of `node` into `text`. Tables go to the sheet's
    // rows, or, inside a cell (`cellRows` set), take the cell's place.
    void content(const GumboNode *node, TextBuilder &text, Rows *cellRows, bool preformatted, int depth)
    {
        if (depth > MaxWalkDepth)
            return;
        const GumboVector &children
            = node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
        const std::vector<unsigned> nextTable = NextTableOffsets(children);
        for (unsigned i = 0; i < children.length; ++i) {
            const auto *child = static_cast<const GumboNode *>(children.data[i]);
            const bool textOrElement = child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_ELEMENT;
            if ((child->parse_flags & GUMBO_INSERTION_FOSTER_PARENTED)
                || (textOrElement && nextTable[i] != UINT_MAX && Offset(child) > nextTable[i])) {
                TextBuilder stray;
                if (child->type == GUMBO_NODE_ELEMENT)
                    content(child, stray, nullptr, false, depth + 1);
                else
                    stray.text(Utf8(child->v.text.text), false);
                if (!stray.isEmpty())
                    m_pending.push_back({ Offset(child), stray.paragraphs() });
                continue;
            }
            switch (child->type) {
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
            case GUMBO_NODE_CDATA:
                text.text(Utf8(child->v.text.text), preformatted);
                break;
            case GUMBO_NODE_ELEMENT:
                element(child, text, cellRows, preformatted, depth + 1);
                break;
            default:
                break;
            }
        }
    }

    void element(const GumboNode *node, TextBuilder &text, Rows *cellRows, bool preformatted, int depth)
    {
        const GumboTag tag = node->v.element.tag;
        if (IsLeftOut(tag))
            return;
        switch (tag) {
        case GUMBO_TAG_TABLE:
            if (cellRows) {
                // A table inside a cell: the text before it joins its first cell.
                if (!text.isEmpty())
                    m_pending.push_back({ 0, text.paragraphs() });
                text.clear();
                table(node, *cellRows, depth);
            } else {
                flushFlow();
                table(node, m_rows, depth);
            }
            return;
        case GUMBO_TAG_BR:
            text.lineBreak();
            return;
        case GUMBO_TAG_HR:
            text.rule();
            return;
        case GUMBO_TAG_IMG:
            text.image(AttributeValue(node, "alt"));
            return;
        default:
            break;
        }
        if (IsParagraph(tag)) {
            text.paragraph();
            content(node, text, cellRows, preformatted || IsPreformatted(tag), depth);
            text.paragraph();
            return;
        }
        content(node, text, cellRows, preformatted, depth);
    }

    // Text in the table outside its cells (its caption, and the white space
    // after it) goes to the table's next cell.
    void table(const GumboNode *node, Rows &out, int depth)
    {
        int covered = 0; // rows still covered by a cell of column A above
        TextBuilder stray;
        const GumboVector &children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i) {
            const auto *child = static_cast<const GumboNode *>(children.data[i]);
            if (child->type == GUMBO_NODE_WHITESPACE) {
                stray.text(Utf8(child->v.text.text), false);
                continue;
            }
            if (child->type != GUMBO_NODE_ELEMENT)
                continue;
            switch (child->v.element.tag) {
            case GUMBO_TAG_CAPTION: {
                Rows ignored;
                content(child, stray, &ignored, false, depth + 1);
                break;
            }
            case GUMBO_TAG_THEAD:
            case GUMBO_TAG_TBODY: {
                const GumboVector &rows = child->v.element.children;
                for (unsigned r = 0; r < rows.length; ++r) {
                    const auto *tr = static_cast<const GumboNode *>(rows.data[r]);
                    if (tr->type == GUMBO_NODE_WHITESPACE)
                        stray.text(Utf8(tr->v.text.text), false);
                    else if (IsElement(tr, GUMBO_TAG_TR))
                        row(tr, out, covered, stray, depth + 2);
                }
                break;
            }
            case GUMBO_TAG_TR:
                row(child, out, covered, stray, depth + 1);
                break;
            default: // LibreOffice leaves footer rows (tfoot) out
                break;
            }
        }
    }

    void row(const GumboNode *tr, Rows &out, int &covered, TextBuilder &stray, int depth)
    {
        const bool columnACovered = covered > 0;
        if (columnACovered)
            --covered;
        Rows columnA;
        std::size_t height = 1;
        bool first = true;
        const GumboVector &cells = tr->v.element.children;
        for (unsigned i = 0; i < cells.length; ++i) {
            const auto *node = static_cast<const GumboNode *>(cells.data[i]);
            if (node->type == GUMBO_NODE_WHITESPACE)
                stray.text(Utf8(node->v.text.text), false);
            if (!IsElement(node, GUMBO_TAG_TD) && !IsElement(node, GUMBO_TAG_TH))
                continue;
            if (!stray.isEmpty())
                m_pending.push_back({ 0, stray.paragraphs() });
            stray.clear();
            Rows rows = cell(node, depth + 1);
            height = std::max(height, rows.size());
            if (first && !columnACovered) {
                columnA = std::move(rows);
                bool ok = false;
                const int span = AttributeValue(node, "rowspan").trimmed().toInt(&ok);
                covered = ok && span > 1 ? std::min(span, 65534) - 1 : 0;
            }
            first = false;
        }
        columnA.resize(std::max(height, columnA.size()));
        for (std::optional<QString> &text : columnA)
            out.push_back(std::move(text));
    }

    // The rows a cell fills: one, or a table's rows when it holds a table.
    Rows cell(const GumboNode *node, int depth)
    {
        TextBuilder text;
        const unsigned offset = node->v.element.start_pos.offset;
        QStringList prefix;
        for (auto it = m_pending.begin(); it != m_pending.end();) {
            if (it->offset < offset) {
                prefix += it->paragraphs;
                it = m_pending.erase(it);
            } else {
                ++it;
            }
        }
        text.prepend(prefix);
        Rows rows;
        content(node, text, &rows, false, depth);
        if (rows.empty())
            return { CellValue(text.cellText(), node) };
        // The text after the inner table waits for the next cell.
        if (!text.isEmpty())
            m_pending.push_back({ 0, text.paragraphs() });
        return rows;
    }

    Rows m_rows;
    TextBuilder m_flow;
    std::vector<Pending> m_pending;
};

// The character set a <meta> element of the page's head names, empty when none.
QByteArray MetaCharset(const GumboNode *document)
{
    const GumboVector &top = document->v.document.children;
    for (unsigned i = 0; i < top.length; ++i) {
        const auto *html = static_cast<const GumboNode *>(top.data[i]);
        if (!IsElement(html, GUMBO_TAG_HTML))
            continue;
        for (unsigned j = 0; j < html->v.element.children.length; ++j) {
            const auto *head = static_cast<const GumboNode *>(html->v.element.children.data[j]);
            if (!IsElement(head, GUMBO_TAG_HEAD))
                continue;
            for (unsigned k = 0; k < head->v.element.children.length; ++k) {
                const auto *meta = static_cast<const GumboNode *>(head->v.element.children.data[k]);
                if (!IsElement(meta, GUMBO_TAG_META))
                    continue;
                QString charset = AttributeValue(meta, "charset");
                if (charset.isEmpty()
                    && AttributeValue(meta, "http-equiv").compare(u"content-type", Qt::CaseInsensitive)
                        == 0) {
                    const QString content = AttributeValue(meta, "content");
                    const qsizetype at = content.indexOf(u"charset=", 0, Qt::CaseInsensitive);
                    if (at >= 0)
                        charset = content.mid(at + 8).section(u';', 0, 0);
                }
                charset = charset.trimmed().remove(u'"').remove(u'\'');
                if (!charset.isEmpty())
                    return charset.toLatin1().toLower();
            }
        }
    }
    return {};
}

class HtmlWorkbook final : public Workbook {
public:
    explicit HtmlWorkbook(std::unique_ptr<QIODevice> device)
        : m_device(std::move(device))
    {
    }

    QString open()
    {
        restart();
        parseMore();
        return m_error;
    }

    std::optional<QString> cellText(int row) override
    {
        if (row < 1 || !m_error.isEmpty())
            return std::nullopt;
        // A row is settled once the parse reaches a row after it, or the end.
        while (!m_whole && m_rows.size() <= std::size_t(row)) {
            if (!parseMore())
                return std::nullopt;
        }
        return std::size_t(row) <= m_rows.size() ? m_rows[std::size_t(row) - 1] : std::nullopt;
    }

    QString error() const override { return m_error; }

private:
    enum class Encoding { Utf8, Windows1252, Decoder };

    void fail(const QString &error)
    {
        if (m_error.isEmpty())
            m_error = error;
    }

    void restart()
    {
        m_device->seek(0);
        if (m_decoder)
            m_decoder->resetState();
        m_page.clear();
        m_read = 0;
        m_atEnd = false;
        m_parsed = 0;
        m_whole = false;
        m_rows.clear();
    }

    // Reads on until the page holds `bytes` bytes of UTF-8, or to the end.
    bool readUpTo(qsizetype bytes)
    {
        while (!m_atEnd && m_page.size() < bytes) {
            const QByteArray block = m_device->read(std::max<qint64>(bytes - m_page.size(), FirstParseBytes));
            if (block.isEmpty()) {
                if (!m_device->atEnd()) {
                    fail(QStringLiteral("could not be read (%1)").arg(m_device->errorString()));
                    return false;
                }
                m_atEnd = true;
                break;
            }
            QByteArrayView bytesRead = block;
            if (m_read == 0 && !m_fixed) {
                // A byte order mark settles the encoding.
                if (block.startsWith("\xEF\xBB\xBF")) {
                    bytesRead = bytesRead.sliced(3);
                    m_fixed = true;
                } else if (block.startsWith("\xFF\xFE") || block.startsWith("\xFE\xFF")) {
                    m_encoding = Encoding::Decoder;
                    m_decoder.emplace(
                        block.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
                    m_fixed = true;
                }
            } else if (m_read == 0 && m_encoding == Encoding::Utf8 && block.startsWith("\xEF\xBB\xBF")) {
                bytesRead = bytesRead.sliced(3);
            }
            m_read += block.size();
            const qsizetype old = m_page.size();
            switch (m_encoding) {
            case Encoding::Utf8:
                m_page += bytesRead;
                break;
            case Encoding::Windows1252:
                m_page += FromWindows1252(bytesRead).toUtf8();
                break;
            case Encoding::Decoder:
                m_page += QString((*m_decoder)(bytesRead)).toUtf8();
                break;
            }
            if (m_encoding == Encoding::Utf8 && !m_fixed) {
                // Check from the start of the last character before this block.
                qsizetype from = old;
                for (int k = 0;
                     k < 3 && from > 0 && (static_cast<unsigned char>(m_page[from]) & 0xC0) == 0x80; ++k)
                    --from;
                if (!IsUtf8(QByteArrayView(m_page).sliced(from), m_device->atEnd())) {
                    m_encoding = Encoding::Windows1252;
                    restart();
                }
            }
        }
        return true;
    }

    // Parses a longer start of the page. False when there is no more to parse.
    bool parseMore()
    {
        for (;;) {
            if (m_whole || !m_error.isEmpty())
                return false;
            if (m_parsed >= MaxHtmlParseBytes) {
                fail(QStringLiteral("is a web page too large to read (Plivan reads its first %1 MB)")
                         .arg(MaxHtmlParseBytes / (1024 * 1024)));
                return false;
            }
            const qsizetype want = std::min(m_parsed == 0 ? FirstParseBytes : 2 * m_want, MaxHtmlParseBytes);
            m_want = want;
            if (!readUpTo(want + 1))
                return false;
            // Cut just before a tag, so that no text or tag is cut in two.
            qsizetype cut = m_page.size();
            if (!m_atEnd || cut > want) {
                cut = m_page.lastIndexOf('<', want - 1);
                if (cut <= 0)
                    cut = want;
                while (cut > 0 && (static_cast<unsigned char>(m_page[cut]) & 0xC0) == 0x80)
                    --cut;
            }
            if (cut <= m_parsed && !(m_atEnd && cut == m_page.size())) {
                m_parsed = std::max(m_parsed, want); // the next tag is further on
                continue;
            }
            parse(cut);
            return m_error.isEmpty();
        }
    }

    void parse(qsizetype cut)
    {
        const QByteArrayView page = QByteArrayView(m_page).first(cut);
        if (!HtmlNestingWithin(page, MaxHtmlNesting)) {
            fail(QStringLiteral("is damaged (its markup is nested too deeply)"));
            return;
        }
        GumboOptions options = kGumboDefaultOptions;
        options.max_errors = 0;
        GumboOutput *output = gumbo_parse_with_options(&options, page.data(), std::size_t(page.size()));
        const QByteArray charset = m_fixed ? QByteArray() : MetaCharset(output->document);
        m_rows = SheetBuilder().build(output->document);
        gumbo_destroy_output(&options, output);
        m_parsed = cut;
        m_whole = m_atEnd && cut == m_page.size();
        if (!charset.isEmpty())
            useCharset(charset);
    }

    // The page names its character set: read it again in that one, once.
    void useCharset(const QByteArray &charset)
    {
        m_fixed = true;
        Encoding encoding = Encoding::Decoder;
        std::optional<QStringDecoder> decoder;
        if (charset == "utf-8" || charset == "utf8") {
            encoding = Encoding::Utf8;
        } else if (charset == "iso-8859-1" || charset == "latin1" || charset == "us-ascii"
            || charset == "ascii" || charset == "windows-1252" || charset == "cp1252") {
            encoding = Encoding::Windows1252; // as browsers read them
        } else {
            decoder.emplace(charset.constData());
            if (!decoder->isValid())
                return;
        }
        if (encoding == m_encoding && encoding != Encoding::Decoder)
            return;
        m_encoding = encoding;
        m_decoder = std::move(decoder);
        restart();
        parseMore();
    }

    std::unique_ptr<QIODevice> m_device;
    Encoding m_encoding = Encoding::Utf8;
    std::optional<QStringDecoder> m_decoder;
    bool m_fixed = false; // the encoding comes from a byte order mark or the page
    QByteArray m_page; // the page read so far, in UTF-8
    qint64 m_read = 0; // bytes read from the file
    bool m_atEnd = false;
    qsizetype m_want = 0; // the length the last parse asked for
    qsizetype m_parsed = 0; // the length of the part parsed last
    bool m_whole = false; // the whole page is parsed
    Rows m_rows;
    QString m_error;
};

OpenedWorkbook Open(std::unique_ptr<QIODevice> device)
{
    auto workbook = std::make_unique<HtmlWorkbook>(std::move(device));
    const QString error = workbook->open();
    if (!error.isEmpty())
        return { nullptr, error };
    return { std::move(workbook), {} };
}

} // namespace

bool LooksLikeHtml(QByteArrayView head)
{
    QString text;
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        text = DecodeText(head.first(std::min<qsizetype>(head.size(), 4096) & ~qsizetype(1)));
    else
        text = QString::fromLatin1(head.first(std::min<qsizetype>(head.size(), 4096)));
    QStringView rest(text);
    if (rest.startsWith(u"\u00EF\u00BB\u00BF"))
        rest = rest.sliced(3); // a UTF-8 byte order mark, read as Latin-1
    for (;;) {
        rest = rest.trimmed();
        if (rest.startsWith(u"<!--")) {
            const qsizetype end = rest.indexOf(u"-->");
            if (end < 0)
                return false;
            rest = rest.sliced(end + 3);
        } else if (rest.startsWith(u"<!doctype html", Qt::CaseInsensitive)) {
            return true;
        } else if (rest.startsWith(u"<!") || rest.startsWith(u"<?")) {
            const qsizetype end = rest.indexOf(u'>');
            if (end < 0)
                return false;
            rest = rest.sliced(end + 1);
        } else {
            break;
        }
    }
    static const char *const Starts[] = { "html", "head", "body", "meta", "title", "style", "link", "script",
        "base", "table", "div", "center" };
    for (const char *tag : Starts) {
        const qsizetype length = qsizetype(qstrlen(tag));
        if (rest.size() > length + 1 && rest[0] == u'<'
            && rest.sliced(1, length).compare(QLatin1String(tag), Qt::CaseInsensitive) == 0
            && (IsHtmlSpace(rest[length + 1]) || rest[length + 1] == u'>' || rest[length + 1] == u'/'))
            return true;
    }
    return false;
}

OpenedWorkbook OpenHtml(const QString &path)
{
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        if (!file->exists())
            return { nullptr, QStringLiteral("was not found") };
        return { nullptr, QStringLiteral("could not be read (%1)").arg(file->errorString()) };
    }
    return Open(std::move(file));
}

OpenedWorkbook OpenHtmlData(const QByteArray &data)
{
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return Open(std::move(buffer));
}

} // namespace plivan
