// The class data: the settings file Plivan.txt, and a class's roster read
// into the student list from every fixture made by real spreadsheet programs
// (tests/data/rosters/expected.tsv), with the list's own rules and the name
// font size it sets.

#include "TestData.h"

#include "DataFolder.h"
#include "RosterImport.h"
#include "SettingsFile.h"
#include "StudentList.h"

#include <QDir>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace plivan;

namespace {

const QByteArray Head = "#Teacher Name\r\nMrs. Tolvane\r\n#Rows of seats, Cols of Seats\r\n5,6\r\n#Class "
                        "Names and student xls files\r\n";

} // namespace

class TestClassData : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    bool write(const QByteArray &content, const QString &name = QStringLiteral("Plivan.txt"))
    {
        return WriteFile(folder() + name, content);
    }

private slots:
    void init()
    {
        for (const QString &entry : QDir(dir.path()).entryList(QDir::Files))
            QDir(dir.path()).remove(entry);
    }

    // tests/data/settings.tsv: what each settings file loads as.
    void settings_data()
    {
        QTest::addColumn<QStringList>("row");
        for (const QStringList &row : TableRows(QStringLiteral("settings.tsv")))
            QTest::newRow(qPrintable(row.at(0))) << row;
    }
    void settings()
    {
        QFETCH(QStringList, row);
        QVERIFY(write(row.at(1).toLatin1()));
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QCOMPARE(load.message, row.at(2) == u"-" ? QString() : row.at(2));
        QCOMPARE(load.complete, row.at(2) == u"-");
        QCOMPARE(state.TeacherName, row.at(3));
        QCOMPARE(QPoint(state.SeatRows, state.SeatCols), QPoint(row.at(4).toInt(), row.at(5).toInt()));
        QStringList stored;
        for (int k = 0; k <= state.classCount(); ++k)
            stored << state.ClassNames.at(k) + u'|' + state.RosterFiles.value(k);
        QCOMPARE(stored, QStringList { "|" } + row.mid(6));
        QCOMPARE(state.RosterFiles.size(), state.ClassNames.size());
    }

    // No file, a folder in its place, a file far too large: one message
    // that names the file, and nothing stored.
    void unreadable()
    {
        WindowState state;
        const QString path = folder() + QStringLiteral("Plivan.txt"),
                      help = QStringLiteral("\n\nPress Help to see what it must hold.");
        QCOMPARE(LoadSettings(folder(), state).message,
            QStringLiteral("The settings file %1 was not found.").arg(path) + help);
        QVERIFY(QDir(folder()).mkdir(QStringLiteral("Plivan.txt")));
        QVERIFY(
            LoadSettings(folder(), state)
                .message.startsWith(QStringLiteral("The settings file %1 could not be read: ").arg(path)));
        QVERIFY(QDir(folder()).rmdir(QStringLiteral("Plivan.txt")));
        QVERIFY(write(Head + QByteArray(2 << 20, 'x')));
        const SettingsLoad load = LoadSettings(folder(), state);
        QCOMPARE(load.message,
            QStringLiteral("The settings file %1 could not be read: it is too large to be a settings file.")
                    .arg(path)
                + help);
        QVERIFY(!load.complete && state.TeacherName.isEmpty());
    }

    // A name copied from Windows often changes case: the one entry that
    // matches ignoring case is used, never a guess among several.
    void caseInsensitiveNames()
    {
        QVERIFY(write(Head, QStringLiteral("PLIVAN.TXT")));
        WindowState state;
        QVERIFY(LoadSettings(folder(), state).complete);
#ifdef Q_OS_WIN
        QSKIP("file names ignore case on Windows: every name is found as written");
#endif
        QCOMPARE(
            ResolveInFolder(folder(), QStringLiteral("plivan.txt")), folder() + QStringLiteral("PLIVAN.TXT"));
        QVERIFY(write("x", QStringLiteral("Plivan.TXT")));
        QCOMPARE(
            ResolveInFolder(folder(), QStringLiteral("plivan.txt")), folder() + QStringLiteral("plivan.txt"));
        QCOMPARE(
            ResolveInFolder(folder(), QStringLiteral("Plivan.TXT")), folder() + QStringLiteral("Plivan.TXT"));
        QCOMPARE(ResolveInFolder(folder(), QStringLiteral("sub/PLIVAN.TXT")),
            folder() + QStringLiteral("sub/PLIVAN.TXT"));
    }

    // Every workbook of the fixture folder is in the table, read for a room
    // of 6 and of 30 seats: the list, and the message when it cannot be read.
    void fixtures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("seats");
        QTest::addColumn<QString>("errorWord");
        QTest::addColumn<QStringList>("names");
        QSet<QString> listed;
        for (const QStringList &row : TableRows(QStringLiteral("rosters/expected.tsv"))) {
            listed.insert(row.at(0));
            QTest::addRow("%s %s", qPrintable(row.at(0)), qPrintable(row.at(1)))
                << DataPath(QStringLiteral("rosters/") + row.at(0)) << row.at(1).toInt()
                << (row.at(2) == u"-" ? QString() : row.at(2)) << row.mid(3);
        }
        const QStringList files
            = QDir(DataPath(QStringLiteral("rosters")))
                  .entryList({ "*.xls", "*.xlsx", "*.xlsm", "*.xlsb", "*.ods", "*.csv", "*.txt", "*.xml",
                                 "*.fods", "*.htm", "*.html", "*.slk", "*.dif" },
                      QDir::Files);
        QCOMPARE(QSet<QString>(files.begin(), files.end()), listed);
    }
    void fixtures()
    {
        QFETCH(QString, path);
        QFETCH(int, seats);
        QFETCH(QString, errorWord);
        QFETCH(QStringList, names);
        StringStudentList list({ QStringLiteral("left over") });
        const RosterImport result = ImportRoster(path, seats, 1.25f, list);
        QCOMPARE(list.rows, names);
        if (errorWord.isEmpty())
            QCOMPARE(result.message, QString());
        else
            QVERIFY2(result.message.startsWith(
                         QStringLiteral("The class list %1 ").arg(QDir::toNativeSeparators(path)))
                    && result.message.contains(errorWord) && result.message.endsWith(u'.'),
                qPrintable(result.message));
    }

    // The list's rules: rows down to the first empty cell and no more than
    // the room has seats, padded with "Empty"; the font size from the widest
    // measure M over the list (break position, else length):
    // round-half-even(floor(M x seat width) x 1.5).
    void rules_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<int>("seats");
        QTest::addColumn<float>("seatWidth");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("size");
        const QString e = QStringLiteral("Empty");
        QTest::newRow("a gap ends it; M 5 of Empty")
            << QByteArray("Ann Lee\nBo\nCy\nDi\n\nEd\n") << 6 << 1.25f
            << QStringList { "Ann Lee", "Bo", "Cy", "Di", e, e } << 9;
        QTest::newRow("no more rows than seats") << QByteArray("A1\nA2\nA3\nA4\nA5\nA6\nA7\n") << 6 << 1.25f
                                                 << QStringList { "A1", "A2", "A3", "A4", "A5", "A6" } << 3;
        QTest::newRow("an empty first row")
            << QByteArray("\nAnn\n") << 3 << 1.25f << QStringList { e, e, e } << 9;
        QTest::newRow("no break: the length")
            << QByteArray("Madonna\n") << 1 << 1.25f << QStringList { "Madonna" } << 12;
        QTest::newRow("a comma breaks")
            << QByteArray("\"Lee,Ann\"\n") << 1 << 1.25f << QStringList { "Lee,Ann" } << 8;
        QTest::newRow("19.5 to 20") << QByteArray("Bartholomew\n") << 1 << 1.25f
                                    << QStringList { "Bartholomew" } << 20;
        QTest::newRow("22.5 to 22") << QByteArray("Christopher Lee\n") << 1 << 1.25f
                                    << QStringList { "Christopher Lee" } << 22;
        QTest::newRow("a seat of 10 columns, single precision")
            << QByteArray("Madonna\n") << 1 << float(9.0 / 10 / 1.2) << QStringList { "Madonna" } << 8;
        QTest::newRow("no seats") << QByteArray("Ann\n") << 0 << 1.25f << QStringList() << 0;
    }
    void rules()
    {
        QFETCH(QByteArray, csv);
        QFETCH(int, seats);
        QFETCH(float, seatWidth);
        QFETCH(QStringList, names);
        QFETCH(int, size);
        QVERIFY(write(csv, QStringLiteral("room.csv")));
        StringStudentList list({ QStringLiteral("left over") });
        const RosterImport result
            = ImportRoster(folder() + QStringLiteral("room.csv"), seats, seatWidth, list);
        QCOMPARE(list.rows, names);
        QCOMPARE(int(result.NameFontSize), size);
        QCOMPARE(result.message, QString());
    }

    // One roster of every format under file names in other scripts, read as
    // under its own name: every reader opens the file by its full Unicode
    // name, Windows included.
    void unicodeFileNames_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("name");
        QMap<QString, QStringList> expected;
        for (const QStringList &row : TableRows(QStringLiteral("rosters/expected.tsv"))) {
            if (row.at(1) == u"30")
                expected.insert(row.at(0), row.mid(3));
        }
        const QStringList fixtures { "basic.lo.xls", "basic.gnumeric95.xls", "basic.script.biff4.xls",
            "basic.lo.xlsx", "basic.lo.xlsm", "basic.script.xlsb", "basic.lo.ods", "basic.lo.csv",
            "csv-unicode-text.hand.txt", "basic.lo.xml", "basic.lo.html", "basic.lo.slk", "basic.lo.dif",
            "basic.lo-velvet.xlsx" };
        const QStringList names { QStringLiteral("P\u00E9riode 2"), QStringLiteral("\u0141\u00F3d\u017A 3"),
            QStringLiteral("\u03A4\u03AC\u03BE\u03B7 \u0391"),
            QStringLiteral("\u041A\u043B\u0430\u0441\u0441 5"), QStringLiteral("\u4E09\u5E74\u4E8C\u73ED"),
            QStringLiteral("Klasse \U0001F392") };
        for (const QString &fixture : fixtures) {
            QVERIFY2(expected.contains(fixture), qPrintable(fixture));
            for (const QString &name : names)
                QTest::addRow("%s as %s", qPrintable(fixture), qPrintable(name))
                    << fixture << name + fixture.mid(fixture.lastIndexOf(u'.'));
        }
    }
    void unicodeFileNames()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, name);
        QVERIFY(QFile::copy(DataPath(QStringLiteral("rosters/") + fixture), folder() + name));
        StringStudentList named, plain;
        const RosterImport result = ImportRoster(folder() + name, 30, 1.25f, named);
        QCOMPARE(result.message, QString());
        ImportRoster(DataPath(QStringLiteral("rosters/") + fixture), 30, 1.25f, plain);
        QCOMPARE(named.rows, plain.rows);
        QVERIFY(named.rows.first() != u"Empty");
    }

    // Names Windows keeps for devices, drops the end of, or does not allow:
    // a message there, never a device or another file; elsewhere ordinary
    // names, read like any other.
    void windowsNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        const QString fix = QStringLiteral("; rename the file, and its line in Plivan.txt");
        const QString device
            = QStringLiteral("cannot be opened: Windows keeps the name %1 for a device") + fix;
        const QString ending
            = QStringLiteral("cannot be opened: Windows does not allow a file name to end in %1") + fix;
        const QString character
            = QStringLiteral("cannot be opened: Windows does not allow the character %1 in a file name")
            + fix;
        QTest::newRow("CON.xls") << "CON.xls" << device.arg("CON");
        QTest::newRow("aux.csv") << "aux.csv" << device.arg("AUX");
        QTest::newRow("nul.tar.csv") << "nul.tar.csv" << device.arg("NUL");
        QTest::newRow("Prn .csv") << "Prn .csv" << device.arg("PRN");
        QTest::newRow("lpt9.txt") << "lpt9.txt" << device.arg("LPT9");
        QTest::newRow("COM0.xls") << "COM0.xls" << device.arg("COM0");
        QTest::newRow("COM superscript 1") << "COM\u00B9.csv" << device.arg("COM\u00B9");
        QTest::newRow("trailing dot") << "period1.xls." << ending.arg("a dot");
        QTest::newRow("trailing space") << "period1.xls " << ending.arg("a space");
        QTest::newRow("colon") << "Period 1: Geometry.csv" << character.arg("\":\"");
        QTest::newRow("question mark") << "who?.csv" << character.arg("\"?\"");
        QTest::newRow("star") << "p*.csv" << character.arg("\"*\"");
        QTest::newRow("angle") << "a<b.csv" << character.arg("\"<\"");
        QTest::newRow("pipe") << "a|b.csv" << character.arg("\"|\"");
        QTest::newRow("quote") << "a\"b.csv" << character.arg("\"\"\"");
        QTest::newRow("tab") << "a\tb.csv" << character.arg("U+0009");
        QTest::newRow("CONSOLE.csv") << "CONSOLE.csv" << QString();
        QTest::newRow("COM10.csv") << "COM10.csv" << QString();
        QTest::newRow("my.con.csv") << "my.con.csv" << QString();
        QTest::newRow(". inside") << "period.1.csv" << QString();
    }
    void windowsNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        QCOMPARE(WindowsNameProblem(name), problem);
        StringStudentList list;
#ifdef Q_OS_WIN
        // Nothing is made: the file could not be named so.
        if (!problem.isEmpty()) {
            const RosterImport result = ImportRoster(folder() + name, 6, 1.25f, list);
            QCOMPARE(result.message,
                QStringLiteral("The class list %1 %2.")
                    .arg(QDir::toNativeSeparators(folder() + name), problem));
            QCOMPARE(list.rows, QStringList(6, QStringLiteral("Empty")));
            return;
        }
#endif
        QVERIFY(write("Ann Lee\n", name));
        const RosterImport result = ImportRoster(folder() + name, 6, 1.25f, list);
        QCOMPARE(result.message, QString());
        QCOMPARE(list.rows.first(), QStringLiteral("Ann Lee"));
    }

    // A roster that is not there: the message, a list of "Empty", and the
    // font size that "Empty" gives.
    void missingFile()
    {
        const QString path = DataPath(QStringLiteral("rosters/period9.xls"));
        StringStudentList list;
        const RosterImport result = ImportRoster(path, 6, 1.25f, list);
        QCOMPARE(result.message,
            QStringLiteral("The class list %1 was not found.").arg(QDir::toNativeSeparators(path)));
        QCOMPARE(list.rows, QStringList(6, QStringLiteral("Empty")));
        QCOMPARE(int(result.NameFontSize), 9);
    }
};

QTEST_GUILESS_MAIN(TestClassData)
#include "tst_classdata.moc"
