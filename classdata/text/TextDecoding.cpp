#include "TextDecoding.h"

#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <utility>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace plivan {

namespace {

// 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr char16_t Cp1252High[32] = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6,
    0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

bool IsWindows1252(unsigned codePage)
{
    switch (codePage) {
    case 0: // not recorded
    case 367: // US-ASCII
    case 1200: // UTF-16, which 8-bit text cannot be
    case 1252:
    case 32769: // Windows-1252 as early writers recorded it
        return true;
    default:
        return false;
    }
}

} // namespace

QString FromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(Cp1252High[byte - 0x80]) : QChar(byte);
    }
    return text;
}

bool StartsAsUtf8(QByteArrayView bytes, QByteArrayView next)
{
    // Qt decodes when the text is taken, and only then sets the error.
    QStringDecoder whole(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = whole.decode(bytes);
    if (!whole.hasError())
        return true;
    // Either the bytes are not UTF-8, or their last character is cut short
    // and waits in the decoder's state: the bytes that follow finish it or
    // show it broken.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString start = utf8.decode(bytes);
    for (const char byte : next.first(std::min<qsizetype>(next.size(), 3))) {
        if (utf8.hasError())
            return false;
        if (!QString(utf8.decode(QByteArrayView(&byte, 1))).isEmpty())
            return !utf8.hasError();
    }
    return false; // the text ends inside the character
}

QString DecodeText(QByteArrayView bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(
            bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return utf16(bytes.sliced(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return FromWindows1252(bytes);
}

unsigned CodePageOfCharset(QByteArrayView name)
{
    const QByteArray charset = name.trimmed().toByteArray().toLower();
    static const struct {
        const char *name;
        unsigned codePage;
    } Named[] = { { "utf-8", 65001 }, { "utf8", 65001 }, { "utf-16", 65001 }, { "utf-16le", 65001 },
        { "utf-16be", 65001 }, { "us-ascii", 1252 }, { "ascii", 1252 }, { "iso-8859-1", 1252 },
        { "latin1", 1252 }, { "shift_jis", 932 }, { "sjis", 932 }, { "x-sjis", 932 }, { "windows-31j", 932 },
        { "gb2312", 936 }, { "gbk", 936 }, { "gb18030", 54936 }, { "euc-kr", 949 }, { "ks_c_5601-1987", 949 },
        { "big5", 950 }, { "euc-jp", 20932 }, { "koi8-r", 20866 }, { "koi8-u", 21866 },
        { "macintosh", 10000 }, { "x-mac-roman", 10000 } };
    for (const auto &named : Named) {
        if (charset == named.name)
            return named.codePage;
    }
    bool ok = false;
    for (const QByteArrayView prefix : { "windows-", "x-cp", "cp" }) {
        if (charset.startsWith(prefix)) {
            const unsigned codePage = charset.mid(prefix.size()).toUInt(&ok);
            return ok ? codePage : 0;
        }
    }
    if (charset.startsWith("iso-8859-")) { // Windows numbers ISO-8859-n as 28590 + n
        const unsigned part = charset.mid(9).toUInt(&ok);
        return ok && part >= 2 && part <= 15 ? 28590 + part : 0;
    }
    return 0;
}

#ifdef Q_OS_WIN
// Windows converts every code page it knows itself.
struct CodePageDecoder::Converter {
    unsigned codePage;
    QString decode(QByteArrayView bytes) const
    {
        if (bytes.isEmpty())
            return {};
        const int size = int(std::min<qsizetype>(bytes.size(), INT_MAX));
        const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
        QString text(length, Qt::Uninitialized);
        MultiByteToWideChar(
            codePage, 0, bytes.data(), size, reinterpret_cast<wchar_t *>(text.data()), length);
        // Windows's Mac Roman gives 0xBD as the ohm sign; Apple's table, and
        // so every other system, as the Greek capital omega it stands for.
        if (codePage == 10000)
            text.replace(QChar(0x2126), QChar(0x03A9));
        return text;
    }
};

CodePageDecoder::CodePageDecoder(unsigned codePage)
    : m_codePage(codePage)
{
    if (IsWindows1252(codePage))
        return;
    // Mac Roman as early writers recorded it.
    unsigned windows = codePage == 32768 ? 10000 : codePage;
    // GB18030 extends GBK, whose two-byte characters it shares, where a
    // system (Wine) lacks it.
    if (windows == 54936 && !IsValidCodePage(windows))
        windows = 936;
    if (IsValidCodePage(windows))
        m_converter = std::make_unique<Converter>(Converter { windows });
}
#else
// Elsewhere Qt converts them by name, through ICU.
struct CodePageDecoder::Converter {
    QStringDecoder decoder;
    QString decode(QByteArrayView bytes)
    {
        decoder.resetState();
        return decoder.decode(bytes);
    }
};

CodePageDecoder::CodePageDecoder(unsigned codePage)
    : m_codePage(codePage)
{
    if (IsWindows1252(codePage))
        return;
    QByteArray name;
    if (codePage == 10000 || codePage == 32768) // Mac Roman, the second as early writers recorded it
        name = "macintosh";
    else if ((codePage >= 1250 && codePage <= 1258) || codePage == 874 || codePage == 932 || codePage == 936
        || codePage == 949 || codePage == 950)
        name = "windows-" + QByteArray::number(codePage);
    else if (codePage > 28590 && codePage <= 28605)
        name = "ISO-8859-" + QByteArray::number(codePage - 28590);
    else if (codePage == 20866 || codePage == 21866)
        name = codePage == 20866 ? "KOI8-R" : "KOI8-U";
    else if (codePage == 20932 || codePage == 54936)
        name = codePage == 20932 ? "EUC-JP" : "GB18030";
    else
        name = "IBM" + QByteArray::number(codePage);
    QStringDecoder decoder(name.constData());
    if (decoder.isValid())
        m_converter = std::make_unique<Converter>(Converter { std::move(decoder) });
}
#endif

CodePageDecoder::~CodePageDecoder() = default;
CodePageDecoder::CodePageDecoder(CodePageDecoder &&) noexcept = default;
CodePageDecoder &CodePageDecoder::operator=(CodePageDecoder &&) noexcept = default;

QString CodePageDecoder::decode(QByteArrayView bytes)
{
    return m_converter ? m_converter->decode(bytes) : FromWindows1252(bytes);
}

BlockDecoder::BlockDecoder(unsigned codePage)
    : m_codePage(codePage)
    , m_decoder(codePage == 65001 ? 1252 : codePage)
{
    if (codePage == 65001)
        m_unicode.emplace(QStringDecoder::Utf8);
}

std::optional<BlockDecoder> BlockDecoder::ByOrderMark(QByteArrayView start)
{
    if (!start.startsWith("\xFF\xFE") && !start.startsWith("\xFE\xFF") && !start.startsWith("\xEF\xBB\xBF"))
        return std::nullopt;
    BlockDecoder decoder(65001);
    if (!start.startsWith("\xEF\xBB\xBF"))
        decoder.m_unicode.emplace(
            start.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    return decoder;
}

QString BlockDecoder::decode(QByteArrayView bytes, bool last)
{
    if (m_unicode)
        return m_unicode->decode(bytes);
    m_rest += bytes;
    qsizetype cut = m_rest.size();
    while (!last && cut > 0 && static_cast<unsigned char>(m_rest[cut - 1]) >= 0x30)
        --cut;
    const QString text = m_decoder.decode(QByteArrayView(m_rest).first(cut));
    m_rest.remove(0, cut);
    return text;
}

Utf16ToUtf8::Utf16ToUtf8(bool bigEndian)
    : m_decoder(bigEndian ? QStringDecoder::Utf16BE : QStringDecoder::Utf16LE,
        QStringDecoder::Flag::ConvertInitialBom)
    , m_encoder(QStringEncoder::Utf8)
{
}

QByteArray Utf16ToUtf8::next(QByteArrayView bytes)
{
    const QString text = m_decoder.decode(bytes);
    m_bytes += bytes.size();
    if (text.isEmpty())
        return {};
    m_highSurrogate = text.back().isHighSurrogate();
    return m_encoder.encode(text);
}

QByteArray Utf16ToUtf8::finish()
{
    const QByteArray replacement = QStringLiteral(u"\uFFFD").toUtf8();
    QByteArray rest;
    if (std::exchange(m_highSurrogate, false))
        rest += replacement;
    if (m_bytes % 2 != 0)
        rest += replacement;
    return rest;
}

void Utf16ToUtf8::reset()
{
    m_decoder.resetState();
    m_encoder.resetState();
    m_bytes = 0;
    m_highSurrogate = false;
}

} // namespace plivan
