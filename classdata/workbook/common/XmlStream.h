#pragma once

#include "Internal.h"

#include <QXmlStreamReader>

#include <functional>
#include <optional>

namespace plivan {

// An XML document parsed incrementally: its bytes are read a chunk at a time,
// only as far as the tokens asked for need. Guards against hostile documents:
// elements nested at most MaxDepth deep, no single token longer than
// MaxTokenBytes, and no entities declared by the document.
class XmlStream {
public:
    static constexpr int MaxDepth = 256;
    static constexpr qint64 MaxTokenBytes = 4 * 1024 * 1024;

    // Up to `bytes` more of the document: empty at its end, or on an error
    // with `error` set (in words completing "is ..." or "could not be ...").
    using ReadChunk = std::function<QByteArray(qint64 bytes, QString &error)>;

    // `part` names the document in damage messages ("at line 3 of
    // xl/worksheets/sheet1.xml"); empty for a file that is one document.
    explicit XmlStream(ReadChunk read, QString part = {});
    virtual ~XmlStream() = default;

    // The next token, or Invalid at the end of the document or on an error
    // (then error() says which, in words completing "is ..."). Inside a
    // cell's text `tokenLimit` is MaxCellTextBytes: a token that takes more
    // is a cell too long, found before the parser holds all of it.
    QXmlStreamReader::TokenType next(qint64 tokenLimit = MaxTokenBytes);

    // Reads on to the end of the element whose start was just returned.
    // False at the end of the document or on an error.
    bool skipElement();

    // The character data of the element whose start was just returned, and
    // of the elements inside it, read to its end. Empty on an error, or when
    // the text is longer than a cell may be (CellTooLongReason).
    std::optional<QString> readText();

    QXmlStreamReader &xml() { return m_xml; }
    const QXmlStreamReader &xml() const { return m_xml; }
    // Depth of the current element: 1 inside the root element.
    int depth() const { return m_depth; }
    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    // Sets the error, unless one is set already.
    void fail(const QString &error);

private:
    // Notes the first byte of `chunk` that is a control character XML does
    // not allow (any below U+0020 but tab, line feed and carriage return),
    // and its line, for a damage message a reader can act on.
    void noteForbidden(QByteArrayView chunk);

    ReadChunk m_read;
    QString m_part;
    QXmlStreamReader m_xml;
    qint64 m_chunk = 16 * 1024;
    qint64 m_sinceToken = 0;
    int m_depth = 0;
    bool m_ended = false;
    bool m_rootClosed = false;
    // Bytes read so far and their lines; a document in UTF-16 or UTF-32 is
    // not scanned, as its zero bytes are part of its characters.
    qint64 m_bytesRead = 0;
    qint64 m_lines = 1;
    bool m_wide = false;
    int m_forbidden = -1; // the first forbidden character, or -1
    qint64 m_forbiddenLine = 0;
    QString m_error;
};

// An attribute by its local name in no namespace ("r", "t"), or in the
// namespace given.
QStringView Attribute(const QXmlStreamReader &xml, QLatin1String name);
QStringView Attribute(const QXmlStreamReader &xml, QLatin1String namespaceUri, QLatin1String name);

} // namespace plivan
