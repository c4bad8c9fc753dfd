#pragma once

// Text as files store it, turned into Unicode: the settings file, text
// rosters, and the 8-bit text of old workbooks.

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace plivan {

// Windows-1252 ("ANSI" on Western Windows) to Unicode. Bytes the code page
// leaves undefined map to the C1 control of the same value, as Windows does.
QString FromWindows1252(QByteArrayView bytes);

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF). A sequence cut short by the end of the bytes
// counts as well-formed unless `complete` says nothing follows.
bool IsUtf8(QByteArrayView bytes, bool complete);

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

} // namespace plivan
