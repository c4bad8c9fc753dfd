#pragma once

// What stands at the start of an XML document, read from its first bytes
// without decoding it: the encoding its declaration names, the name of its
// document type, and its root element with the namespace that element is in.
// Nothing is parsed beyond the root element's start tag, so the rest of the
// document may be cut off or broken.

#include "Internal.h"

#include <QByteArrayView>
#include <QString>

namespace plivan {

struct XmlProlog {
    // The root element's start tag was found, after nothing but a byte order
    // mark, white space, the XML declaration, processing instructions
    // (<?mso-application ...?>), comments and a document type.
    bool rootFound = false;
    QString localName; // "Workbook", "document-content"
    QString namespaceUri; // of the root element; empty when it is in none
    QString prefix; // the root's own prefix ("office"), empty for none
    QString doctype; // the document type's name ("html"), empty for none
    QString encoding; // as the declaration names it, empty when it does not
    bool utf16 = false; // the bytes are UTF-16, by a byte order mark or by their pattern
};

// The prolog of the document whose first bytes are `head`. UTF-16 is told by
// its byte order mark or by "<?" in either byte order; any other bytes are
// read as ASCII, which every 8-bit encoding and UTF-8 agree with in markup.
XmlProlog ReadXmlProlog(QByteArrayView head);

} // namespace plivan
