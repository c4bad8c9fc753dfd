#include "Sniffing.h"

#include "TextDecoding.h"
#include "biff/BiffRecords.h"
#include "common/Bytes.h"
#include "common/XmlProlog.h"
#include "markup/HtmlText.h"
#include "markup/XmlSpreadsheetReader.h"

namespace plivan {

namespace {

const QLatin1String WordNs("http://schemas.microsoft.com/office/word/2003/wordml");
const QLatin1String OfficeNs("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QLatin1String XhtmlNs("http://www.w3.org/1999/xhtml");

// SYLK and DIF are told by their first record, after a UTF-8 byte order
// mark where an editor saved one.
QByteArrayView AfterUtf8Mark(QByteArrayView head)
{
    return head.startsWith("\xEF\xBB\xBF") ? head.sliced(3) : head;
}

// True when `text` holds the tag name `name` (in any case) at `at`, ended as
// a tag name ends: by white space, '>' or '/'.
bool TagNameAt(QStringView text, qsizetype at, QStringView name)
{
    const qsizetype after = at + name.size();
    return after < text.size() && text.sliced(at, name.size()).compare(name, Qt::CaseInsensitive) == 0
        && (IsHtmlSpace(text[after]) || text[after] == u'>' || text[after] == u'/');
}

} // namespace

QString UnreadFormat(QByteArrayView head)
{
    if (head.startsWith("{\\rtf"))
        return QStringLiteral("an RTF document");
    if (head.startsWith("%PDF-"))
        return QStringLiteral("a PDF document");
    if (head.size() < 6 || U16(head.data()) != 0)
        return {};
    const quint16 length = U16(head.data() + 2);
    const quint16 version = U16(head.data() + 4);
    if ((length == 2 && version >= 0x0404 && version <= 0x0406) // .wks, .wk1, Symphony
        || (length >= 19 && version >= 0x1000 && version <= 0x1005)) // .wk3, .wk4, .123
        return QStringLiteral("a Lotus 1-2-3 worksheet");
    if (length == 2 && ((version >= 0x1001 && version <= 0x1007) || version == 0x5120 || version == 0x5121))
        return QStringLiteral("a Quattro Pro notebook"); // .wb1, .wb2; .wq1, .wq2 from DOS
    return {};
}

bool IsSylk(QByteArrayView head)
{
    return AfterUtf8Mark(head).startsWith("ID;P");
}

bool IsDif(QByteArrayView head)
{
    head = AfterUtf8Mark(head);
    return head.startsWith("TABLE\r\n0,1\r\n") || head.startsWith("TABLE\n0,1\n");
}

bool IsBiffStream(QByteArrayView head)
{
    if (head.size() < 8)
        return false;
    const auto *p = reinterpret_cast<const quint8 *>(head.constData());
    const quint16 type = U16(p), length = U16(p + 2), version = U16(p + 4), kind = U16(p + 6);
    if (length < 4 || length > 16)
        return false;
    // Small export scripts open an Excel 2.x-4.0 worksheet with the BOF
    // record number of BIFF5/8 and version 0.
    if (type == RecBof)
        return version == 0 && kind == BofWorksheet;
    return (type == RecBof2 || type == RecBof3 || type == RecBof4)
        && (kind == BofWorksheet || kind == BofChart || kind == BofMacroSheet || kind == BofWorkbook4);
}

XmlKind SniffXml(QByteArrayView head)
{
    const XmlProlog prolog = ReadXmlProlog(head);
    if (!prolog.rootFound)
        return XmlKind::NotXml;
    const QString &name = prolog.localName, &ns = prolog.namespaceUri;
    if (name == u"Workbook" && (ns == XmlSpreadsheetNs || ns.isEmpty()))
        return XmlKind::Spreadsheet;
    if ((name == u"document" || name == u"document-content") && ns == OfficeNs)
        return XmlKind::OpenDocument;
    if (name == u"wordDocument" && ns == WordNs)
        return XmlKind::WordDocument;
    return XmlKind::Other;
}

bool LooksLikeHtml(QByteArrayView head, bool anyTag)
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
    // XML of another vocabulary: its <table> or <Table> is not HTML's. An
    // html root is a page in any namespace (Excel's pages name HTML 4's).
    if (const XmlProlog prolog = ReadXmlProlog(head); prolog.rootFound && !prolog.namespaceUri.isEmpty()
        && prolog.namespaceUri != XhtmlNs && prolog.localName.compare(u"html", Qt::CaseInsensitive) != 0)
        return false;
    static const char16_t *const Starts[] = { u"html", u"head", u"body", u"meta", u"title", u"style", u"link",
        u"script", u"base", u"table", u"div", u"center" };
    for (const char16_t *tag : Starts) {
        if (rest.startsWith(u'<') && TagNameAt(rest, 1, tag))
            return true;
    }
    // <table:table> of OpenDocument, say, is no table of a page.
    const auto hasElement = [rest](QStringView name) {
        for (qsizetype at = rest.indexOf(u'<'); at >= 0; at = rest.indexOf(u'<', at + 1)) {
            if (TagNameAt(rest, at + 1, name))
                return true;
        }
        return false;
    };
    return anyTag && rest.size() > 1 && rest[0] == u'<' && rest[1].isLetter()
        && (hasElement(u"table") || hasElement(u"html"));
}

bool LooksLikeText(QByteArrayView head)
{
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF"))
        return true;
    for (char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != 0x1A)
            return false;
    }
    return true;
}

} // namespace plivan
