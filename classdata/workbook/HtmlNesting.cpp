#include "HtmlNesting.h"

#include <gumbo.h>

#include <QHash>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <vector>

namespace plivan {

namespace {

enum TagFlag : unsigned {
    Void = 1, // never holds content
    Formatting = 2, // reopened by the parser after a block closes it
    Scope = 4, // bounds the search for an open element (a table, a cell, ...)
    Special = 8, // an end tag for another element does not close it
    ClosesP = 16, // its start tag closes an open paragraph
    Marker = 32, // bounds the formatting elements to reopen
    RawText = 64, // its text is read up to its own end tag
};

// Names outside gumbo's list of tags count from here, by a hash of the name.
constexpr int UnknownTagBase = GUMBO_TAG_LAST + 1;

unsigned Flags(int tag)
{
    static const std::array<unsigned, GUMBO_TAG_LAST> table = [] {
        std::array<unsigned, GUMBO_TAG_LAST> flags {};
        const auto set = [&flags](unsigned flag, std::initializer_list<GumboTag> tags) {
            for (const GumboTag tag : tags)
                flags[tag] |= flag;
        };
        set(Void | Special,
            { GUMBO_TAG_AREA, GUMBO_TAG_BASE, GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND, GUMBO_TAG_BR,
                GUMBO_TAG_COL, GUMBO_TAG_EMBED, GUMBO_TAG_FRAME, GUMBO_TAG_HR, GUMBO_TAG_IMAGE, GUMBO_TAG_IMG,
                GUMBO_TAG_INPUT, GUMBO_TAG_ISINDEX, GUMBO_TAG_KEYGEN, GUMBO_TAG_LINK, GUMBO_TAG_META,
                GUMBO_TAG_PARAM, GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_WBR, GUMBO_TAG_MENUITEM });
        set(Formatting,
            { GUMBO_TAG_A, GUMBO_TAG_B, GUMBO_TAG_BIG, GUMBO_TAG_CODE, GUMBO_TAG_EM, GUMBO_TAG_FONT,
                GUMBO_TAG_I, GUMBO_TAG_NOBR, GUMBO_TAG_S, GUMBO_TAG_SMALL, GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG,
                GUMBO_TAG_TT, GUMBO_TAG_U });
        set(Scope | Special,
            { GUMBO_TAG_TABLE, GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_CAPTION, GUMBO_TAG_APPLET,
                GUMBO_TAG_MARQUEE, GUMBO_TAG_OBJECT, GUMBO_TAG_TEMPLATE, GUMBO_TAG_HTML });
        set(Marker,
            { GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_CAPTION, GUMBO_TAG_APPLET, GUMBO_TAG_MARQUEE,
                GUMBO_TAG_OBJECT, GUMBO_TAG_TEMPLATE });
        set(Special | ClosesP,
            { GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE, GUMBO_TAG_ASIDE, GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_CENTER,
                GUMBO_TAG_DETAILS, GUMBO_TAG_DIR, GUMBO_TAG_DIV, GUMBO_TAG_DL, GUMBO_TAG_FIELDSET,
                GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE, GUMBO_TAG_FOOTER, GUMBO_TAG_FORM, GUMBO_TAG_H1,
                GUMBO_TAG_H2, GUMBO_TAG_H3, GUMBO_TAG_H4, GUMBO_TAG_H5, GUMBO_TAG_H6, GUMBO_TAG_HEADER,
                GUMBO_TAG_HGROUP, GUMBO_TAG_HR, GUMBO_TAG_MAIN, GUMBO_TAG_MENU, GUMBO_TAG_NAV, GUMBO_TAG_OL,
                GUMBO_TAG_P, GUMBO_TAG_PRE, GUMBO_TAG_LISTING, GUMBO_TAG_SECTION, GUMBO_TAG_SUMMARY,
                GUMBO_TAG_UL, GUMBO_TAG_LI, GUMBO_TAG_DD, GUMBO_TAG_DT, GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT,
                GUMBO_TAG_TABLE });
        set(Special | RawText,
            { GUMBO_TAG_XMP, GUMBO_TAG_PLAINTEXT, GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TITLE,
                GUMBO_TAG_TEXTAREA, GUMBO_TAG_IFRAME, GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES });
        set(Special,
            { GUMBO_TAG_BODY, GUMBO_TAG_BUTTON, GUMBO_TAG_COLGROUP, GUMBO_TAG_FRAMESET, GUMBO_TAG_HEAD,
                GUMBO_TAG_NOSCRIPT, GUMBO_TAG_SELECT, GUMBO_TAG_TBODY, GUMBO_TAG_TFOOT, GUMBO_TAG_THEAD,
                GUMBO_TAG_TR });
        return flags;
    }();
    return tag >= 0 && tag < GUMBO_TAG_LAST ? table[std::size_t(tag)] : 0;
}

// The parser's stack of open elements and its list of formatting elements,
// as far as their sizes go.
class Estimate {
public:
    explicit Estimate(int limit)
        : m_limit(limit)
    {
    }

    bool start(int tag, unsigned attributes, bool selfClosing)
    {
        if (tag == GUMBO_TAG_HTML || tag == GUMBO_TAG_HEAD || tag == GUMBO_TAG_BODY)
            return true; // one of each; later ones only add attributes
        if (m_foreign > 0) {
            // Inside svg or math, "/>" closes an element, as in XML.
            if (!selfClosing)
                push(tag, -1, true);
            return within();
        }
        const unsigned flags = Flags(tag);
        if (flags & ClosesP)
            closeParagraph();
        switch (tag) {
        case GUMBO_TAG_LI:
            closeListItem(GUMBO_TAG_LI, GUMBO_TAG_LI);
            break;
        case GUMBO_TAG_DD:
        case GUMBO_TAG_DT:
            closeListItem(GUMBO_TAG_DD, GUMBO_TAG_DT);
            break;
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
            closeInTable(GUMBO_TAG_TD, GUMBO_TAG_TH);
            break;
        case GUMBO_TAG_TR:
            closeInTable(GUMBO_TAG_TD, GUMBO_TAG_TH);
            closeInTable(GUMBO_TAG_TR, GUMBO_TAG_TR);
            break;
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_TFOOT:
            closeInTable(GUMBO_TAG_TD, GUMBO_TAG_TH);
            closeInTable(GUMBO_TAG_TR, GUMBO_TAG_TR);
            closeInTable(GUMBO_TAG_THEAD, GUMBO_TAG_TBODY);
            closeInTable(GUMBO_TAG_TFOOT, GUMBO_TAG_TFOOT);
            break;
        case GUMBO_TAG_OPTION:
        case GUMBO_TAG_OPTGROUP:
            if (!m_stack.empty() && m_stack.back().tag == GUMBO_TAG_OPTION)
                popTo(m_stack.size() - 1);
            break;
        default:
            break;
        }
        if (flags & Void)
            return true;
        if (tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH) {
            if (!selfClosing)
                push(tag, -1, true);
            return within();
        }
        int entry = -1;
        if (flags & Formatting)
            entry = addFormatting(tag, attributes);
        else if (flags & Marker)
            m_active.push_back({ m_nextId++, tag, 0, true, false });
        push(tag, entry, false);
        return within();
    }

    void end(int tag)
    {
        if (tag == GUMBO_TAG_HTML || tag == GUMBO_TAG_HEAD || tag == GUMBO_TAG_BODY || tag == GUMBO_TAG_BR)
            return;
        const bool special = (Flags(tag) & Special) != 0;
        for (std::size_t k = m_stack.size(); k-- > 0;) {
            const int open = m_stack[k].tag;
            if (open == tag) {
                popTo(k);
                break;
            }
            const unsigned flags = m_stack[k].foreign ? 0 : Flags(open);
            if (special ? (flags & Scope) : (flags & Special))
                break; // nothing this end tag may close
        }
        if (Flags(tag) & Formatting)
            removeFormatting(tag);
    }

    // Character data: the formatting elements closed since they were opened
    // are opened again around it.
    bool text()
    {
        for (std::size_t i = afterMarker(); i < m_active.size(); ++i) {
            if (!m_active[i].open) {
                m_active[i].open = true;
                push(m_active[i].tag, m_active[i].id, false);
            }
        }
        return within();
    }

private:
    struct Element {
        int tag;
        int entry; // id of its formatting entry, -1 for none
        bool foreign;
    };
    struct Entry {
        int id;
        int tag;
        unsigned attributes;
        bool marker;
        bool open;
    };

    bool within() const
    {
        return m_stack.size() <= std::size_t(m_limit) && m_active.size() <= std::size_t(m_limit);
    }

    void push(int tag, int entry, bool foreign)
    {
        m_stack.push_back({ tag, entry, foreign });
        if (foreign)
            ++m_foreign;
    }

    // Closes the element at index k and every element opened after it.
    void popTo(std::size_t k)
    {
        while (m_stack.size() > k) {
            const Element element = m_stack.back();
            m_stack.pop_back();
            if (element.foreign)
                --m_foreign;
            if (element.entry >= 0) {
                for (Entry &entry : m_active) {
                    if (entry.id == element.entry)
                        entry.open = false;
                }
            }
            if (!element.foreign && (Flags(element.tag) & Marker))
                clearToMarker();
        }
    }

    std::size_t afterMarker() const
    {
        for (std::size_t i = m_active.size(); i-- > 0;) {
            if (m_active[i].marker)
                return i + 1;
        }
        return 0;
    }

    void clearToMarker()
    {
        const std::size_t from = afterMarker();
        m_active.resize(from > 0 ? from - 1 : 0);
    }

    int addFormatting(int tag, unsigned attributes)
    {
        // No more than three alike since the last marker: the earliest goes.
        const std::size_t from = afterMarker();
        int alike = 0;
        std::size_t earliest = m_active.size();
        for (std::size_t i = from; i < m_active.size(); ++i) {
            if (m_active[i].tag == tag && m_active[i].attributes == attributes) {
                if (alike++ == 0)
                    earliest = i;
            }
        }
        if (alike >= 3)
            m_active.erase(m_active.begin() + std::ptrdiff_t(earliest));
        m_active.push_back({ m_nextId, tag, attributes, false, true });
        return m_nextId++;
    }

    void removeFormatting(int tag)
    {
        const std::size_t from = afterMarker();
        for (std::size_t i = m_active.size(); i-- > from;) {
            if (m_active[i].tag == tag) {
                m_active.erase(m_active.begin() + std::ptrdiff_t(i));
                return;
            }
        }
    }

    void closeParagraph()
    {
        for (std::size_t k = m_stack.size(); k-- > 0;) {
            if (m_stack[k].foreign)
                return;
            const int tag = m_stack[k].tag;
            if (tag == GUMBO_TAG_P) {
                popTo(k);
                return;
            }
            if ((Flags(tag) & Scope) || tag == GUMBO_TAG_BUTTON)
                return;
        }
    }

    void closeListItem(int a, int b)
    {
        for (std::size_t k = m_stack.size(); k-- > 0;) {
            const int tag = m_stack[k].tag;
            if (tag == a || tag == b) {
                popTo(k);
                return;
            }
            if ((Flags(tag) & Special) && tag != GUMBO_TAG_ADDRESS && tag != GUMBO_TAG_DIV
                && tag != GUMBO_TAG_P)
                return;
        }
    }

    void closeInTable(int a, int b)
    {
        for (std::size_t k = m_stack.size(); k-- > 0;) {
            const int tag = m_stack[k].tag;
            if (tag == a || tag == b) {
                popTo(k);
                return;
            }
            if (tag == GUMBO_TAG_TABLE || tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_HTML)
                return;
        }
    }

    int m_limit;
    std::vector<Element> m_stack;
    std::vector<Entry> m_active;
    int m_nextId = 0;
    int m_foreign = 0; // open svg and math elements, and the elements inside them
};

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

int TagOf(QByteArrayView name)
{
    const GumboTag tag = gumbo_tagn_enum(name.data(), unsigned(name.size()));
    if (tag != GUMBO_TAG_UNKNOWN)
        return tag;
    return UnknownTagBase + int(qHash(name.toByteArray().toLower()) % 1000000);
}

} // namespace

bool HtmlNestingWithin(QByteArrayView page, int limit)
{
    Estimate estimate(limit);
    const qsizetype n = page.size();
    qsizetype i = 0;
    const auto skipPast = [&](QByteArrayView end, qsizetype from) {
        const qsizetype at = page.indexOf(end, from);
        return at < 0 ? n : at + end.size();
    };
    while (i < n) {
        const qsizetype open = page.indexOf('<', i);
        if (open != i && !estimate.text())
            return false;
        if (open < 0)
            break;
        i = open + 1;
        if (i >= n)
            break;
        const char c = page[i];
        if (c == '!') {
            i = page.sliced(i).startsWith("!--") ? skipPast("-->", i + 3) : skipPast(">", i);
            continue;
        }
        if (c == '?' || (c == '/' && (i + 1 >= n || !IsAsciiLetter(page[i + 1])))) {
            i = skipPast(">", i);
            continue;
        }
        if (!IsAsciiLetter(c) && c != '/') {
            if (!estimate.text()) // a '<' that starts no tag is text
                return false;
            continue;
        }
        const bool endTag = c == '/';
        const qsizetype nameStart = endTag ? i + 1 : i;
        qsizetype nameEnd = nameStart;
        while (nameEnd < n && !IsSpace(page[nameEnd]) && page[nameEnd] != '/' && page[nameEnd] != '>')
            ++nameEnd;
        const int tag = TagOf(page.sliced(nameStart, nameEnd - nameStart));
        // Attributes run to the '>' outside quotes.
        qsizetype at = nameEnd;
        char quote = 0;
        for (; at < n; ++at) {
            const char d = page[at];
            if (quote) {
                if (d == quote)
                    quote = 0;
            } else if (d == '"' || d == '\'') {
                quote = d;
            } else if (d == '>') {
                break;
            }
        }
        if (at >= n)
            break; // a tag cut off by the end: the parser drops it
        i = at + 1;
        if (endTag) {
            estimate.end(tag);
            continue;
        }
        const bool selfClosing = at > nameEnd && page[at - 1] == '/';
        const unsigned attributes = qHash(page.sliced(nameEnd, at - nameEnd));
        if (!estimate.start(tag, attributes, selfClosing))
            return false;
        if (tag < UnknownTagBase && (Flags(tag) & RawText)) {
            if (tag == GUMBO_TAG_PLAINTEXT)
                break; // the rest of the page is text
            // The element's text runs to its own end tag, in any letter case.
            const QByteArray name = page.sliced(nameStart, nameEnd - nameStart).toByteArray().toLower();
            qsizetype end = i;
            for (;;) {
                end = page.indexOf("</", end);
                if (end < 0 || page.sliced(end + 2).size() < name.size()) {
                    end = n;
                    break;
                }
                if (page.sliced(end + 2, name.size()).toByteArray().toLower() == name)
                    break;
                end += 2;
            }
            if (end > i && !estimate.text())
                return false;
            i = end;
        }
    }
    return true;
}

} // namespace plivan
