#include "classdata/RosterImport.h"
#include "classdata/workbook/Workbook.h"
#include "seating/StudentList.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace plivan;

namespace {

const QString RosterFolder = QStringLiteral(PLIVAN_TEST_DATA "/rosters/");

QString Unescape(const QString &field)
{
    QString text;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != u'\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        const QChar next = field[++i];
        text += next == u't' ? QChar(u'\t')
            : next == u'r'   ? QChar(u'\r')
            : next == u'n'   ? QChar(u'\n')
                             : next;
    }
    return text;
}

struct Expectation {
    QString file;
    int seats = 0;
    QString errorWord; // empty when the file reads without a message
    QStringList names;
};

// expected.tsv, written by make_rosters.py: file, seats, the word the message
// holds ("-" for none), then the list.
QList<Expectation> Expectations()
{
    QList<Expectation> list;
    QFile file(RosterFolder + QStringLiteral("expected.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return list;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        Expectation e;
        e.file = fields.value(0);
        e.seats = fields.value(1).toInt();
        e.errorWord = fields.value(2) == u"-" ? QString() : fields.value(2);
        for (qsizetype i = 3; i < fields.size(); ++i)
            e.names.append(Unescape(fields[i]));
        list.append(e);
    }
    return list;
}

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

class TestRosters : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(content);
        return path;
    }

private slots:
    // Every workbook in the fixture folder has its expected lists.
    void everyFixtureHasExpectations()
    {
        QSet<QString> listed;
        for (const Expectation &e : Expectations())
            listed.insert(e.file);
        QVERIFY(listed.size() > 100);
        const QStringList files
            = QDir(RosterFolder)
                  .entryList({ QStringLiteral("*.xls"), QStringLiteral("*.xlsx"), QStringLiteral("*.ods"),
                                 QStringLiteral("*.csv"), QStringLiteral("*.txt") },
                      QDir::Files);
        for (const QString &name : files)
            QVERIFY2(listed.contains(name), qPrintable(name));
        for (const QString &name : listed)
            QVERIFY2(QFile::exists(RosterFolder + name), qPrintable(name));
    }

    void fixtures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("seats");
        QTest::addColumn<QString>("errorWord");
        QTest::addColumn<QStringList>("names");
        for (const Expectation &e : Expectations()) {
            QTest::addRow("%s %d", qPrintable(e.file), e.seats)
                << RosterFolder + e.file << e.seats << e.errorWord << e.names;
        }
    }

    // The list LoadRoster makes from each fixture, and its message.
    void fixtures()
    {
        QFETCH(QString, path);
        QFETCH(int, seats);
        QFETCH(QString, errorWord);
        QFETCH(QStringList, names);

        StringStudentList list;
        const RosterImport result = LoadRoster(path, seats, 1.25f, list);
        QCOMPARE(list.rows, names);
        if (errorWord.isEmpty()) {
            QCOMPARE(result.message, QString());
        } else {
            QVERIFY2(result.message.contains(Native(path)), qPrintable(result.message));
            QVERIFY2(result.message.contains(errorWord), qPrintable(result.message));
        }
    }

    // The same files through the reader interface: column 1 down to the
    // first empty cell, and a reader that fails either at the open or with
    // error() set.
    void fixturesThroughWorkbook_data() { fixtures_data(); }

    void fixturesThroughWorkbook()
    {
        QFETCH(QString, path);
        QFETCH(int, seats);
        QFETCH(QString, errorWord);
        QFETCH(QStringList, names);

        OpenedWorkbook opened = OpenWorkbook(path);
        QStringList read;
        QString error = opened.error;
        if (opened.workbook) {
            for (int r = 1; r <= seats; ++r) {
                const std::optional<QString> text = opened.workbook->cellText(r);
                if (!text)
                    break;
                QVERIFY2(!text->isEmpty(), "an empty cell is std::nullopt, not empty text");
                read.append(*text);
            }
            error = opened.workbook->error();
        }
        QCOMPARE(read, names.mid(0, names.indexOf(QStringLiteral("Empty"))));
        if (errorWord.isEmpty())
            QCOMPARE(error, QString());
        else
            QVERIFY2(error.contains(errorWord), qPrintable(error));
    }

    void fixtureFontSizes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("seats");
        QTest::addColumn<int>("size");

        // Widest measures: Chloe Nguyen gives 6 (floor(7.5) = 7, x 1.5 = 10.5, to 10);
        // Αλέξανδρος Παπαδόπουλος gives 11 (13, 19.5, to 20); 0.30000000000000004
        // gives 19 (23, 34.5, to 34);
        // a file that cannot be read gives "Empty", 5 (6, 9).
        QTest::newRow("basic, LibreOffice .xls") << "basic.lo.xls" << 6 << 10;
        QTest::newRow("unicode, openpyxl .xlsx") << "unicode.openpyxl.xlsx" << 6 << 20;
        QTest::newRow("values, xlwt .xls") << "values.xlwt.xls" << 30 << 34;
        QTest::newRow("empty A1, .ods") << "empty-a1.lo.ods" << 6 << 9;
        QTest::newRow("password") << "bad-password.lo.xlsx" << 6 << 9;
        QTest::newRow("text named .xlsx") << "bad-text.hand.xlsx" << 30 << 9;
    }

    void fixtureFontSizes()
    {
        QFETCH(QString, file);
        QFETCH(int, seats);
        QFETCH(int, size);
        StringStudentList list;
        QCOMPARE(int(LoadRoster(RosterFolder + file, seats, 1.25f, list).NameFontSize), size);
    }

    void examples_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("period1, xlwt")
            << "period1.xls" << 25 << "Priya Oyelaran" << QString::fromUtf8("José Ángel Ruiz");
        QTest::newRow("period2, LibreOffice") << "period2.xls" << 28 << "Sami Lindqvist"
                                              << "Lena Okafor";
        QTest::newRow("period3, .xlsx named .xls") << "period3.xls" << 30 << "Bartholomew Esposito"
                                                   << "Hana Nakamura";
        QTest::newRow("period4, xlwt") << "period4.xls" << 22 << "Elif Nakamura"
                                       << "Mateo Kowal";
        QTest::newRow("period6, LibreOffice") << "period6.xls" << 26 << "Kofi Underwood"
                                              << "Jonah Okafor";
        QTest::newRow("period7, Gnumeric")
            << "period7.xls" << 20 << QString::fromUtf8("José Ángel Ruiz") << "Wren Zapata";
    }

    // The example class lists in a 5 x 6 room.
    void examples()
    {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        StringStudentList list;
        const RosterImport result
            = LoadRoster(QStringLiteral(PLIVAN_EXAMPLES "/Plivan/") + file, 30, 1.25f, list);
        QCOMPARE(result.message, QString());
        QCOMPARE(list.count(), 30);
        QCOMPARE(list.rows.indexOf(QStringLiteral("Empty")), count == 30 ? -1 : count);
        QCOMPARE(list.rows.first(), first);
        QCOMPARE(list.rows.at(count - 1), last);
    }

    void missingFile()
    {
        const QString path = dir.filePath(QStringLiteral("period9.xls"));
        StringStudentList list { { QStringLiteral("left over") } };
        const RosterImport result = LoadRoster(path, 6, 1.25f, list);
        QCOMPARE(result.message, QStringLiteral("The class list %1 was not found.").arg(Native(path)));
        QCOMPARE(list.rows, QStringList(6, QStringLiteral("Empty")));
        QCOMPARE(int(result.NameFontSize), 9);
    }

    void roomCases_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<int>("seats");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("size");

        const QString e = QStringLiteral("Empty");
        QTest::newRow("rows 1-4, 2 x 3 room") << QByteArray("Ann Lee\nBo\nCy\nDi\n\nEd\n") << 6
                                              << QStringList { "Ann Lee", "Bo", "Cy", "Di", e, e } << 9;
        QTest::newRow("rows 1-9, 2 x 3 room") << QByteArray("A1\nA2\nA3\nA4\nA5\nA6\nA7\nA8\nA9\n") << 6
                                              << QStringList { "A1", "A2", "A3", "A4", "A5", "A6" } << 3;
        QTest::newRow("row 1 empty") << QByteArray("\nAnn\nBob\n") << 6 << QStringList(6, e) << 9;
        QTest::newRow("gap after row 2")
            << QByteArray("Ann\nBob\n\nCy\nDi\n") << 6 << QStringList { "Ann", "Bob", e, e, e, e } << 9;
        QTest::newRow("17 and a single space")
            << QByteArray("17\n \n") << 2 << QStringList { "17", " " } << 3;
        QTest::newRow("Madonna") << QByteArray("Madonna\n") << 1 << QStringList { "Madonna" } << 12;
        QTest::newRow("0 seats") << QByteArray("Ann\n") << 0 << QStringList {} << 0;
    }

    // LoadRoster's own rules, over plain CSV files.
    void roomCases()
    {
        QFETCH(QByteArray, csv);
        QFETCH(int, seats);
        QFETCH(QStringList, names);
        QFETCH(int, size);
        StringStudentList list { { QStringLiteral("left over") } };
        const RosterImport result = LoadRoster(write(QStringLiteral("room.csv"), csv), seats, 1.25f, list);
        QCOMPARE(list.rows, names);
        QCOMPARE(int(result.NameFontSize), size);
        QCOMPARE(result.message, QString());
    }

    void measures_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("measure");
        QTest::newRow("Ann Lee") << "Ann Lee" << 4;
        QTest::newRow("Lee,Ann") << "Lee,Ann" << 4;
        QTest::newRow("Lee, Ann: the space first") << "Lee, Ann" << 5;
        QTest::newRow("Madonna") << "Madonna" << 7;
        QTest::newRow("Empty") << "Empty" << 5;
        QTest::newRow("single space") << " " << 1;
    }

    void measures()
    {
        QFETCH(QString, name);
        QFETCH(int, measure);
        QCOMPARE(NameMeasure(name), measure);
    }

    void fontSizes_data()
    {
        QTest::addColumn<int>("widest");
        QTest::addColumn<int>("size");
        QTest::newRow("M 5") << 5 << 9;
        QTest::newRow("M 7") << 7 << 12;
        QTest::newRow("M 8") << 8 << 15;
        QTest::newRow("M 9: 16.5 to even") << 9 << 16;
        QTest::newRow("M 11: 19.5 to even") << 11 << 20;
        QTest::newRow("M 0") << 0 << 0;
    }

    // Six columns give a seat width of 1.25.
    void fontSizes()
    {
        QFETCH(int, widest);
        QFETCH(int, size);
        QCOMPARE(int(NameFontSizeFor(widest, 1.25f)), size);
    }
};

QTEST_GUILESS_MAIN(TestRosters)
#include "tst_rosters.moc"
