#include "CsvReader.h"

#include <QTest>

using namespace plivan;

namespace {

// Column 1 from row 1 to `rows`, with "<empty>" for an empty cell.
QStringList Column(Workbook &book, int rows)
{
    QStringList texts;
    for (int r = 1; r <= rows; ++r)
        texts.append(book.cellText(r).value_or(QStringLiteral("<empty>")));
    return texts;
}

} // namespace

class TestCsvReader : public QObject {
    Q_OBJECT

private slots:
    void firstFields_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("column");
        QTest::addColumn<bool>("damaged");

        const QString e = QStringLiteral("<empty>");
        QTest::newRow("CR LF") << QByteArray("Ann Lee,1\r\nBob Stone,2\r\n")
                               << QStringList { "Ann Lee", "Bob Stone", e } << false;
        QTest::newRow("LF, no final line end")
            << QByteArray("Ann Lee\nBob Stone") << QStringList { "Ann Lee", "Bob Stone", e } << false;
        QTest::newRow("CR alone") << QByteArray("Ann Lee\rBob Stone\r")
                                  << QStringList { "Ann Lee", "Bob Stone", e } << false;
        QTest::newRow("empty line is an empty cell")
            << QByteArray("Ann\r\n\r\nCy\r\n") << QStringList { "Ann", e, "Cy", e } << false;
        QTest::newRow("empty first field")
            << QByteArray("Ann\n,B only\nCy\n") << QStringList { "Ann", e, "Cy" } << false;
        QTest::newRow("empty quoted field")
            << QByteArray("Ann\n\"\"\nCy\n") << QStringList { "Ann", e, "Cy" } << false;
        QTest::newRow("nothing trimmed")
            << QByteArray(" \n  Ann Lee \n\t\n") << QStringList { " ", "  Ann Lee ", "\t" } << false;
        QTest::newRow("comma in quotes")
            << QByteArray("\"Lee, Ann\",4\n") << QStringList { "Lee, Ann", e } << false;
        QTest::newRow("doubled quotes")
            << QByteArray("\"Say \"\"Hi\"\"\"\n\"\"\"\"\n") << QStringList { "Say \"Hi\"", "\"" } << false;
        QTest::newRow("line break in quotes") << QByteArray("\"Two\r\nLines\",x\r\nNext\r\n")
                                              << QStringList { "Two\r\nLines", "Next", e } << false;
        QTest::newRow("line break in a later quoted field")
            << QByteArray("Ann,\"note\nover lines\"\nBob\n") << QStringList { "Ann", "Bob", e } << false;
        QTest::newRow("quote inside unquoted field")
            << QByteArray("O\"Brien\n") << QStringList { "O\"Brien" } << false;
        QTest::newRow("text after closing quote")
            << QByteArray("\"Ann\" Lee,1\n") << QStringList { "Ann Lee" } << false;
        QTest::newRow("007 stays text") << QByteArray("007\n17\n") << QStringList { "007", "17" } << false;
        QTest::newRow("UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBFZo\xC3\xAB\n\xF0\xA0\xAE\xB7\n")
            << QStringList { QString::fromUtf8("Zo\xC3\xAB"), QString::fromUtf8("\xF0\xA0\xAE\xB7") }
            << false;
        QTest::newRow("UTF-8 without BOM")
            << QByteArray("\xD0\xAE\xD0\xBB\xD0\xB8\xD1\x8F\n")
            << QStringList { QString::fromUtf8("\xD0\xAE\xD0\xBB\xD0\xB8\xD1\x8F") } << false;
        QTest::newRow("byte order mark inside the file is text")
            << QByteArray("Ann\n\xEF\xBB\xBF\n") << QStringList { "Ann", QString(QChar(0xFEFF)) } << false;
        QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << QStringList { e } << false;
        QTest::newRow("Windows-1252") << QByteArray("Zo\xEB \x80\n\x8A\x9E\n")
                                      << QStringList { QString::fromUtf8("Zo\xC3\xAB \xE2\x82\xAC"),
                                             QString::fromUtf8("\xC5\xA0\xC5\xBE") }
                                      << false;
        QTest::newRow("UTF-8 cut short at the end is Windows-1252")
            << QByteArray("Ann\n\xC3") << QStringList { "Ann", QString::fromUtf8("\xC3\x83") } << false;
        QTest::newRow("overlong UTF-8 is Windows-1252")
            << QByteArray("\xC0\xAF\n") << QStringList { QString::fromUtf8("\xC3\x80\xC2\xAF") } << false;
        QTest::newRow("UTF-16 surrogate in UTF-8 form is Windows-1252")
            << QByteArray("\xED\xA0\x80\n")
            << QStringList { QString::fromUtf8("\xC3\xAD\xC2\xA0\xE2\x82\xAC") } << false;
        QTest::newRow("empty file") << QByteArray() << QStringList { e, e } << false;
        QTest::newRow("quote never closed")
            << QByteArray("Ann\n\"Bob\nCy\n") << QStringList { "Ann", e, e } << true;
        QTest::newRow("quote never closed in a later field")
            << QByteArray("Ann\nBob,\"x\nCy\n") << QStringList { "Ann", e, e } << true;
        QTest::newRow("NUL bytes kept")
            << QByteArray("A\0B\n", 4) << QStringList { QString::fromUtf8("A\0B", 3) } << false;
    }

    void firstFields()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, column);
        QFETCH(bool, damaged);
        OpenedWorkbook opened = OpenCsvData(data);
        QVERIFY2(opened.workbook, qPrintable(opened.error));
        QCOMPARE(Column(*opened.workbook, int(column.size())), column);
        QCOMPARE(opened.workbook->error().contains(QLatin1String("damaged")), damaged);
    }

    // The encoding is settled for the whole file: Windows-1252 bytes after
    // UTF-8 text in the first block make all of it Windows-1252.
    void oneEncodingPerFile()
    {
        OpenedWorkbook opened = OpenCsvData(QByteArray("Zo\xC3\xAB\nR\xE9mi\n"));
        QCOMPARE(Column(*opened.workbook, 2),
            (QStringList { QString::fromUtf8("Zo\xC3\x83\xC2\xAB"), QString::fromUtf8("R\xC3\xA9mi") }));
    }

    void recordsAcrossBlocks()
    {
        // Long lines that cross the reader's 64 KB blocks, and a multibyte
        // character cut by a block end.
        QByteArray data;
        const QByteArray filler(40000, 'x');
        for (int i = 0; i < 10; ++i)
            data += "Name \xC3\xAB" + QByteArray::number(i) + "," + filler + "\r\n";
        OpenedWorkbook opened = OpenCsvData(data);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(
                opened.workbook->cellText(i + 1), QString::fromUtf8("Name \xC3\xAB") + QString::number(i));
        QVERIFY(!opened.workbook->cellText(11));
        QVERIFY(opened.workbook->error().isEmpty());
    }

    void limits_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("column");

        const QString e = QStringLiteral("<empty>");
        QTest::newRow("first field over 64 KB") << QByteArray("Ann\n") + QByteArray(MaxCsvFieldBytes + 1, 'y')
                + "\nCy\n" << QStringList { "Ann", e, e };
        QTest::newRow("quoted first field over 64 KB")
            << QByteArray("Ann\n\"") + QByteArray(MaxCsvFieldBytes + 1, 'y') + "\"\nCy\n"
            << QStringList { "Ann", e, e };
        QTest::newRow("line over 1 MB") << QByteArray("Ann\nBob,") + QByteArray(MaxCsvRecordBytes, 'y')
                + "\nCy\n" << QStringList { "Ann", e, e };
        QTest::newRow("open quote over 1 MB")
            << QByteArray("Ann\nBob,\"") + QByteArray(MaxCsvRecordBytes + 10, 'y')
            << QStringList { "Ann", e, e };
    }

    void limits()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, column);
        OpenedWorkbook opened = OpenCsvData(data);
        QCOMPARE(Column(*opened.workbook, int(column.size())), column);
        QVERIFY(opened.workbook->error().contains(QLatin1String("is damaged")));
    }

    void fieldJustUnderTheLimit()
    {
        const QByteArray name(MaxCsvFieldBytes, 'n');
        OpenedWorkbook opened = OpenCsvData(name + "\nBob\n");
        QCOMPARE(opened.workbook->cellText(1), QString::fromLatin1(name));
        QCOMPARE(opened.workbook->cellText(2), QStringLiteral("Bob"));
        QVERIFY(opened.workbook->error().isEmpty());
    }

    // Rows are normally asked for in order; asking again, or going back,
    // still gives the same text.
    void rowsAskedAgain()
    {
        OpenedWorkbook opened = OpenCsvData("\xEF\xBB\xBF"
                                            "Ann\nBob\nCy\n");
        Workbook &book = *opened.workbook;
        QCOMPARE(book.cellText(2), QStringLiteral("Bob"));
        QCOMPARE(book.cellText(2), QStringLiteral("Bob"));
        QCOMPARE(book.cellText(1), QStringLiteral("Ann"));
        QCOMPARE(book.cellText(3), QStringLiteral("Cy"));
        QVERIFY(!book.cellText(0));
        QVERIFY(!book.cellText(-1));
    }

    // The reader reads no further than the row asked for: a file whose end
    // is damaged gives its first rows without complaint.
    void readsOnlyAsFarAsAsked()
    {
        QByteArray data;
        for (int i = 0; i < 100000; ++i)
            data += "Name " + QByteArray::number(i) + "\n";
        data += "\"never closed";
        OpenedWorkbook opened = OpenCsvData(data);
        QCOMPARE(opened.workbook->cellText(30), QStringLiteral("Name 29"));
        QVERIFY(opened.workbook->error().isEmpty());
    }

    void missingFile()
    {
        const OpenedWorkbook opened = OpenCsv(QStringLiteral(PLIVAN_TEST_DATA "/rosters/no-such-file.csv"));
        QVERIFY(!opened.workbook);
        QCOMPARE(opened.error, QStringLiteral("was not found"));
    }
};

QTEST_GUILESS_MAIN(TestCsvReader)
#include "tst_csvreader.moc"
