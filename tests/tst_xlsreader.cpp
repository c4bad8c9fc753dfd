#include "XlsReader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace plivan;

namespace {

QString DataPath(const QString &relative)
{
    return QStringLiteral(PLIVAN_TEST_DATA "/") + relative;
}

QByteArray ReadAll(const QString &relative)
{
    QFile file(DataPath(relative));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Column 1 for rows 1..count, an empty cell as "<empty>", so that rows after
// an empty one show too.
QStringList ColumnOne(Workbook &workbook, int count)
{
    QStringList cells;
    for (int row = 1; row <= count; ++row)
        cells << workbook.cellText(row).value_or(QStringLiteral("<empty>"));
    return cells;
}

// What xls/make_xls.py writes into column 1 of kinds.xlwt.xls, and what the
// same workbook saved again by LibreOffice (BIFF8) and Gnumeric (BIFF5) reads as.
const QStringList Kinds = {
    "Ann Lee", "17", "1.25", "0.30000000000000004", "12345678901", "-3", "0.5",
    "TRUE", "FALSE", "#DIV/0!", "#N/A",
    "2024-09-02", "2024-09-02 13:45:00", "13:45:00", "2024-09-02", "2.5",
    "<empty>", "After the empty text", "<empty>", "<empty>",
};

} // namespace

class TestXlsReader : public QObject {
    Q_OBJECT

private slots:
    void columnOne_data();
    void columnOne();
    void sharedStringsAcrossContinue_data();
    void sharedStringsAcrossContinue();
    void readsOnlyWhatTheRowsNeed();
    void refused_data();
    void refused();
    void damagedWhileReading_data();
    void damagedWhileReading();
    void truncatedInMemory_data();
    void truncatedInMemory();
    void corruptedInMemory_data();
    void corruptedInMemory();
};

void TestXlsReader::columnOne_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("cells");

    const QStringList names = {"Ann Lee", "Bob Stone", "<empty>", "Cy Young", "Di Prince",
                               "Ed Wood", "<empty>"};
    QTest::newRow("BIFF8 xlwt: RK, MULRK, NUMBER, BOOLERR, dates") << "xls/kinds.xlwt.xls" << Kinds;
    QTest::newRow("BIFF8 LibreOffice: MULRK, formulas")  << "xls/kinds.lo.xls"         << Kinds;
    QTest::newRow("BIFF5 Gnumeric: LABEL, RK, NUMBER")   << "xls/kinds.gnumeric95.xls" << Kinds;
    QTest::newRow("BIFF5 Windows-1251")
        << "xls/cp1251.gnumeric95.xls"
        << QStringList{"Юлия Петрова", "Александр Пушкин", "Ёжик Иванов", "<empty>"};
    QTest::newRow("BIFF5 Windows-1252")
        << "rosters/cp1252.gnumeric95.xls"
        << QStringList{"Zoë Ødegaard", "José Muñoz", "François Côté", "Jürgen Groß", "Šimon Žák",
                       "Œda Dupré", "Ana “Nan” Díaz", "Björn Åström", "<empty>"};
    QTest::newRow("BIFF5 rich text (RSTRING)")
        << "rosters/rich-text.gnumeric95.xls"
        << QStringList{"Ann Lee", "Plain Name", "Bob Stone", "Cy Young", "<empty>"};
    QTest::newRow("BIFF8 outside the BMP")
        << "rosters/unicode.xlwt.xls"
        << QStringList{"José Álvarez", "Zoë Ødegaard", "Αλέξανδρος Παπαδόπουλος", "Юлия Петрова",
                       "李 小龍", "𠮷田 花子"};
    QTest::newRow("formula results: text, number, boolean, error, empty text")
        << "rosters/formulas.lo.xls"
        << QStringList{"Ann Lee", "17", "0.30000000000000004", "TRUE", "#N/A", "<empty>",
                       "After the empty result", "<empty>"};
    QTest::newRow("Gnumeric formula results")
        << "rosters/formulas.gnumeric.xls"
        << QStringList{"Ann Lee", "17", "0.3", "TRUE", "#N/A", "<empty>",
                       "After the empty result", "<empty>"};
    QTest::newRow("gap, rows after it still readable") << "rosters/gap.xlwt.xls" << names;
    QTest::newRow("BIFF5 gap")                          << "rosters/gap.gnumeric95.xls" << names;
    QTest::newRow("second of three sheets active, xlwt")
        << "rosters/three-sheets.xlwt.xls"
        << QStringList{"Second Sheet 1", "Second Sheet 2", "Second Sheet 3"};
    QTest::newRow("second of three sheets active, BIFF5")
        << "rosters/three-sheets.gnumeric95.xls"
        << QStringList{"Second Sheet 1", "Second Sheet 2", "Second Sheet 3"};
    QTest::newRow("second of three sheets active, LibreOffice")
        << "rosters/three-sheets.lo.xls"
        << QStringList{"Second Sheet 1", "Second Sheet 2", "Second Sheet 3"};
    QTest::newRow("embedded chart")
        << "rosters/chart.lo.xls"
        << QStringList{"Ana Lima", "Ben Carter", "Chloe Nguyen", "Dev Patel", "Ella Brooks",
                       "Finn O'Hara", "Grace Kim", "Hugo Silva", "Ivy Chen", "Jonah Reyes",
                       "<empty>", "<empty>"};
    QTest::newRow("1904 dates")
        << "rosters/dates1904.xlwt.xls"
        << QStringList{"Ann Lee", "2024-09-02", "2024-09-02 13:45:00", "Last", "<empty>"};
    QTest::newRow("active tab is a chart sheet")
        << "xls/chart-active.xlwt.xls" << QStringList{"<empty>", "<empty>", "<empty>"};
}

void TestXlsReader::columnOne()
{
    QFETCH(QString, file);
    QFETCH(QStringList, cells);

    OpenedWorkbook opened = OpenXls(DataPath(file));
    QVERIFY2(opened.workbook, qPrintable(opened.error));
    QCOMPARE(ColumnOne(*opened.workbook, int(cells.size())), cells);
    QCOMPARE(opened.workbook->error(), QString());
}

void TestXlsReader::sharedStringsAcrossContinue_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("xlwt")        << "xls/sst-continue.xlwt.xls";
    QTest::newRow("LibreOffice") << "xls/sst-continue.lo.xls";
}

void TestXlsReader::sharedStringsAcrossContinue()
{
    QFETCH(QString, file);
    QStringList expected = QString::fromUtf8(ReadAll("xls/sst-continue.expected.txt"))
                               .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(expected.size(), 80);
    expected << "<empty>";

    OpenedWorkbook opened = OpenXls(DataPath(file));
    QVERIFY2(opened.workbook, qPrintable(opened.error));
    QCOMPARE(ColumnOne(*opened.workbook, 81), expected);
    // Asked again from row 1, the reader starts over and finds the strings
    // before the last one it decoded.
    QCOMPARE(ColumnOne(*opened.workbook, 81), expected);
    QCOMPARE(opened.workbook->error(), QString());
}

// Every byte after what the first 39 names need is garbage in this file: the
// rest of the shared strings, the end of the globals and every row from 40
// on. Reading 25 or 39 names must not notice.
void TestXlsReader::readsOnlyWhatTheRowsNeed()
{
    for (int count : {25, 39}) {
        OpenedWorkbook opened = OpenXls(DataPath("xls/tail-garbled.xlwt.xls"));
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        const QStringList cells = ColumnOne(*opened.workbook, count);
        QCOMPARE(cells.size(), count);
        QCOMPARE(cells.first(), QStringLiteral("Student 00001"));
        QCOMPARE(cells.last(), QStringLiteral("Student %1").arg(count, 5, 10, QLatin1Char('0')));
        QCOMPARE(opened.workbook->error(), QString());
    }
}

void TestXlsReader::refused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");

    QTest::newRow("FILEPASS in the globals")
        << "xls/filepass.xlwt.xls" << "is protected by a password";
    QTest::newRow("LibreOffice with a password")
        << "rosters/bad-password.lo.xls" << "is protected by a password";
    QTest::newRow("encrypted .xlsx in a compound file")
        << "rosters/bad-password.lo.xlsx" << "is protected by a password";
    QTest::newRow("Word document")
        << "xls/not-a-workbook.lo.doc" << NotAWorkbookReason;
    QTest::newRow("truncated file")
        << "rosters/bad-truncated.lo.xls" << "is damaged (its parts cannot be found)";
    QTest::newRow("active sheet past the end")
        << "xls/sheet-offset.xlwt.xls" << "is damaged (the active sheet is missing)";
}

void TestXlsReader::refused()
{
    QFETCH(QString, file);
    QFETCH(QString, error);
    QVERIFY(QFile::exists(DataPath(file)));

    const OpenedWorkbook opened = OpenXls(DataPath(file));
    QVERIFY(!opened.workbook);
    QCOMPARE(opened.error, error);
}

void TestXlsReader::damagedWhileReading_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("stream ends before row 40")   << "xls/truncated-stream.xlwt.xls";
    QTest::newRow("garbage from row 40 on")      << "xls/tail-garbled.xlwt.xls";
}

// The rows before the damage read as written; the damaged row and every
// later one read as empty, and the reason is kept.
void TestXlsReader::damagedWhileReading()
{
    QFETCH(QString, file);
    OpenedWorkbook opened = OpenXls(DataPath(file));
    QVERIFY2(opened.workbook, qPrintable(opened.error));
    const QStringList cells = ColumnOne(*opened.workbook, 45);
    QCOMPARE(cells.at(38), QStringLiteral("Student 00039"));
    QCOMPARE(cells.mid(39), QStringList(6, QStringLiteral("<empty>")));
    QCOMPARE(opened.workbook->error(), QStringLiteral("is damaged (the workbook ends early)"));
}

void TestXlsReader::truncatedInMemory_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("BIFF8 xlwt")        << "xls/kinds.xlwt.xls";
    QTest::newRow("BIFF8 LibreOffice") << "xls/kinds.lo.xls";
    QTest::newRow("BIFF5 Gnumeric")    << "xls/kinds.gnumeric95.xls";
    QTest::newRow("long shared strings") << "xls/sst-continue.lo.xls";
}

// A file cut short anywhere is refused or read up to the damage, with a
// reason, and never crashes.
void TestXlsReader::truncatedInMemory()
{
    QFETCH(QString, file);
    const QByteArray whole = ReadAll(file);
    QVERIFY(!whole.isEmpty());
    const qsizetype step = std::max<qsizetype>(97, whole.size() / 300);
    for (qsizetype length = 0; length < whole.size(); length += step) {
        OpenedWorkbook opened = OpenXlsData(whole.left(length));
        if (!opened.workbook) {
            QVERIFY2(opened.error.startsWith(QLatin1String("is damaged (")), qPrintable(opened.error));
            continue;
        }
        ColumnOne(*opened.workbook, 100);
        const QString error = opened.workbook->error();
        QVERIFY2(error.isEmpty() || error.startsWith(QLatin1String("is damaged (")), qPrintable(error));
    }
    OpenedWorkbook opened = OpenXlsData(whole);
    QVERIFY(opened.workbook);
}

void TestXlsReader::corruptedInMemory_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("BIFF8 xlwt")          << "xls/kinds.xlwt.xls";
    QTest::newRow("BIFF8 LibreOffice")   << "xls/kinds.lo.xls";
    QTest::newRow("BIFF5 Gnumeric")      << "xls/kinds.gnumeric95.xls";
    QTest::newRow("BIFF5 rich text")     << "rosters/rich-text.gnumeric95.xls";
    QTest::newRow("formulas")            << "rosters/formulas.gnumeric.xls";
}

// Random bytes changed anywhere: whatever is read, nothing crashes or hangs.
void TestXlsReader::corruptedInMemory()
{
    QFETCH(QString, file);
    const QByteArray whole = ReadAll(file);
    QVERIFY(!whole.isEmpty());
    QRandomGenerator random(20240902);
    for (int round = 0; round < 400; ++round) {
        QByteArray data = whole;
        const int changes = 1 + int(random.bounded(8));
        for (int i = 0; i < changes; ++i) {
            const qsizetype at = random.bounded(int(data.size()));
            data[at] = char(random.bounded(256));
        }
        OpenedWorkbook opened = OpenXlsData(data);
        if (opened.workbook)
            ColumnOne(*opened.workbook, 60);
        else
            QVERIFY(!opened.error.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
