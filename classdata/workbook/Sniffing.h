#pragma once

// What a file's first bytes show it to be, for the choice of reader in
// OpenWorkbook.cpp. Each test looks at the head of the file alone.

#include "Internal.h"

#include <QByteArrayView>

namespace plivan {

// What a file is, where its first bytes show a format Plivan does not read
// ("an RTF document", "a Lotus 1-2-3 worksheet"); empty otherwise. Lotus
// 1-2-3 and Quattro Pro files start with a BOF record (type 0) whose length
// and version tell them apart. Quattro Pro 6 and later and Word 97-2003 are
// compound files, told apart by their streams.
QString UnreadFormat(QByteArrayView head);

// Excel 2.x-4.0 worksheets and Excel 4.0 workbooks, files that are a bare
// stream of records: the first 8 bytes are a BOF record of one of these
// versions.
bool IsBiffStream(QByteArrayView head);

// SYLK and DIF, by their first record.
bool IsSylk(QByteArrayView head);
bool IsDif(QByteArrayView head);

// What the first bytes of a file show as XML, by its root element and the
// namespace it is in, whatever stands before it (a byte order mark, white
// space, the declaration in any encoding, processing instructions, comments,
// a document type): not XML at all, an XML spreadsheet (Workbook in the
// spreadsheet namespace, or in none), an OpenDocument file of one XML
// document (office:document, a flat file, or office:document-content, a
// package's content part alone), a Word 2003 XML document, or some other XML
// document.
enum class XmlKind { NotXml, Spreadsheet, OpenDocument, WordDocument, Other };
XmlKind SniffXml(QByteArrayView head);

// True when the first bytes of a file start like a web page: once a byte
// order mark, white space, comments, an XML declaration and a document type
// are skipped, a tag that begins an HTML document (html, head, body, table,
// meta, title, style, ...), or an HTML document type. With `anyTag`, also
// any other tag when a table or an html element starts further on, as in a
// page that opens with a heading or a font. A document whose root element is
// in an XML namespace other than XHTML's is no web page, whatever it holds.
bool LooksLikeHtml(QByteArrayView head, bool anyTag = false);

// True when the first bytes of a file read as text: UTF-16 with its byte
// order mark, or bytes without NUL or any other control character than tab,
// line ends, form feed and the end-of-file mark (Ctrl-Z) of old DOS programs.
bool LooksLikeText(QByteArrayView head);

} // namespace plivan
