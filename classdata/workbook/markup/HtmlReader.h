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
// The page is parsed as it is read, a block at a time, with libxml2's HTML
// parser, no further than the rows asked for; a row that lies beyond the
// first MaxHtmlParseBytes is an error. Elements nested more than
// MaxHtmlNesting deep, as the parser nests them, make the page damaged from
// there on.
OpenedWorkbook OpenHtml(std::unique_ptr<QIODevice> device);

inline constexpr qsizetype MaxHtmlParseBytes = 8 * 1024 * 1024;
inline constexpr int MaxHtmlNesting = 512;

} // namespace plivan
