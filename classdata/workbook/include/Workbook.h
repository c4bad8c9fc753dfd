#pragma once

// The workbook readers: what the rest of Plivan may use of them. Everything
// else in this folder is the readers' own.

#include <QString>

#include <memory>
#include <optional>

namespace plivan {

// A roster workbook opened read-only: the text of column 1 of the sheet that
// was active when the file was saved, one row at a time. Readers never write,
// lock or change the file, and release it when the object is destroyed.
class Workbook {
public:
    virtual ~Workbook() = default;

    // The text of the cell at `row` (counting from 1) in column 1 of the active
    // sheet, or std::nullopt when that cell is empty: no value at all, empty text,
    // or a formula whose result is empty text. Callers ask for rows 1, 2, 3, ...
    // in increasing order, and a reader reads no further into the file than the
    // row asked for.
    //
    // Text form of a value: text as stored, nothing trimmed; whole numbers as
    // their digits (17, 12345678901); other numbers in the shortest form that
    // reads back as the same double (0.30000000000000004); dates in ISO 8601
    // (2024-09-02, 2024-09-02 13:45:00, 13:45:00); TRUE and FALSE; error
    // values as their code (#N/A). A formula cell counts as its cached result.
    virtual std::optional<QString> cellText(int row) = 0;

    // Set once reading a row met damaged data; that row and every later one
    // then read as empty. Plain words that complete "<path> ...".
    virtual QString error() const { return {}; }
};

struct OpenedWorkbook {
    std::unique_ptr<Workbook> workbook; // null when the file could not be opened
    // Why not, in plain words that complete "<path> ...": "was not found",
    // "is protected by a password", "is damaged (the sheet ends early)".
    QString error;
};

// Opens the workbook at `path` with the reader its structure calls for: a
// compound file (.xls, BIFF5 or BIFF8), an Excel 2.x-4.0 record stream, a ZIP
// archive (.xlsx, .xlsb or .ods), an XML spreadsheet or OpenDocument file of
// one XML document (.fods) by its root element, SYLK, DIF, a web page's
// tables, or text. The file name's extension does not choose the reader; it only says
// where text is split into fields: at commas in a .csv, at tabs in any other
// file. Text named like a ZIP-based
// workbook (.xlsx, .ods, ...) is refused; a .csv or .txt is text whatever its
// bytes. Formats that are recognised but not read are named in the error.
OpenedWorkbook OpenWorkbook(const QString &path);

} // namespace plivan
