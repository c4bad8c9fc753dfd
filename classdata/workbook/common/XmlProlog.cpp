#include "common/XmlProlog.h"

#include <QStringDecoder>

namespace plivan {

namespace {

bool IsXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsNameStart(QChar c)
{
    return c.isLetter() || c == u'_' || c == u':' || c.unicode() >= 0x80;
}

bool IsNameChar(QChar c)
{
    return IsNameStart(c) || c.isDigit() || c == u'-' || c == u'.';
}

// The head as text: UTF-16 by its mark or its pattern, else byte by byte.
QString HeadText(QByteArrayView head, bool &utf16)
{
    const bool littleMark = head.startsWith("\xFF\xFE"), bigMark = head.startsWith("\xFE\xFF");
    const bool little = littleMark || head.startsWith(QByteArrayView("<\0", 2));
    const bool big = bigMark || head.startsWith(QByteArrayView("\0<", 2));
    utf16 = little || big;
    if (!utf16) {
        if (head.startsWith("\xEF\xBB\xBF"))
            head = head.sliced(3);
        return QString::fromLatin1(head);
    }
    QStringDecoder decoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    return decoder(head.first(head.size() & ~qsizetype(1)));
}

// Reads the prolog of `text` from `at` on.
class PrologScanner {
public:
    explicit PrologScanner(QStringView text)
        : m_text(text)
    {
    }

    XmlProlog scan()
    {
        XmlProlog prolog;
        if (m_text.startsWith(u'\uFEFF'))
            ++m_at;
        for (bool first = true;; first = false) {
            skipSpace();
            const QStringView rest = m_text.sliced(m_at);
            if (rest.startsWith(u"<?")) {
                const qsizetype end = rest.indexOf(u"?>");
                if (end < 0)
                    return prolog;
                if (first && rest.startsWith(u"<?xml") && rest.size() > 5 && IsXmlSpace(rest[5]))
                    prolog.encoding = pseudoAttribute(rest.first(end), u"encoding");
                m_at += end + 2;
            } else if (rest.startsWith(u"<!--")) {
                const qsizetype end = rest.indexOf(u"-->", 4);
                if (end < 0)
                    return prolog;
                m_at += end + 3;
            } else if (rest.startsWith(u"<!doctype", Qt::CaseInsensitive)) {
                m_at += 9;
                skipSpace();
                prolog.doctype = name().toString();
                if (!skipDeclaration())
                    return prolog;
            } else if (rest.startsWith(u'<') && rest.size() > 1 && IsNameStart(rest[1])) {
                ++m_at;
                readRoot(prolog);
                return prolog;
            } else {
                return prolog; // text, or the end of the head
            }
        }
    }

private:
    void skipSpace()
    {
        while (m_at < m_text.size() && IsXmlSpace(m_text[m_at]))
            ++m_at;
    }

    QStringView name()
    {
        const qsizetype start = m_at;
        if (m_at < m_text.size() && IsNameStart(m_text[m_at]))
            ++m_at;
        while (m_at < m_text.size() && IsNameChar(m_text[m_at]))
            ++m_at;
        return m_text.sliced(start, m_at - start);
    }

    // Past the '>' that ends a document type, its internal subset and quoted
    // text included; false when the head ends first.
    bool skipDeclaration()
    {
        int brackets = 0;
        for (QChar quote; m_at < m_text.size(); ++m_at) {
            const QChar c = m_text[m_at];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'[') {
                ++brackets;
            } else if (c == u']') {
                --brackets;
            } else if (c == u'>' && brackets <= 0) {
                ++m_at;
                return true;
            }
        }
        return false;
    }

    // The value of `name="..."` in an XML declaration.
    static QString pseudoAttribute(QStringView declaration, QStringView name)
    {
        for (qsizetype at = declaration.indexOf(name); at >= 0; at = declaration.indexOf(name, at + 1)) {
            if (at == 0 || !IsXmlSpace(declaration[at - 1]))
                continue;
            qsizetype i = at + name.size();
            while (i < declaration.size() && IsXmlSpace(declaration[i]))
                ++i;
            if (i >= declaration.size() || declaration[i] != u'=')
                continue;
            ++i;
            while (i < declaration.size() && IsXmlSpace(declaration[i]))
                ++i;
            if (i >= declaration.size() || (declaration[i] != u'"' && declaration[i] != u'\''))
                continue;
            const qsizetype end = declaration.indexOf(declaration[i], i + 1);
            if (end > i)
                return declaration.sliced(i + 1, end - i - 1).trimmed().toString();
        }
        return {};
    }

    // The root's start tag: its name and the namespaces it declares.
    void readRoot(XmlProlog &prolog)
    {
        const QStringView qualified = name();
        const qsizetype colon = qualified.indexOf(u':');
        prolog.prefix = colon > 0 ? qualified.first(colon).toString() : QString();
        prolog.localName = qualified.sliced(colon + 1).toString();
        QString defaultNs, prefixNs;
        for (;;) {
            const qsizetype before = m_at;
            skipSpace();
            if (m_at >= m_text.size())
                return; // cut off inside the tag
            if (m_text[m_at] == u'>' || m_text.sliced(m_at).startsWith(u"/>"))
                break;
            if (m_at == before)
                return; // attributes stand apart by white space
            const QStringView attribute = name();
            skipSpace();
            if (attribute.isEmpty() || m_at >= m_text.size() || m_text[m_at] != u'=')
                return;
            ++m_at;
            skipSpace();
            if (m_at >= m_text.size() || (m_text[m_at] != u'"' && m_text[m_at] != u'\''))
                return;
            const qsizetype end = m_text.indexOf(m_text[m_at], m_at + 1);
            if (end < 0)
                return;
            const QString value = m_text.sliced(m_at + 1, end - m_at - 1).toString();
            m_at = end + 1;
            if (attribute == u"xmlns")
                defaultNs = value;
            else if (!prolog.prefix.isEmpty() && attribute == QStringLiteral("xmlns:") + prolog.prefix)
                prefixNs = value;
        }
        prolog.namespaceUri = prolog.prefix.isEmpty() ? defaultNs : prefixNs;
        prolog.rootFound = true;
    }

    QStringView m_text;
    qsizetype m_at = 0;
};

} // namespace

XmlProlog ReadXmlProlog(QByteArrayView head)
{
    bool utf16 = false;
    const QString text = HeadText(head, utf16);
    XmlProlog prolog = PrologScanner(text).scan();
    prolog.utf16 = utf16;
    return prolog;
}

} // namespace plivan
