#pragma once

#include "Internal.h"

#include <QByteArrayView>

namespace plivan {

// A web page (.htm, .html, or the .xls that web systems write as HTML), read
// as LibreOffice Calc's HTML import lists it: each table row is a sheet row
// and column 1 holds its first cell (rowspan covers the cells below, which
// are then empty; footer rows are left out); a table inside a cell takes the
// cell's place, row by row; text outside tables is a row per paragraph or
// line, a horizontal rule an empty row. Text that stands inside a table but
// outside its cells (a caption, stray text) joins the next cell as a line of
// its own. A cell's text has its white space collapsed, as a browser shows
// it, except for a trailing space; <br> and paragraphs inside a cell are line
// breaks; an image counts by its alternative text. Text that reads as an
// American-English number ("1,234.5", "007") is that number, and a cell with
// LibreOffice's own value attribute (sdval, with its format in sdnum) shows
// that value, dates as dates.
//
// The text is UTF-16 or UTF-8 when a byte order mark says so, else in the
// character set a <meta> element names, else UTF-8 when it is valid UTF-8 and
// Windows-1252 when it is not.
//
// The page is parsed with gumbo, which builds the whole document in memory
// (about 25 bytes for each byte of a table's markup). To read no further than
// the rows asked for, only the start of the page is parsed, cut just before a
// tag and doubled in length while the rows asked for are not yet all there,
// up to MaxHtmlParseBytes; a row beyond that is an error. Before any parse,
// an estimate of the markup's nesting (open elements and the formatting
// elements a parser reopens) must stay within MaxHtmlNesting, since deeper
// nesting makes the parse slow out of all proportion to the page's size.
OpenedWorkbook OpenHtml(const QString &path);

inline constexpr qsizetype MaxHtmlParseBytes = 2 * 1024 * 1024;
inline constexpr int MaxHtmlNesting = 512;

// True when the first bytes of a file start like a web page: once a byte
// order mark, white space, comments, an XML declaration and a document type
// are skipped, a tag that begins an HTML document (html, head, body, table,
// meta, title, style, ...).
bool LooksLikeHtml(QByteArrayView head);

} // namespace plivan
