#include "CellValue.h"
#include "zip/XlsxReader.h"
#include "zip/ZipWorkbook.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace plivan;

namespace {

const QString Empty = QStringLiteral("<empty>");
const QString NotWorkbook = QStringLiteral("is not a workbook Plivan can read (.xls, .xlsx, .ods or .csv)");

QString ZipData(const QString &name)
{
    return QStringLiteral(PLIVAN_TEST_DATA "/zip/") + name;
}

QString Rosters(const QString &name)
{
    return QStringLiteral(PLIVAN_TEST_DATA "/rosters/") + name;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString Text(const std::optional<QString> &text)
{
    return text ? *text : Empty;
}

// Rows 1 to `rows` of column 1, an empty cell as <empty>.
QStringList ReadRows(Workbook &workbook, int rows)
{
    QStringList list;
    for (int r = 1; r <= rows; ++r) {
        const std::optional<QString> text = workbook.cellText(r);
        list.append(Text(text));
    }
    return list;
}

// Every ZIP workbook of the test data, hand-built and made by programs.
QStringList ZipFixtures()
{
    QStringList files;
    for (const QString &folder :
        { QStringLiteral(PLIVAN_TEST_DATA "/zip"), QStringLiteral(PLIVAN_TEST_DATA "/rosters") }) {
        const QDir dir(folder);
        for (const QString &name :
            dir.entryList({ QStringLiteral("*.xlsx"), QStringLiteral("*.ods"), QStringLiteral("*.docx"),
                              QStringLiteral("*.odt"), QStringLiteral("*.zip") },
                QDir::Files, QDir::Name)) {
            if (name != QStringLiteral("bomb.xlsx") && name != QStringLiteral("wide-row.xlsx"))
                files.append(dir.filePath(name));
        }
    }
    return files;
}

// The same deterministic sequence everywhere.
quint32 NextRandom(quint32 &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

} // namespace

class TestZipReaders : public QObject {
    Q_OBJECT

private slots:
    void readsColumnOne_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("error");

        QTest::newRow("xlsx rows and cells without r")
            << ZipData("no-references.xlsx")
            << QStringList { "Row one", "Row two", Empty, Empty, "Row five", "Row six", Empty, "Row eight",
                   Empty, Empty, "Row eleven", Empty }
            << QString();
        QTest::newRow("xlsx absolute targets, second sheet active")
            << ZipData("absolute-targets.xlsx") << QStringList { "Second one", "Second two", Empty }
            << QString();
        QTest::newRow("xlsx value types")
            << ZipData("values.xlsx")
            << QStringList { "Ann Lee", QStringLiteral("山田"), "Inline", "17", "0.30000000000000004",
                   "12345678901", "2024-09-02", "2024-09-02 13:45:00", "2.5", "TRUE", "FALSE", "#N/A",
                   "Formula", "2024-09-02 13:45:00", " ", "007", "13:45:00", Empty, Empty }
            << QString();
        QTest::newRow("xlsx 1904 dates")
            << ZipData("date1904.xlsx") << QStringList { "2024-09-02", Empty } << QString();
        QTest::newRow("xlsx zip bomb")
            << ZipData("bomb.xlsx") << QStringList { "First", "Second", Empty, Empty }
            << QStringLiteral("is damaged (its XML holds an overlong piece of text)");
        QTest::newRow("xlsx shared text missing")
            << ZipData("missing-shared.xlsx") << QStringList { "Only one", Empty, Empty }
            << QStringLiteral("is damaged (a cell names a shared text that does not exist)");
        QTest::newRow("xlsx nested too deeply")
            << ZipData("deep.xlsx") << QStringList { "Fine", Empty }
            << QStringLiteral("is damaged (its XML is nested too deeply)");
        QTest::newRow("ods repeated rows")
            << ZipData("repeats.ods")
            << QStringList { "Ann Lee", "Twin", "Twin", "Twin", "Wide", Empty, Empty } << QString();
        QTest::newRow("ods text forms")
            << ZipData("text-forms.ods")
            << QStringList { "A B   C", "Tab\tand\nbreak", "Span link", "Two\nparagraphs", "Noted",
                   "Collapsed white space", "17", "0.30000000000000004", "0.25", "12.5", "2024-09-02",
                   "2024-09-02 13:45:00", "13:45:00", "TRUE", "#N/A", "From the attribute", "Covered",
                   "Spanned", " ", "Framed", Empty }
            << QString();
        QTest::newRow("ods active table in the view settings")
            << ZipData("active-second.ods")
            << QStringList { "Second one", "Second two", "Second three", Empty } << QString();
        QTest::newRow("ods active table not there")
            << ZipData("active-missing.ods") << QStringList { "Wrong", Empty } << QString();
        QTest::newRow("ods without settings")
            << ZipData("no-settings.ods") << QStringList { "Wrong", Empty } << QString();
    }

    void readsColumnOne()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, rows);
        QFETCH(QString, error);

        OpenedWorkbook opened = OpenZipWorkbook(file);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(ReadRows(*opened.workbook, int(rows.size())), rows);
        QCOMPARE(opened.workbook->error(), error);

        // The same bytes from memory read the same.
        OpenedWorkbook fromData = OpenZipWorkbookData(ReadFile(file));
        QVERIFY2(fromData.workbook, qPrintable(fromData.error));
        QCOMPARE(ReadRows(*fromData.workbook, int(rows.size())), rows);
        QCOMPARE(fromData.workbook->error(), error);
    }

    // A sheet that unpacks to more than the reader will take ends in an
    // error; the row read before that point keeps its name.
    void sheetTooLarge()
    {
        OpenedWorkbook opened = OpenZipWorkbook(ZipData("wide-row.xlsx"));
        QVERIFY(opened.workbook);
        QCOMPARE(ReadRows(*opened.workbook, 3), (QStringList { "Alone", Empty, Empty }));
        QCOMPARE(opened.workbook->error(),
            QStringLiteral("is damaged (xl/worksheets/sheet1.xml unpacks to more than 64 MB)"));
    }

    void refusesToOpen_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");

        QTest::newRow("encrypted ods")
            << ZipData("encrypted.ods") << QStringLiteral("is protected by a password");
        QTest::newRow("xlsx with encrypted entries")
            << ZipData("encrypted-entries.xlsx") << QStringLiteral("is protected by a password");
        QTest::newRow("word document") << ZipData("document.docx") << NotWorkbook;
        QTest::newRow("text document") << ZipData("letter.odt") << NotWorkbook;
        QTest::newRow("ods with a text body") << ZipData("text-body.ods") << NotWorkbook;
        QTest::newRow("plain archive") << ZipData("archive.zip") << NotWorkbook;
        QTest::newRow("no such file") << ZipData("no-such-file.xlsx") << QStringLiteral("was not found");
    }

    void refusesToOpen()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);

        const OpenedWorkbook opened = OpenZipWorkbook(file);
        QVERIFY(!opened.workbook);
        QCOMPARE(opened.error, error);
    }

    // Only the rows asked for are produced, however many a repeat count
    // stands for, and a row far down is found by counting, not by looping.
    void farRowsOfRepeats()
    {
        OpenedWorkbook opened = OpenZipWorkbook(ZipData("repeats.ods"));
        QVERIFY(opened.workbook);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Text(opened.workbook->cellText(5)), QStringLiteral("Wide"));
        QCOMPARE(Text(opened.workbook->cellText(1048571)), Empty);
        QCOMPARE(Text(opened.workbook->cellText(1048572)), QStringLiteral("Far away"));
        QCOMPARE(Text(opened.workbook->cellText(1048573)), Empty);
        QCOMPARE(Text(opened.workbook->cellText(2147483647)), Empty);
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(opened.workbook->error(), QString());
    }

    // The parts of these files turn to rubbish after their first thousand
    // entries: reading the first names must not reach it, and reading on does.
    void readsNoFurtherThanAsked_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xlsx sheet and shared strings") << ZipData("broken-tail.xlsx");
        QTest::newRow("ods content") << ZipData("broken-tail.ods");
    }

    void readsNoFurtherThanAsked()
    {
        QFETCH(QString, file);
        OpenedWorkbook opened = OpenZipWorkbook(file);
        QVERIFY(opened.workbook);
        for (int r = 1; r <= 60; ++r)
            QCOMPARE(Text(opened.workbook->cellText(r)),
                QStringLiteral("Student %1").arg(r, 6, 10, QLatin1Char('0')));
        QCOMPARE(opened.workbook->error(), QString());
        QCOMPARE(Text(opened.workbook->cellText(1000)), QStringLiteral("Student 001000"));
        QCOMPARE(Text(opened.workbook->cellText(5000)), Empty);
        QVERIFY(opened.workbook->error().startsWith(QStringLiteral("is damaged (")));
        QCOMPARE(Text(opened.workbook->cellText(5001)), Empty);
    }

    // Damage inside a packed part shows only when reading reaches it.
    void damagedPackedData()
    {
        OpenedWorkbook opened = OpenZipWorkbook(ZipData("bad-deflate.xlsx"));
        QVERIFY(opened.workbook);
        const QStringList first = ReadRows(*opened.workbook, 30);
        QCOMPARE(first.first(), QStringLiteral("Student 0001 of 7919"));
        QCOMPARE(first.last(), QStringLiteral("Student 0030 of 7409"));
        QCOMPARE(opened.workbook->error(), QString());
        QCOMPARE(Text(opened.workbook->cellText(1000)), Empty);
        QVERIFY2(opened.workbook->error().startsWith(QStringLiteral("is damaged (")),
            qPrintable(opened.workbook->error()));
    }

    // Content, not the file's name, chooses the reader.
    void renamedWorkbook()
    {
        QTemporaryDir dir;
        const QString renamed = dir.filePath(QStringLiteral("period1.xls"));
        QVERIFY(QFile::copy(ZipData("values.xlsx"), renamed));
        OpenedWorkbook opened = OpenWorkbook(renamed);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(Text(opened.workbook->cellText(1)), QStringLiteral("Ann Lee"));
    }

    // Cut short or with bytes changed, a file ends in an error or in whatever
    // rows survive, and never in a crash or a hang.
    void damagedFromMemory()
    {
        const QStringList files = ZipFixtures();
        QVERIFY(!files.isEmpty());
        quint32 seed = 12345;
        for (const QString &file : files) {
            const QByteArray good = ReadFile(file);
            QVERIFY(!good.isEmpty() || file.contains(QStringLiteral("bad-empty")));
            QList<QByteArray> variants;
            for (const qsizetype cut : { qsizetype(0), qsizetype(4), qsizetype(22), good.size() / 3,
                     good.size() / 2, good.size() - 1 }) {
                if (cut >= 0 && cut < good.size())
                    variants.append(good.left(cut));
            }
            for (int i = 0; i < 40 && !good.isEmpty(); ++i) {
                QByteArray changed = good;
                const int flips = 1 + int(NextRandom(seed) % 8);
                for (int f = 0; f < flips; ++f)
                    changed[qsizetype(NextRandom(seed) % quint32(changed.size()))] = char(NextRandom(seed));
                variants.append(changed);
            }
            for (const QByteArray &bytes : variants) {
                OpenedWorkbook opened = OpenZipWorkbookData(bytes);
                if (!opened.workbook) {
                    QVERIFY2(!opened.error.isEmpty(), qPrintable(file));
                    continue;
                }
                for (int r = 1; r <= 60; ++r)
                    opened.workbook->cellText(r);
            }
            // A file cut in half has lost its ZIP directory.
            if (good.size() > 100) {
                const OpenedWorkbook half = OpenZipWorkbookData(good.left(good.size() / 2));
                QVERIFY(!half.workbook);
                QVERIFY2(half.error.startsWith(QStringLiteral("is damaged (")), qPrintable(file));
            }
        }
    }

    // The cost of reading a class does not grow with the sheet's length.
    void firstNamesOfALongSheet_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString &name : { QStringLiteral("rows-100000.openpyxl.xlsx"),
                 QStringLiteral("rows-100000.lo.xlsx"), QStringLiteral("rows-100000.lo.ods") }) {
            if (QFile::exists(Rosters(name)))
                QTest::newRow(qPrintable(name)) << Rosters(name);
        }
        QTest::newRow("broken-tail.xlsx") << ZipData("broken-tail.xlsx");
    }

    void firstNamesOfALongSheet()
    {
        QFETCH(QString, file);
        QList<qint64> times;
        for (int run = 0; run < 15; ++run) {
            QElapsedTimer timer;
            timer.start();
            OpenedWorkbook opened = OpenZipWorkbook(file);
            QVERIFY(opened.workbook);
            for (int r = 1; r <= 25; ++r)
                QVERIFY(opened.workbook->cellText(r));
            opened.workbook.reset();
            times.append(timer.nsecsElapsed());
        }
        std::sort(times.begin(), times.end());
        const double medianMs = double(times.at(times.size() / 2)) / 1e6;
        qInfo("%s: 25 names in %.3f ms (median of 15)", qPrintable(QFileInfo(file).fileName()), medianMs);
        // Generous enough for sanitizer builds; reading the whole sheet takes far longer.
        QVERIFY(medianMs < 40.0);
    }

    void isoDateValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("date") << "2024-09-02"
                              << "2024-09-02";
        QTest::newRow("date and time") << "2024-09-02T13:45:00"
                                       << "2024-09-02 13:45:00";
        QTest::newRow("midnight") << "2024-09-02T00:00:00"
                                  << "2024-09-02";
        QTest::newRow("fraction rounds up") << "2024-09-02T23:59:59.6"
                                            << "2024-09-03";
        QTest::newRow("fraction rounds down") << "2024-09-02T13:45:00.4"
                                              << "2024-09-02 13:45:00";
        QTest::newRow("no seconds") << "2024-09-02T13:45"
                                    << "2024-09-02 13:45:00";
        QTest::newRow("time zone") << "2024-09-02T13:45:00Z"
                                   << "2024-09-02 13:45:00";
        QTest::newRow("time alone") << "1899-12-30T13:45:00"
                                    << "13:45:00";
        QTest::newRow("no such day") << "2024-02-30"
                                     << "";
        QTest::newRow("not a date") << "Ann Lee"
                                    << "";
        QTest::newRow("hour 25") << "2024-09-02T25:00:00"
                                 << "";
    }

    void isoDateValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        QCOMPARE(IsoDateValueText(value), text);
    }

    void isoDurations_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("time of day") << "PT13H45M00S"
                                     << "13:45:00";
        QTest::newRow("fractional seconds") << "PT13H45M00.2S"
                                            << "13:45:00";
        QTest::newRow("minutes alone") << "PT90M"
                                       << "01:30:00";
        QTest::newRow("nothing after T") << "PT"
                                         << "";
        QTest::newRow("nothing after P") << "P"
                                         << "";
        QTest::newRow("not a duration") << "13:45"
                                        << "";
    }

    void isoDurations()
    {
        QFETCH(QString, value);
        QFETCH(QString, text);
        QCOMPARE(IsoDurationText(value), text);
    }

    void partNames_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("part");
        QTest::newRow("package relative") << ""
                                          << "xl/workbook.xml"
                                          << "xl/workbook.xml";
        QTest::newRow("package absolute") << ""
                                          << "/xl/workbook.xml"
                                          << "xl/workbook.xml";
        QTest::newRow("relative") << "xl/workbook.xml"
                                  << "worksheets/sheet1.xml"
                                  << "xl/worksheets/sheet1.xml";
        QTest::newRow("absolute") << "xl/workbook.xml"
                                  << "/xl/worksheets/sheet1.xml"
                                  << "xl/worksheets/sheet1.xml";
        QTest::newRow("parent") << "xl/workbook.xml"
                                << "../data/s.xml"
                                << "data/s.xml";
        QTest::newRow("escaped") << "xl/workbook.xml"
                                 << "a%20b.xml"
                                 << "xl/a b.xml";
        QTest::newRow("above the root") << "xl/workbook.xml"
                                        << "../../s.xml"
                                        << "";
    }

    void partNames()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, part);
        QCOMPARE(ResolvePartName(source, target), part);
    }
};

QTEST_GUILESS_MAIN(TestZipReaders)
#include "tst_zipreaders.moc"
