#pragma once

// Shared by the readers in this folder, and by nothing outside it: the rest of
// Plivan reaches the readers through Workbook.h alone. The build defines
// PLIVAN_WORKBOOK_INTERNALS for this library (and for its own tests), so an
// include from anywhere else stops the build here.
#ifndef PLIVAN_WORKBOOK_INTERNALS
#error "This header belongs to the workbook readers; include Workbook.h instead."
#endif

#include "Workbook.h"

#include <QFileDevice>
#include <QIODevice>

#include <functional>
#include <map>
#include <memory>

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

// A workbook over a column read whole; the damage shows in error() once a
// row at or past damagedFrom is asked for.
std::unique_ptr<Workbook> ColumnWorkbook(ReadColumn column);

// All of `device` when it holds no more than `limit` bytes; otherwise the
// reason in words that complete "<path> ...": "could not be read (...)", or
// "is too large to read (Plivan reads <what> of up to N MB)".
QString ReadAllUpTo(QIODevice &device, qint64 limit, const QString &what, QByteArray &bytes);

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
