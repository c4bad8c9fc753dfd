#pragma once

#include "Internal.h"

#include "zip/ZipArchive.h"

#include <QXmlStreamReader>

#include <optional>

namespace plivan {

// An XML part of a ZIP archive parsed incrementally: the entry is unpacked a
// chunk at a time, only as far as the tokens asked for need. Guards against
// hostile parts: at most `limit` unpacked bytes, elements nested at most
// MaxDepth deep, and no single token longer than MaxTokenBytes.
class XmlPartStream {
public:
    static constexpr int MaxDepth = 256;
    static constexpr qint64 MaxTokenBytes = 4 * 1024 * 1024;

    XmlPartStream(ZipArchive &archive, std::uint64_t index, qint64 limit);

    // The next token, or Invalid at the end of the document or on an error
    // (then error() says which, in words completing "is ...").
    QXmlStreamReader::TokenType next();

    // Reads on to the end of the element whose start was just returned.
    // False at the end of the document or on an error.
    bool skipElement();

    // The character data of the element whose start was just returned, read
    // to its end. Empty on an error, or when the text passes `maxChars`.
    std::optional<QString> readText(qsizetype maxChars);

    QXmlStreamReader &xml() { return m_xml; }
    const QXmlStreamReader &xml() const { return m_xml; }
    // Depth of the current element: 1 inside the root element.
    int depth() const { return m_depth; }
    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    void fail(const QString &error);

private:
    QString m_part; // the part's name, for messages
    ZipEntryStream m_entry;
    QXmlStreamReader m_xml;
    qint64 m_chunk = 16 * 1024;
    qint64 m_sinceToken = 0;
    int m_depth = 0;
    bool m_ended = false;
    bool m_rootClosed = false;
    QString m_error;
};

// An attribute by its local name in no namespace ("r", "t"), or in the
// namespace given.
QStringView Attribute(const QXmlStreamReader &xml, QLatin1String name);
QStringView Attribute(const QXmlStreamReader &xml, QLatin1String namespaceUri, QLatin1String name);

} // namespace plivan
