#pragma once

#include "Internal.h"

#include <QByteArrayView>

namespace plivan {

// True when the markup of `page` (UTF-8) stays within `limit`, as estimated
// without building the document: the elements a parser following the HTML
// standard would hold open at once, counting the formatting elements it
// reopens after a block closes them (so that <p><b id=1>x<p><b id=2>x...
// counts each <b> again in every paragraph), and the formatting elements it
// keeps waiting to reopen.
//
// The estimate follows the standard's tree building closely enough never to
// fall far below a real parser's count: end tags close only what they would
// close there (an end tag that matches nothing open, or would have to cross
// a table cell, closes nothing), and the start tags that close an open
// element by themselves (p, li, td, tr, option, ...) do so. It reads tags,
// comments, and the text of script, style, title and textarea elements as a
// browser's tokenizer does, and the rest of the page as plain text.
bool HtmlNestingWithin(QByteArrayView page, int limit);

} // namespace plivan
