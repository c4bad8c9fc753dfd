#pragma once

// Shared by the readers in this folder, and by nothing outside it: the rest of
// Plivan reaches the readers through Workbook.h alone. Every other header of
// the library includes this one first. The build defines
// PLIVAN_WORKBOOK_INTERNALS for this library (and for its own tests and fuzz
// targets, through plivan_workbook_internals), so an include from anywhere
// else stops the build here, or earlier where this folder is not on the
// include path.
#ifndef PLIVAN_WORKBOOK_INTERNALS
#error "This header belongs to the workbook readers; include Workbook.h instead."
#endif

#include "Workbook.h"

#include <QFileDevice>
#include <QIODevice>

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace plivan {

// The formats Plivan reads, as messages name them.
inline const QString ReadFormats
    = QStringLiteral("it reads .xls, .xlsx, .xlsb and .ods workbooks, Excel XML "
                     "spreadsheets, SYLK and DIF spreadsheets, web pages holding a table, "
                     "and text such as .csv and .txt files");

// Why a file is refused when it is none of the formats read.
inline const QString NotAWorkbookReason
    = QStringLiteral("is not a workbook Plivan can read (%1)").arg(ReadFormats);

// Why a file is refused when its content shows a format that Plivan does not
// read, for `what` such as "a Lotus 1-2-3 worksheet": "<path> is a Lotus 1-2-3
// worksheet, which Plivan cannot read (it reads ...)".
inline QString UnreadFormatReason(const QString &what)
{
    return QStringLiteral("is %1, which Plivan cannot read (%2)").arg(what, ReadFormats);
}

// Why nothing is read when the active sheet holds no cells, for `what` such
// as "a chart" or "a macro sheet": "<path> shows a chart, not a list of
// names, on its active sheet".
inline QString NotAListReason(const QString &what)
{
    return QStringLiteral("shows %1, not a list of names, on its active sheet").arg(what);
}

// A reader's workbook made from `args` and opened: its open() reads what it
// needs to start (the active sheet, the first row) and gives the reason,
// in words that complete "<path> ...", when the file cannot be read.
template <typename Book, typename... Args> OpenedWorkbook OpenBook(Args &&...args)
{
    auto book = std::make_unique<Book>(std::forward<Args>(args)...);
    if (const QString error = book->open(); !error.isEmpty())
        return { nullptr, error };
    return { std::move(book), {} };
}

// Why `file` could not be opened to read, with the system's words: "could
// not be opened (Permission denied)".
inline QString CannotOpenReason(const QFileDevice &file)
{
    return QStringLiteral("could not be opened (%1)").arg(file.errorString());
}

// A reader's opening over any device, for readers that read a file as one
// stream of bytes.
using OpenDevice = std::function<OpenedWorkbook(std::unique_ptr<QIODevice>)>;

// The file at `path` opened to read and handed to `open`, or why it cannot be
// opened ("was not found", "could not be opened (...)").
OpenedWorkbook OpenFileWith(const QString &path, const OpenDevice &open);

// Bytes in memory handed to `open` as a device opened to read.
OpenedWorkbook OpenBytesWith(const QByteArray &data, const OpenDevice &open);

// Column 1 of a small file read whole when it is opened: the text of each
// row that holds some, and, when the file is damaged, the row from which on
// nothing is read and why ("is damaged (...)").
struct ReadColumn {
    std::map<int, QString> cells;
    int damagedFrom = 0; // 0 when the file is sound
    QString damage;
};

// A text spreadsheet read whole when it is opened (SYLK, DIF): all of
// `device`, decoded as UTF-16, UTF-8 or Windows-1252 (DecodeText), parsed
// into column 1 by `parse`. Refused, in words that complete "<path> ...",
// when it cannot be read ("could not be read (...)") or holds more than
// `limit` bytes ("is too large to read (Plivan reads <what> of up to N MB)").
OpenedWorkbook OpenWholeText(QIODevice &device, qint64 limit, const QString &what,
    const std::function<ReadColumn(const QString &text)> &parse);

// The line of `text` that starts at `pos`, without its end (CR LF, LF or
// CR); `pos` moves past the end. Empty at the end of the text.
inline QStringView NextLine(QStringView text, qsizetype &pos)
{
    const qsizetype start = pos;
    while (pos < text.size() && text[pos] != u'\n' && text[pos] != u'\r')
        ++pos;
    const QStringView line = text.sliced(start, pos - start);
    if (pos < text.size() && text[pos++] == u'\r' && pos < text.size() && text[pos] == u'\n')
        ++pos;
    return line;
}

} // namespace plivan
