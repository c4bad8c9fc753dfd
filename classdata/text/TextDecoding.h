#pragma once

// Text as files store it, turned into Unicode: the settings file, text
// rosters, and the 8-bit text of old workbooks.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <memory>
#include <optional>

namespace plivan {

// Windows-1252 ("ANSI" on Western Windows) to Unicode. Bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows does.
QString FromWindows1252(QByteArrayView bytes);

// True when `bytes`, the start of a text, is well-formed UTF-8 (no overlong
// forms, surrogates or code points above U+10FFFF). A character that the end
// of `bytes` cuts short is judged with the bytes that follow it in the text,
// the first of `next` (none when the text ends there).
bool StartsAsUtf8(QByteArrayView bytes, QByteArrayView next);

// A whole text file written on any system: UTF-16 (little or big endian) when
// it begins with that byte order mark; otherwise UTF-8 (a leading byte order
// mark is skipped), or Windows-1252 when the bytes are not valid UTF-8.
QString DecodeText(QByteArrayView bytes);

// The Windows code page of a character set as a web page names it
// ("windows-1251", "ISO-8859-2", "Shift_JIS", ...): 65001 for UTF-8, 0 for a
// name not known here. Names that browsers read as Windows-1252 (ISO-8859-1,
// US-ASCII) give 1252, and UTF-16, which a page read as 8-bit text cannot be,
// gives UTF-8, as browsers read them.
unsigned CodePageOfCharset(QByteArrayView name);

// 8-bit text in the Windows code page a workbook records (1251, 932, 10000 for
// Mac Roman, ...). Code pages that are Windows-1252 in all but name (0 when
// none is recorded, 367 US-ASCII, 1252, 32769), and any this system cannot
// convert, are read as Windows-1252.
class CodePageDecoder {
public:
    explicit CodePageDecoder(unsigned codePage = 1252);
    ~CodePageDecoder();
    CodePageDecoder(CodePageDecoder &&) noexcept;
    CodePageDecoder &operator=(CodePageDecoder &&) noexcept;

    unsigned codePage() const { return m_codePage; }
    // Each call is a text of its own; nothing carries over from the last one.
    QString decode(QByteArrayView bytes);

private:
    struct Converter;
    unsigned m_codePage = 1252;
    std::unique_ptr<Converter> m_converter; // null when Windows-1252 serves
};

// Text in one character set decoded a block at a time, as it is read: UTF-8
// or UTF-16 through Qt's decoder, whose state carries a character that a
// block's end cuts over to the next block, or a Windows code page (as
// CodePageDecoder reads it), whose bytes after the last one below 0x30 wait
// for the next block: a double-byte character never holds such a byte.
class BlockDecoder {
public:
    // UTF-8 for 65001, else the code page.
    explicit BlockDecoder(unsigned codePage);

    // The decoder that the byte order mark at `start` calls for, UTF-16 or
    // UTF-8 (its code page 65001); none when there is no mark.
    static std::optional<BlockDecoder> ByOrderMark(QByteArrayView start);

    unsigned codePage() const { return m_codePage; }

    // True once UTF-8 or UTF-16 text proved not to be.
    bool failed() const { return m_unicode && m_unicode->hasError(); }

    // The text of the next block; `last` when nothing follows it.
    QString decode(QByteArrayView bytes, bool last);

private:
    unsigned m_codePage;
    std::optional<QStringDecoder> m_unicode;
    CodePageDecoder m_decoder;
    QByteArray m_rest;
};

// UTF-16 (little or big endian) turned into UTF-8 a block at a time by Qt's
// decoder and encoder: a byte or a high surrogate that a block's end cuts
// from the rest of its character waits for the next block. A surrogate
// without its other half, and a last odd byte, become U+FFFD; a byte order
// mark is a character like any other.
class Utf16ToUtf8 {
public:
    explicit Utf16ToUtf8(bool bigEndian);

    QByteArray next(QByteArrayView bytes);
    // What the end of the text cuts short.
    QByteArray finish();
    // Back to the start of a text.
    void reset();

private:
    QStringDecoder m_decoder;
    QStringEncoder m_encoder;
    qint64 m_bytes = 0; // read since the start
    bool m_highSurrogate = false; // the encoder holds one for the next block
};

} // namespace plivan
