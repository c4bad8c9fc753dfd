// The workbook readers beyond what the roster fixtures say: the hand-made and
// damaged files of tests/data/xls, tests/data/zip and tests/data/text, text
// rosters, and the text a cell's value shows as.

#include "TestData.h"

#include "Sniffing.h"
#include "WorkbookData.h"
#include "common/CellValue.h"
#include "common/XmlStream.h"
#include "markup/HtmlReader.h"
#include "markup/XmlSpreadsheetReader.h"
#include "plaintext/CsvReader.h"
#include "plaintext/DifReader.h"
#include "plaintext/SylkReader.h"
#include "zip/OdsReader.h"
#include "zip/Package.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <climits>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using namespace plivan;

namespace {

const QString E = QStringLiteral("<empty>");

// The reader for `file`, over its bytes in memory.
OpenedWorkbook OpenData(const QByteArray &bytes, const QString &file)
{
    if (file.endsWith(u".csv"))
        return OpenCsvData(bytes);
    if (file.endsWith(u".slk"))
        return OpenSylkData(bytes);
    if (file.endsWith(u".dif"))
        return OpenDifData(bytes);
    if (IsBiffStream(bytes.left(8)))
        return OpenBiffData(bytes);
    if (SniffXml(bytes) == XmlKind::OpenDocument)
        return OpenFlatOdsData(bytes);
    if (file.endsWith(u".xml") || SniffXml(bytes) == XmlKind::Spreadsheet)
        return OpenXmlSpreadsheetData(bytes);
    if (file.endsWith(u".html") || file.endsWith(u".htm") || LooksLikeHtml(bytes))
        return OpenHtmlData(bytes);
    return bytes.startsWith("PK") ? OpenZipWorkbookData(bytes) : OpenXlsData(bytes);
}

// `content` written to a file named `name` in `dir`, opened as a roster is.
OpenedWorkbook OpenWritten(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    if (!WriteFile(dir.filePath(name), content))
        return { nullptr, QStringLiteral("could not be written") };
    return OpenWorkbook(dir.filePath(name));
}

// Text: row r is the first field of record r, fields split at `separator`.
struct CsvRow {
    const char *name;
    QByteArray data;
    QStringList cells;
    bool damaged;
    char separator = ',';
};

// Bytes whose reads fail where they start in [from, to), as a disk that
// cannot read part of a file.
class FailingDevice final : public QBuffer {
public:
    FailingDevice(const QByteArray &bytes, qint64 from, qint64 to)
        : m_from(from)
        , m_to(to)
    {
        setData(bytes);
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (pos() >= m_from && pos() < m_to) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        return QBuffer::readData(data, maxSize);
    }

private:
    qint64 m_from, m_to;
};

} // namespace

Q_DECLARE_METATYPE(CsvRow)

class TestReaders : public QObject {
    Q_OBJECT

private slots:
    // tests/data/cells.tsv and text/cells.tsv: each file, through the reader
    // its content calls for, from the file and from its bytes in memory.
    void cells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("cells");
        for (const QString table : { "cells.tsv", "text/cells.tsv" }) {
            for (const QStringList &row : TableRows(table))
                QTest::newRow(qPrintable(row.at(0)))
                    << row.at(0) << (row.at(1) == u"-" ? QString() : row.at(1)) << row.mid(2);
        }
    }
    void cells()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        QFETCH(QStringList, cells);
#ifdef Q_OS_WIN
        // Wine lacks the GB18030 code page (54936) that Windows has.
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (file.contains(u"gb18030") && ntdll && GetProcAddress(ntdll, "wine_get_version"))
            QSKIP("Wine has no GB18030 code page: the page is read as GBK, which lacks its four-byte "
                  "characters");
#endif
        OpenedWorkbook opened = OpenWorkbook(DataPath(file));
        if (cells.isEmpty()) {
            QVERIFY(!opened.workbook);
            QCOMPARE(opened.error, error);
            return;
        }
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(Cells(*opened.workbook, int(cells.size())), cells);
        QCOMPARE(opened.workbook->error(), error);
        OpenedWorkbook fromMemory = OpenData(ReadFile(DataPath(file)), file);
        QVERIFY(fromMemory.workbook);
        QCOMPARE(Cells(*fromMemory.workbook, int(cells.size())), cells);
    }

    // A workbook whose file cannot be read, all of it or only a part
    // (bytes 1566 to 2804 of LibreOffice's basic .xlsx are its sheet): the
    // system's reason, never damage.
    void readFails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow(".xlsx, whole file") << "basic.lo.xlsx" << qint64(0) << qint64(INT_MAX);
        QTest::newRow(".xlsx, sheet") << "basic.lo.xlsx" << qint64(1566) << qint64(2804);
        QTest::newRow("XML spreadsheet, whole file") << "basic.lo.xml" << qint64(0) << qint64(INT_MAX);
        QTest::newRow(".fods, whole file") << "basic.lo.fods" << qint64(0) << qint64(INT_MAX);
    }
    void readFails()
    {
        QFETCH(QString, file);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        const QByteArray bytes = ReadFile(DataPath(QStringLiteral("rosters/") + file));
        QVERIFY(bytes.size() == (file.endsWith(u".xlsx") ? 5273 : bytes.size()));
        auto device = std::make_unique<FailingDevice>(bytes, from, to);
        OpenedWorkbook opened = file.endsWith(u".xlsx") ? OpenZipWorkbookDevice(std::move(device))
            : file.endsWith(u".xml")                    ? OpenXmlSpreadsheet(std::move(device))
                                                        : OpenFlatOds(std::move(device));
        const QString error
            = opened.workbook ? (opened.workbook->cellText(1), opened.workbook->error()) : opened.error;
        QCOMPARE(error, QStringLiteral("could not be read (Input/output error)"));
    }

    // A pipe or a device read as a roster would block the window for ever.
    void notAFile()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("roster.csv"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &path : { fifo, QStringLiteral("/dev/null") })
            QCOMPARE(
                OpenWorkbook(path).error, QStringLiteral("is not a file but a device, a pipe or a socket"));
#else
        QSKIP("Windows has no pipes or devices among its files");
#endif
    }

    // OpenWorkbook: the reader chosen by content whatever the name, text
    // split by the name, and what is refused (tests/data/dispatch.tsv, and
    // the cases made from fixtures or too large to write there).

    void dispatch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("first"); // row 1 of column 1 (else the reading error), or the error
        for (const QStringList &row : TableRows(QStringLiteral("dispatch.tsv")))
            QTest::newRow(qPrintable(row.at(0))) << row.at(1) << row.at(2).toLatin1() << row.at(3);
        QTest::newRow("XML spreadsheet named .txt")
            << "r.txt" << ReadFile(DataPath(QStringLiteral("text/xmlss-web.hand.xls")))
            << QStringLiteral(u"José Álvarez");
        // SYLK and DIF files are read whole: as large as the limit, and one byte more.
        const auto padded
            = [](const QByteArray &text, qint64 size) { return text + QByteArray(size - text.size(), ' '); };
        const QByteArray sylk = "ID;P\nC;Y1;X1;K\"Ann\"\nE\n",
                         dif = "TABLE\n0,1\n\"\"\nDATA\n0,0\n\"\"\n-1,0\nBOT\n1,0\n\"Ann\"\n-1,0\nEOD\n";
        QTest::newRow("SYLK at the size limit") << "r.slk" << padded(sylk, MaxSylkBytes) << "Ann";
        QTest::newRow("SYLK too large") << "r.slk" << padded(sylk, MaxSylkBytes + 1)
                                        << "is too large to read (Plivan reads SYLK files of up to 16 MB)";
        QTest::newRow("DIF at the size limit") << "r.dif" << padded(dif, MaxDifBytes) << "Ann";
        QTest::newRow("DIF too large") << "r.dif" << padded(dif, MaxDifBytes + 1)
                                       << "is too large to read (Plivan reads DIF files of up to 16 MB)";
        QTest::newRow("OpenDocument content part named .xls")
            << "r.xls" << ReadFile(DataPath("rosters/basic.lo-content.xml")) << "Ana Lima";
        QTest::newRow("flat OpenDocument as UTF-16")
            << "r.fods"
            << QByteArray(QStringEncoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom)(
                   QString::fromUtf8(ReadFile(DataPath("rosters/basic.lo.fods")))))
            << "Ana Lima";
        QTest::newRow("ZIP archive cut short")
            << "r.xlsx" << ReadFile(DataPath("rosters/basic.lo.xlsx")).chopped(100)
            << "is damaged (it is not a complete ZIP archive)";
        // An Excel 3.0 sheet of a few records: the BOF, records, EOF.
        const QByteArray bof3 = QByteArrayLiteral("\x09\x02\x06\0\0\0\x10\0\0\0"),
                         eof = QByteArrayLiteral("\x0A\0\0\0");
        // Records are counted over a workbook's life (4,000,000 at most): a
        // name that is the last record read, and one record more.
        const auto records = [&](int before) {
            return bof3 + QByteArray(4 * before, '\0')
                + QByteArrayLiteral("\x04\x02\x0B\0\0\0\0\0\0\0\x03\0Ann") + eof;
        };
        QTest::newRow("Excel 3.0 sheet read to the record limit") << "r.xls" << records(3'999'996) << "Ann";
        QTest::newRow("Excel 3.0 sheet past the record limit")
            << "r.xls" << records(3'999'997) << "is damaged (it has too many records)";
        QTest::newRow("CSV line too long")
            << "r.csv"
            << "a," + QByteArray(MaxCsvRecordBytes, 'x') << "is damaged (line 1 is too long)";
        QTest::newRow("Excel 4.0 workbook without its last EOF")
            << "r.xls"
            << ReadFile(DataPath(QStringLiteral("rosters/three-sheets.script.biff4w.xls"))).chopped(4)
            << "Second Sheet 1";
        // Fixtures altered: `bytes` written `offset` bytes after the first `mark`.
        const auto altered
            = [](const char *file, const QByteArray &mark, int offset, const QByteArray &bytes) {
                  QByteArray data = ReadFile(DataPath(QLatin1String(file)));
                  const qsizetype at = data.indexOf(mark);
                  return at < 0 ? QByteArray() : data.replace(at + offset, bytes.size(), bytes);
              };
        const QByteArray workbookEntry = QByteArrayLiteral("W\0o\0r\0k\0b\0o\0o\0k\0");
        QTest::newRow("sheet list naming a module")
            << "r.xls" << altered("xls/kinds.xlwt.xls", QByteArrayLiteral("\x05\0Kinds"), -1, "\x06")
            << NotAListReason(QStringLiteral("a Visual Basic module"));
        QTest::newRow("a shared string past the table's end")
            << "r.xls"
            << altered("rosters/basic.xlwt.xls", QByteArrayLiteral("\xFD\0\x0A\0\0\0\0\0"), 10,
                   QByteArrayLiteral("\xFF\xFF\0\0"))
            << "is damaged (a shared string is missing)";
        QTest::newRow("globals beginning as a worksheet")
            << "r.xls"
            << altered("rosters/basic.xlwt.xls", QByteArrayLiteral("\x09\x08\x10\0\0\x06\x05\0"), 6, "\x10")
            << "is damaged (the workbook part does not begin with its sheet list)";
        QTest::newRow("compound file of the wrong byte order")
            << "r.xls"
            << altered("rosters/basic.xlwt.xls", QByteArrayLiteral("\xD0\xCF\x11\xE0"), 28, "\xFF\xFE")
            << "is damaged (its header is not valid)";
        QTest::newRow("Excel 95 number format longer than its record")
            << "r.xls"
            << altered(
                   "rosters/dates.gnumeric95.xls", QByteArrayLiteral("\x1E\x04\x0D\0\x32\0\x0A"), 6, "\xFF")
            << "Ann Lee";
        QTest::newRow("parts linked in a loop")
            << "r.xls"
            << altered("xls/layout-difat.script.xls", workbookEntry, 68, QByteArrayLiteral("\x02\0\0\0"))
            << "is damaged (its parts are linked in a loop)";
        QTest::newRow("part size with junk above 32 bits in version 3")
            << "r.xls" << altered("rosters/basic.xlwt.xls", workbookEntry, 124, "\x01") << "Ana Lima";
        QTest::newRow("CryptoAPI naming no hash")
            << "r.xls"
            << altered("rosters/basic.script-velvet-cryptoapi.xls", QByteArrayLiteral("\x01\x68\0\0\x04\x80"),
                   4, QByteArrayLiteral("\0\0"))
            << "Ana Lima";
        QTest::newRow("CryptoAPI of version 4.3")
            << "r.xls"
            << altered("rosters/basic.script-velvet-cryptoapi.xls",
                   QByteArrayLiteral("\x2F\0\xC8\0\x01\0\x04\0\x02"), 8, "\x03")
            << "is protected by a password";
        QTest::newRow("Standard encryption 4.2")
            << "r.xlsx"
            << altered("rosters/basic.lo-velvet.xlsx", QByteArrayLiteral("\x03\0\x02\0\x24\0"), 0, "\x04")
            << "Ana Lima";
        QTest::newRow("Agile encryption's data in another mode")
            << "r.xlsx" << altered("rosters/basic.script-velvet-agile.xlsx", "ChainingModeCBC", 12, "CFB")
            << "is protected by a password";
        // A locked package may hold 128 MB: this one says it does and is cut
        // short; one byte more is refused before reading.
        const QByteArray size200 = QByteArrayLiteral("\0\0\x80\x0C\0\0\0\0");
        QTest::newRow("encrypted package at the size limit")
            << "r.xlsx"
            << altered("xls/locked-too-large.script.xlsx", size200, 0, QByteArrayLiteral("\0\0\0\x08"))
            << "is damaged (its locked package is cut short)";
        QTest::newRow("encrypted package one byte too large")
            << "r.xlsx"
            << altered("xls/locked-too-large.script.xlsx", size200, 0, QByteArrayLiteral("\x01\0\0\x08"))
            << "is too large to open (a locked workbook of more than 128 MB)";
        QTest::newRow("encrypted package of no bytes")
            << "r.xlsx"
            << altered("rosters/basic.script-velvet-agile.xlsx",
                   QByteArrayLiteral("d\0P\0a\0c\0k\0a\0g\0e\0"), 120 - 16, QByteArray(8, '\0'))
            << "is damaged (its locked package is cut short)";
        QTest::newRow("encrypted package without its details")
            << "r.xlsx"
            << altered("xls/locked-cut-short.script.xlsx", QByteArrayLiteral("I\0n\0f\0o\0"), 6, "x")
            << "is protected by a password";
    }
    void dispatch()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, first);
        QTemporaryDir dir;
        OpenedWorkbook opened = OpenWritten(dir, name, content);
        if (opened.workbook) { // the cell, or the error reading it when it shows nothing
            opened.error = opened.workbook->cellText(1).value_or(E);
            if (opened.error == E && !opened.workbook->error().isEmpty())
                opened.error = opened.workbook->error();
        }
        QCOMPARE(opened.error, first);
    }

    // SYLK and DIF beyond what LibreOffice and Gnumeric write
    // (tests/data/sheets.tsv): cells in any order, pictures, escapes, and
    // damage from the row where it is met.
    void textSpreadsheets_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("error");
        for (const QStringList &row : TableRows(QStringLiteral("sheets.tsv")))
            QTest::newRow(qPrintable(row.at(0)))
                << row.at(1).toLatin1() << row.mid(3) << (row.at(2) == u"-" ? QString() : row.at(2));
    }
    void textSpreadsheets()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, cells);
        QFETCH(QString, error);
        QTemporaryDir dir;
        OpenedWorkbook opened = OpenWritten(dir, QStringLiteral("r.csv"), content);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(Cells(*opened.workbook, int(cells.size())), cells);
        QCOMPARE(opened.workbook->error(), error);
    }

    // Files whose parts turn to rubbish after their first names: the names
    // asked for read without complaint, and the damage shows only when
    // reading reaches it, from that row on.
    void readsNoFurtherThanAsked()
    {
        const QString ends = QStringLiteral("is damaged (the workbook ends early)"),
                      damage = QStringLiteral("is damaged (");
        const struct {
            const char *file;
            int digits, clean, damaged;
            QString error;
        } files[] = { { "xls/tail-garbled.xlwt.xls", 5, 39, 40, ends },
            { "xls/truncated-stream.xlwt.xls", 5, 39, 40, ends },
            { "zip/broken-tail.xlsx", 6, 1000, 5000, damage },
            { "zip/broken-tail.ods", 6, 1000, 5000, damage }, { "zip/bad-deflate.xlsx", 4, 30, 1000, damage },
            { "zip/broken-tail.xlsb", 6, 1000, 5000, damage },
            { "text/xmlss-broken-tail.hand.xml", 4, 100, 1000, damage },
            { "text/html-deep-tail.hand.html", 4, 30, 401, damage } };
        for (const auto &[file, digits, clean, damaged, error] : files) {
            OpenedWorkbook opened = OpenWorkbook(DataPath(QLatin1String(file)));
            QVERIFY2(opened.workbook, file);
            for (int row = 1; row <= clean; ++row) {
                const QString prefix = QStringLiteral("Student %1").arg(row, digits, 10, QLatin1Char('0'));
                QVERIFY2(opened.workbook->cellText(row).value_or(E).startsWith(prefix), qPrintable(prefix));
                QCOMPARE(opened.workbook->error(), QString());
            }
            QCOMPARE(opened.workbook->cellText(damaged), std::nullopt);
            QVERIFY2(opened.workbook->error().startsWith(error), qPrintable(opened.workbook->error()));
            QCOMPARE(opened.workbook->cellText(damaged + 1), std::nullopt);
        }
    }

    // A row far down a table of repeated rows is found by counting.
    void farRowsOfRepeats()
    {
        OpenedWorkbook opened = OpenWorkbook(DataPath("zip/repeats.ods"));
        QVERIFY(opened.workbook);
        QCOMPARE(opened.workbook->cellText(5), QStringLiteral("Wide"));
        QCOMPARE(opened.workbook->cellText(1048571), std::nullopt);
        QCOMPARE(opened.workbook->cellText(1048572), QStringLiteral("Far away"));
        QCOMPARE(opened.workbook->cellText(1048573), std::nullopt);
        QCOMPARE(opened.workbook->cellText(INT_MAX), std::nullopt);
        QCOMPARE(opened.workbook->error(), QString());
    }

    // Cut short or with bytes changed anywhere, a file is refused or read up
    // to the damage, with a reason; never a crash or a hang.
    void damagedCopies()
    {
        const QStringList files { "xls/kinds.xlwt.xls", "xls/kinds.lo.xls", "xls/kinds.gnumeric95.xls",
            "xls/sst-continue.lo.xls", "rosters/rich-text.gnumeric95.xls", "rosters/formulas.gnumeric.xls",
            "zip/values.xlsx", "zip/text-forms.ods", "zip/repeats.ods", "zip/no-references.xlsx",
            "rosters/unicode.lo.xlsx", "rosters/dates.gnumeric.ods", "rosters/formulas.lo.xlsx",
            "zip/values.xlsb", "rosters/three-sheets.script.xlsb", "rosters/csv-quoted.hand.csv",
            "rosters/values.script.biff2.xls", "rosters/formulas.script.biff3.xls",
            "rosters/three-sheets.script.biff4w.xls", "text/xmlss-types.hand.xml", "text/html-text.hand.html",
            "rosters/dates.gnumeric.slk", "rosters/values.gnumeric.dif", "rosters/three-sheets.script.fods" };
        QRandomGenerator random(20240902);
        for (const QString &file : files) {
            const QByteArray whole = ReadFile(DataPath(file));
            QVERIFY(!whole.isEmpty());
            for (int round = 0; round < 120; ++round) {
                QByteArray data = whole.left(round < 40 ? whole.size() * round / 40 : whole.size());
                for (int i = round < 40 ? 0 : 1 + int(random.bounded(8)); i > 0; --i)
                    data[random.bounded(int(data.size()))] = char(random.bounded(256));
                OpenedWorkbook opened = OpenData(data, file);
                if (!opened.workbook) {
                    QVERIFY2(!opened.error.isEmpty(), qPrintable(file));
                    continue;
                }
                Cells(*opened.workbook, 60);
                const QString error = opened.workbook->error();
                QVERIFY2(
                    error.isEmpty() || error.startsWith(u"is damaged (") || error.startsWith(u"is protected"),
                    qPrintable(error));
            }
        }
    }

    void csv_data()
    {
        const QByteArray big(MaxCellChars + 1, 'y');
        QByteArray blocks;
        QStringList names;
        for (int i = 0; i < 10; ++i) {
            blocks += "Name \xC3\xAB" + QByteArray::number(i) + "," + QByteArray(40000, 'x') + "\r\n";
            names << QStringLiteral(u"Name ë%1").arg(i);
        }
        // UTF-16 read in blocks of 32,768 code units: a surrogate pair across
        // the first block's end, a CR LF across the second's.
        const QString wide = QString(32761, u'x') + QStringLiteral(u"𠮷");
        const QString utf16 = QStringLiteral(u"\uFEFFAnn\r\n") + wide + QStringLiteral("\r\nCy,")
            + QString(32761, u'y') + QStringLiteral("\r\nDi\r\n");
        QStringEncoder toUtf16(QStringEncoder::Utf16LE);
        const CsvRow rows[] = {
            { "field just at the limit", QByteArray(MaxCellChars, 'n') + "\nBob\n",
                QStringList { QString(MaxCellChars, u'n'), "Bob" }, false },
            // Three bytes of UTF-8 a character: as many characters, in more bytes.
            { "UTF-8 field just at the limit",
                QByteArray(MaxCellChars, 'n').replace("n", "\xE2\x82\xAC") + "\nBob\n",
                QStringList { QString(MaxCellChars, u'€'), "Bob" }, false },
            { "field over the limit", "Ann\n" + big + "\nCy\n", QStringList { "Ann", E, E }, true },
            { "UTF-8 field over the limit", "Ann\n" + QByteArray(big).replace("y", "\xE2\x82\xAC") + "\nCy\n",
                QStringList { "Ann", E, E }, true },
            { "quoted field over the limit", "Ann\n\"" + big + "\"\nCy\n", QStringList { "Ann", E, E },
                true },
            { "record just at the limit", "Ann\nBob," + QByteArray(MaxCsvRecordBytes - 4, 'y') + "\nCy\n",
                QStringList { "Ann", "Bob", "Cy" }, false },
            { "quoted record just at the limit",
                "Ann\nBob,\"" + QByteArray(MaxCsvRecordBytes - 5, 'y') + "\"\nCy\n",
                QStringList { "Ann", "Bob", "Cy" }, false },
            { "record over the limit", "Ann\nBob," + QByteArray(MaxCsvRecordBytes, 'y') + "\nCy\n",
                QStringList { "Ann", E, E }, true },
            { "open quote over the limit", "Ann\nBob,\"" + QByteArray(MaxCsvRecordBytes + 10, 'y'),
                QStringList { "Ann", E, E }, true },
            { "records across blocks", blocks, names << E, false },
            // The first block, 64 KiB, ends inside the second ë.
            { "UTF-8 character across the first block's end",
                "Zo\xC3\xAB\na," + QByteArray(65527, 'x') + "\n\xC3\xAB\n",
                QStringList { QStringLiteral(u"Zoë"), "a", QStringLiteral(u"ë") }, false },
            // The first block ends with the first byte of a UTF-8 sequence that
            // the next byte breaks: the text is Windows-1252.
            { "Windows-1252 letter ending the first block",
                "Ann\na," + QByteArray(65528, 'x') + "\n\xE9\nJos\xE9\n",
                QStringList { "Ann", "a", QStringLiteral(u"é"), QStringLiteral(u"José") }, false },
            { "UTF-16 across blocks", toUtf16(utf16), QStringList { "Ann", wide, "Cy", "Di", E }, false },
        };
        QTest::addColumn<CsvRow>("row");
        for (const CsvRow &row : rows)
            QTest::newRow(row.name) << row;
        for (const QStringList &row : TableRows(QStringLiteral("csv.tsv")))
            QTest::newRow(qPrintable(row.at(0))) << CsvRow { "", row.at(1).toLatin1(), row.mid(3),
                row.at(2).endsWith(u" damaged"), row.at(2).startsWith(u"tab") ? '\t' : ',' };
    }
    void csv()
    {
        QFETCH(CsvRow, row);
        OpenedWorkbook opened = OpenCsvData(row.data, row.separator);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(Cells(*opened.workbook, int(row.cells.size())), row.cells);
        QCOMPARE(opened.workbook->error().startsWith(u"is damaged ("), row.damaged);
    }

    // A damaged end is not reached when only the first rows are asked for;
    // an earlier row asked for afterwards is still there. A web page is parsed
    // no further than its first MaxHtmlParseBytes, and no further than the
    // rows asked for.
    void textReadsNoFurtherThanAsked()
    {
        QByteArray data;
        for (int i = 0; i < 100000; ++i)
            data += "Name " + QByteArray::number(i) + "\n";
        QStringEncoder toUtf16(QStringEncoder::Utf16BE);
        const QByteArray utf16 = "\xFE\xFF" + QByteArray(toUtf16(QString::fromLatin1(data)));
        for (const QByteArray &text : { data, utf16 }) {
            OpenedWorkbook opened = OpenCsvData(text + "\"never closed");
            QCOMPARE(opened.workbook->cellText(30), QStringLiteral("Name 29"));
            QCOMPARE(opened.workbook->cellText(2), QStringLiteral("Name 1")); // read again from the start
            QCOMPARE(opened.workbook->error(), QString());
        }
        OpenedWorkbook opened = OpenWorkbook(DataPath(QStringLiteral("text/xmlss-broken-tail.hand.xml")));
        QCOMPARE(opened.workbook->cellText(30), QStringLiteral("Student 0030"));
        QCOMPARE(opened.workbook->cellText(2), QStringLiteral("Student 0002"));
        QCOMPARE(opened.workbook->error(), QString());

        // The page is as long as the limit, then one byte longer; its last
        // row ends with the page.
        const QByteArray starts = "<html><body><p>Ann Lee</p><!--", ends = "--><p>Bob Stone";
        const QByteArray page
            = starts + QByteArray(MaxHtmlParseBytes - starts.size() - ends.size(), 'x') + ends;
        opened = OpenHtmlData(page);
        QCOMPARE(opened.workbook->cellText(2), QStringLiteral("Bob Stone"));
        QCOMPARE(opened.workbook->error(), QString());
        opened = OpenHtmlData(QByteArray(page).insert(starts.size(), 'x'));
        QCOMPARE(opened.workbook->cellText(1), QStringLiteral("Ann Lee"));
        QCOMPARE(opened.workbook->error(), QString());
        QCOMPARE(opened.workbook->cellText(2), std::nullopt);
        QCOMPARE(opened.workbook->error(),
            QStringLiteral("is a web page too large to read (Plivan reads its first 8 MB)"));
    }

    // XML spreadsheets that break the reader's bounds or the format's rules:
    // the message once the first rows are read.
    void xmlSpreadsheetDamaged_data()
    {
        QTest::addColumn<QByteArray>("worksheets");
        QTest::addColumn<QString>("error");
        const QByteArray row = "<Row><Cell><Data ss:Type=\"String\">Ann</Data></Cell></Row>";
        QTest::newRow("no worksheet") << QByteArray() << "is damaged (it holds no worksheet)";
        QTest::newRow("a worksheet without a table") << QByteArray("<Worksheet/>") << QString();
        QTest::newRow("rows out of order")
            << "<Worksheet><Table>" + row + "<Row ss:Index=\"1\"/></Table></Worksheet>"
            << "is damaged (a row is numbered before the rows above it)";
        QTest::newRow("a cell too long") << "<Worksheet><Table>"
                + QByteArray(row).replace("Ann", QByteArray(MaxCellChars + 1, 'x'))
                + "</Table></Worksheet>" << CellTooLongReason;
        QTest::newRow("a cell as long as the limit") << "<Worksheet><Table>"
                + QByteArray(row).replace("Ann", QByteArray(MaxCellChars, 'x'))
                + "</Table></Worksheet>" << QString();
        // Workbook, Worksheet, Table, Row and Cell hold the elements inside the cell.
        const auto nested = [](int depth) {
            return "<Worksheet><Table><Row><Cell>" + QByteArray("<x>").repeated(depth - 5)
                + QByteArray("</x>").repeated(depth - 5) + "</Cell></Row></Table></Worksheet>";
        };
        QTest::newRow("nested as deeply as the limit") << nested(XmlStream::MaxDepth) << QString();
        QTest::newRow("nested too deeply")
            << nested(XmlStream::MaxDepth + 1) << "is damaged (its XML is nested too deeply)";
        QTest::newRow("an attribute too long") << "<Worksheet><Table>" + row + "<Row x=\""
                + QByteArray(XmlStream::MaxTokenBytes + (1 << 20), 'x') + "\"/></Table></Worksheet>"
                                               << "is damaged (its XML holds an overlong piece of text)";
    }
    void xmlSpreadsheetDamaged()
    {
        QFETCH(QByteArray, worksheets);
        QFETCH(QString, error);
        OpenedWorkbook opened
            = OpenXmlSpreadsheetData("<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
                                     "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">"
                + worksheets + "</Workbook>");
        if (opened.workbook) {
            Cells(*opened.workbook, 3);
            opened.error = opened.workbook->error();
        }
        QCOMPARE(opened.error, error);
    }

    // No cell holds more than MaxCellChars characters, in any format: a cell
    // as long as that reads whole, and one a character longer is damage from
    // its row on.
    void cellLengthLimit_data()
    {
        QTest::addColumn<QString>("name"); // which also says where text splits
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qsizetype>("length"); // of row 2; 0 where it is damage
        const QByteArray ods
            = "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:"
              "office:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
              "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
              "<office:spreadsheet><table:table>%1</table:table></office:spreadsheet>"
              "</office:body></office:document-content>";
        for (const qsizetype n : { MaxCellChars, MaxCellChars + 1 }) {
            const QByteArray x(n, 'x');
            const qsizetype length = n > MaxCellChars ? 0 : n;
            const char *at = n > MaxCellChars ? "one over the limit" : "at the limit";
            QTest::addRow("CSV, %s", at) << "r.csv"
                                         << "Ann Lee\n" + x + "\nBob\n"
                                         << length;
            QTest::addRow("web page, %s", at)
                << "r.html"
                << "<table><tr><td>Ann Lee<tr><td>" + x + "<tr><td>Bob</table>" << length;
            QTest::addRow("SYLK, %s", at)
                << "r.slk"
                << "ID;P\nC;Y1;X1;K\"Ann Lee\"\nC;Y2;X1;K\"" + x + "\"\nC;Y3;X1;K1\nE\n"
                << length;
            QTest::addRow("DIF, %s", at)
                << "r.dif"
                << "TABLE\n0,1\n\"\"\nDATA\n0,0\n\"\"\n-1,0\nBOT\n1,0\n\"Ann Lee\"\n-1,0\nBOT\n1,0\n\"" + x
                    + "\"\n-1,0\nBOT\n1,0\n\"Bob\"\n-1,0\nEOD\n"
                << length;
            const QByteArray row = "<table:table-row><table:table-cell><text:p>%1</text:p></table:table-cell>"
                                   "</table:table-row>";
            QTest::addRow("OpenDocument content, %s", at)
                << "r.xml"
                << QByteArray(ods).replace(
                       "%1", QByteArray(row).replace("%1", "Ann Lee") + QByteArray(row).replace("%1", x))
                << length;
            QTest::addRow("OpenDocument spaces, %s", at)
                << "r.xml"
                << QByteArray(ods).replace("%1",
                       QByteArray(row).replace("%1", "Ann Lee")
                           + QByteArray(row).replace(
                               "%1", "<text:s text:c=\"" + QByteArray::number(n) + "\"/>"))
                << length;
        }
        // Files of the programs that write each format (zip/make_long_cells.py).
        for (const char *file : { "zip/long-shared-limit.lo.xlsx", "zip/long-inline-limit.openpyxl.xlsx",
                 "zip/long-sst-limit.script.xlsb", "zip/long-cell-limit.lo.ods",
                 "zip/long-cell-limit.lo.xls" })
            QTest::newRow(file) << QString(file).section(u'/', 1) << ReadFile(DataPath(QLatin1String(file)))
                                << MaxCellChars;
        for (const char *file : { "zip/long-shared.script.xlsx", "zip/long-inline.script.xlsx",
                 "zip/long-sst.script.xlsb", "zip/long-cell.lo.ods" })
            QTest::newRow(file) << QString(file).section(u'/', 1) << ReadFile(DataPath(QLatin1String(file)))
                                << qsizetype(0);
        // The shared string's count of characters in the .xls made one more.
        QByteArray xls = ReadFile(DataPath(QStringLiteral("zip/long-cell-limit.lo.xls")));
        const qsizetype count = xls.indexOf(QByteArray("\xFF\x7F\0xxxx", 7));
        QTest::newRow("BIFF8 shared string one over the limit")
            << "r.xls" << (count < 0 ? QByteArray() : xls.replace(count, 2, QByteArray("\0\x80", 2)))
            << qsizetype(0);
    }
    void cellLengthLimit()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(qsizetype, length);
        QTemporaryDir dir;
        OpenedWorkbook opened = OpenWritten(dir, name, content);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(opened.workbook->cellText(1), QStringLiteral("Ann Lee"));
        QCOMPARE(opened.workbook->cellText(2).value_or(QString()).size(), length);
        QCOMPARE(opened.workbook->error(), length ? QString() : CellTooLongReason);
    }

    // A web page's cell as LibreOffice lists its text: white space collapsed
    // but a trailing space kept, paragraphs and <br> as line breaks, those at
    // the ends dropped, an image's text only in a cell without text, American
    // English numbers, and LibreOffice's own value attributes.
    void htmlCellText_data()
    {
        QTest::addColumn<QByteArray>("cell");
        QTest::addColumn<QString>("text");
        QTest::newRow("white space") << QByteArray("\n  Ann \t Lee\n ") << "Ann Lee ";
        QTest::newRow("no-break spaces") << QByteArray("&nbsp;Ann &nbsp; Lee&nbsp;") << " Ann  Lee ";
        QTest::newRow("line breaks") << QByteArray("<br>Ann <br> <br>Lee<br><br>") << "Ann \n\nLee";
        QTest::newRow("paragraphs") << QByteArray("Ann <p>Lee</p> <p></p><li>Cy</li>") << "Ann \nLee\nCy";
        QTest::newRow("a rule") << QByteArray("Ann<hr>Lee") << "Ann\n\nLee";
        QTest::newRow("inline elements")
            << QByteArray("<div>A</div><span>nn</span> <b> Lee</b>") << "Ann Lee";
        QTest::newRow("preformatted") << QByteArray("<pre>Ann\n  Lee</pre>") << "Ann\n  Lee";
        QTest::newRow("text left out") << QByteArray("<script>x</script><textarea>y</textarea>Ann") << "Ann";
        QTest::newRow("an image alone") << QByteArray("<img alt=\"Ann Lee\">") << "Ann Lee";
        QTest::newRow("an image and text") << QByteArray("<img alt=\"Photo\"> Ann") << "Ann";
        QTest::newRow("a number") << QByteArray(" 1,234.5e1 ") << "12345";
        QTest::newRow("not a number") << QByteArray("1,23") << "1,23";
        QTest::newRow("too small a number") << QByteArray("4e-320") << "4e-320";
        QTest::newRow("a formula as text") << QByteArray("=1+1") << "=1+1";
        QTest::newRow("sdval date") << QByteArray("<td sdval=\"45537\" sdnum=\"1033;1033;DD/MM/YYYY\">x")
                                    << "2024-09-02";
        // LibreOffice's own serials, from 1899-12-30 with no false leap day.
        for (const auto &[serial, date] : { std::pair { "1", "1899-12-31" }, { "2", "1900-01-01" },
                 { "60", "1900-02-28" }, { "60.5", "1900-02-28 12:00:00" }, { "61", "1900-03-01" } })
            QTest::addRow("sdval %s", serial)
                << QByteArray("<td sdval=\"") + serial + "\" sdnum=\"1033;1033;YYYY-MM-DD HH:MM:SS\">x"
                << date;
        QTest::newRow("sdnum text") << QByteArray("<td sdnum=\"1033;0;@\">007") << "007";
        QTest::newRow("sdval time") << QByteArray("<td sdval=\"0.25\" sdnum=\"1033;1033;HH:MM:SS\">x")
                                    << "06:00:00";
        QTest::newRow("sdval number")
            << QByteArray("<td sdval=\"45537.5\" sdnum=\"1033;1033;0.00\">x") << "45537.5";
        QTest::newRow("sdval Boolean") << QByteArray("<td sdval=\"1\" sdnum=\"1033;0;BOOLEAN\">x") << "TRUE";
        QTest::newRow("sdval not a number")
            << QByteArray("<td sdval=\"n/a\" sdnum=\"1033;0;BOOLEAN\">Ann") << "Ann";
    }
    void htmlCellText()
    {
        QFETCH(QByteArray, cell);
        QFETCH(QString, text);
        const QByteArray td = cell.startsWith("<td") ? QByteArray() : QByteArray("<td>");
        OpenedWorkbook opened = OpenHtmlData("<table><tr>" + td + cell + "</td></tr></table>");
        QCOMPARE(opened.workbook->cellText(1).value_or(E), text);
    }

    // A web page that the parser nests deeper than MaxHtmlNesting is refused
    // there; pages as deep as real ones, and long flat ones, are read to the
    // end. The parser closes a paragraph's bold but not its font at the next
    // paragraph.
    void htmlNesting_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("refused");
        QTest::newRow("nested divs") << QByteArray() << QByteArray("<div>") << 600 << true;
        // html, body, the divs and the last paragraph inside them.
        QTest::newRow("divs nested as deeply as the limit")
            << QByteArray() << QByteArray("<div>") << MaxHtmlNesting - 3 << false;
        QTest::newRow("divs nested one deeper")
            << QByteArray() << QByteArray("<div>") << MaxHtmlNesting - 2 << true;
        QTest::newRow("nested tables") << QByteArray() << QByteArray("<table><tr><td>") << 600 << true;
        QTest::newRow("bold left open in each paragraph")
            << QByteArray() << QByteArray("<p><b id=%1> ") << 5000 << false;
        QTest::newRow("closed divs") << QByteArray() << QByteArray("<div>Ann</div>") << 5000 << false;
        QTest::newRow("list items left open") << QByteArray("<ul>") << QByteArray("<li>Ann") << 5000 << false;
        QTest::newRow("cells and rows left open")
            << QByteArray("<table>") << QByteArray("<tr><td>Ann<td>7") << 5000 << false;
        QTest::newRow("a font left open in each paragraph")
            << QByteArray() << QByteArray("<p><font face=x>Ann") << 200 << false;
        QTest::newRow("shapes closed by />")
            << QByteArray("<svg>") << QByteArray("<path d=\"M0\"/>") << 5000 << false;
        QTest::newRow("tags in a script")
            << QByteArray("<script>") << QByteArray("'<div>'+") << 5000 << false;
    }
    void htmlNesting()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, unit);
        QFETCH(int, times);
        QFETCH(bool, refused);
        QByteArray page = "<html><body>" + before;
        for (int i = 0; i < times; ++i)
            page += QByteArray(unit).replace("%1", QByteArray::number(i));
        OpenedWorkbook opened = OpenHtmlData(page + "</script></svg></ul></table><p>Last</p>");
        if (opened.workbook) {
            opened.workbook->cellText(times + 2); // beyond every row: the whole page is parsed
            opened.error = opened.workbook->error();
        }
        QCOMPARE(opened.error,
            refused ? QStringLiteral("is damaged (its markup is nested too deeply)") : QString());
    }

    // The text of a value, the same for every format (tests/data/values.tsv).
    void values_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        for (const QStringList &row : TableRows(QStringLiteral("values.tsv")))
            QTest::addRow("%s %s", qPrintable(row.at(0)), qPrintable(row.at(1)))
                << row.at(0) << row.at(1) << row.value(2);
    }
    void values()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QString, text);
        static const QStringList kinds { "number", "date", "date1904", "format", "builtin", "error", "iso",
            "duration", "part" };
        QVERIFY2(kinds.contains(kind), qPrintable(QStringLiteral("values.tsv: no kind \"%1\"").arg(kind)));
        const double number = value.toDouble();
        const QString shown = kind == u"number" ? NumberText(number)
            : kind == u"date"                   ? DateText(number, false)
            : kind == u"date1904"               ? DateText(number, true)
            : kind == u"format"                 ? QString::number(IsDateFormat(value))
            : kind == u"builtin"                ? QString::number(IsBuiltInDateFormat(value.toInt()))
            : kind == u"error"                  ? ErrorText(value.toInt())
            : kind == u"iso"                    ? IsoDateValueText(value)
            : kind == u"duration"               ? IsoDurationText(value)
                                  : ResolvePartName(value.section(u'|', 0, 0), value.section(u'|', 1));
        QCOMPARE(shown, text);
        if (kind == u"number" && std::isfinite(number))
            QCOMPARE(shown.toDouble(), number);
    }
};

QTEST_GUILESS_MAIN(TestReaders)
#include "tst_readers.moc"
