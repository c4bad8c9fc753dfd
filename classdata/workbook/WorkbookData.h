#pragma once

// Each reader over a file's bytes in memory, for the fuzz targets and the
// readers' own tests: the same code that OpenWorkbook runs on a file, chosen
// by the caller instead of by the content.

#include "Internal.h"

#include <QByteArray>

namespace plivan {

OpenedWorkbook OpenXlsData(const QByteArray &data); // a compound file: .xls
OpenedWorkbook OpenBiffData(const QByteArray &data); // Excel 2.x-4.0: the records alone
OpenedWorkbook OpenZipWorkbookData(const QByteArray &data); // .xlsx, .xlsb or .ods
OpenedWorkbook OpenZipWorkbookDevice(std::unique_ptr<QIODevice> device); // the same, read from a device
OpenedWorkbook OpenCsvData(const QByteArray &data, char separator = ','); // text, ',' or '\t' between fields
OpenedWorkbook OpenXmlSpreadsheetData(const QByteArray &data); // XML Spreadsheet 2003
OpenedWorkbook OpenHtmlData(const QByteArray &data); // a web page's tables
OpenedWorkbook OpenFlatOdsData(const QByteArray &data); // OpenDocument as one XML file
OpenedWorkbook OpenSylkData(const QByteArray &data); // SYLK (.slk)
OpenedWorkbook OpenDifData(const QByteArray &data); // DIF (.dif)

} // namespace plivan
