#pragma once

#include "Internal.h"

#include <QByteArrayView>

namespace plivan {

// Excel's XML Spreadsheet 2003 (namespace urn:schemas-microsoft-com:office:spreadsheet),
// which Excel, LibreOffice and many web systems write, often under a name
// ending in .xls. It is one XML document, not a ZIP archive.
//
// The active sheet is the worksheet that ExcelWorkbook/ActiveSheet counts to
// from 0: the first worksheet when the number is missing, out of range, or
// comes only after the worksheets. Rows and cells stand where ss:Index puts
// them, else one after the last (a row's ss:Span adds that many empty rows
// after it). A cell covered by a merge from a row above (ss:MergeDown) holds
// nothing unless the file writes a cell there itself. A cell shows its Data:
// String as stored (rich text, Data holding HTML markup, as its plain text),
// Number as a number, DateTime as an ISO date (a time alone is written on the
// day before 1900-01-01), Boolean as TRUE or FALSE, Error as its code, and a
// formula by its Data.
//
// The file is decoded and parsed as it is read, a chunk at a time
// (XmlFileStream, with the guards of XmlStream against hostile documents),
// no further than the row asked for. HTML's named characters, which web
// systems write, read as HTML reads them. A document that is not
// well-formed, or holds a cell longer than MaxCellChars, is damaged from
// there on.
OpenedWorkbook OpenXmlSpreadsheet(std::unique_ptr<QIODevice> device);

inline constexpr QLatin1String XmlSpreadsheetNs("urn:schemas-microsoft-com:office:spreadsheet");

} // namespace plivan
