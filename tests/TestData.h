#pragma once

// The test data folder, files read and written whole, and reading workbooks
// and the tables that say what they hold.

#include "Workbook.h"

#include <QFile>
#include <QStringList>
#include <QTest>

inline QString DataPath(const QString &relative)
{
    return QStringLiteral(PLIVAN_TEST_DATA "/") + relative;
}

// The file's bytes; nothing, with a warning that says why, when it cannot be read.
inline QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s: %s", qPrintable(path), qPrintable(file.errorString()));
        return {};
    }
    return file.readAll();
}

// Writes `content` as the whole of the file at `path`; false, with a warning
// that says why, when it could not.
inline bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
        && file.flush())
        return true;
    qWarning("cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

// Column 1 for rows 1 to `rows`, an empty cell as "<empty>", so that rows
// after an empty one show too.
inline QStringList Cells(plivan::Workbook &workbook, int rows)
{
    QStringList cells;
    for (int row = 1; row <= rows; ++row)
        cells << workbook.cellText(row).value_or(QStringLiteral("<empty>"));
    return cells;
}

// The rows of a table file in tests/data: tab-separated fields with tabs
// and line ends written \t, \r and \n, and \xHH for the character U+00HH
// (a byte, once the field is turned to Latin-1); lines starting with # are
// comments. A table that cannot be read, or holds no rows, fails the test
// whose rows it was to give.
inline QList<QStringList> TableRows(const QString &relative)
{
    QList<QStringList> rows;
    const QStringList lines
        = QString::fromUtf8(ReadFile(DataPath(relative))).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(u'#'))
            continue;
        QStringList fields = line.split(u'\t');
        for (QString &field : fields) {
            field.replace(QStringLiteral("\\t"), QStringLiteral("\t"))
                .replace(QStringLiteral("\\r"), QStringLiteral("\r"))
                .replace(QStringLiteral("\\n"), QStringLiteral("\n"));
            for (qsizetype at; (at = field.indexOf(QStringLiteral("\\x"))) >= 0;)
                field.replace(at, 4, QChar(field.mid(at + 2, 2).toUShort(nullptr, 16)));
        }
        rows.append(fields);
    }
    if (rows.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("no rows in tests/data/") + relative), __FILE__, __LINE__);
    return rows;
}
