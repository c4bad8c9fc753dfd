#include "classdata/DataFolder.h"
#include "classdata/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace plivan;

namespace {

const QByteArray ExampleFile = "#Teacher Name\r\n"
                               "Mrs. Tolvane\r\n"
                               "#Rows of seats, Cols of Seats\r\n"
                               "5,6\r\n"
                               "#Class Names and student xls files\r\n"
                               "Period 1 Geometry#period1.xls\r\n"
                               "Period 2 Geometry#period2.xls\r\n"
                               "Period 3 Geometry#period3.xls\r\n"
                               "Period 4 Algebra#period4.xls\r\n"
                               "Period 6 Algebra#period6.xls\r\n"
                               "Period 7 Pre-Algebra#period7.xls\r\n";

const QByteArray Head = "#Teacher Name\r\nMrs. Tolvane\r\n#Rows of seats, Cols of Seats\r\n5,6\r\n"
                        "#Class Names and student xls files\r\n";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString folder() const { return dir.path() + QLatin1Char('/'); }

    void write(const QByteArray &content, const QString &name = QStringLiteral("Plivan.txt"))
    {
        QFile file(folder() + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

private slots:
    void init()
    {
        for (const QString &entry : QDir(dir.path()).entryList(QDir::Files))
            QFile::remove(dir.filePath(entry));
    }

    void exampleFile()
    {
        write(ExampleFile);
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QVERIFY(load.complete);
        QVERIFY(load.message.isEmpty());
        QCOMPARE(state.TeacherName, QStringLiteral("Mrs. Tolvane"));
        QCOMPARE(state.SeatRows, 5);
        QCOMPARE(state.SeatCols, 6);
        QCOMPARE(state.SeatHeight, 1.1666666666666667);
        QCOMPARE(state.SeatWidth, 1.25f);
        QCOMPARE(state.ClassNames,
                 QStringList({QString(), QStringLiteral("Period 1 Geometry"),
                              QStringLiteral("Period 2 Geometry"), QStringLiteral("Period 3 Geometry"),
                              QStringLiteral("Period 4 Algebra"), QStringLiteral("Period 6 Algebra"),
                              QStringLiteral("Period 7 Pre-Algebra")}));
        QCOMPARE(state.RosterFiles,
                 QStringList({QString(), QStringLiteral("period1.xls"), QStringLiteral("period2.xls"),
                              QStringLiteral("period3.xls"), QStringLiteral("period4.xls"),
                              QStringLiteral("period6.xls"), QStringLiteral("period7.xls")}));
    }

    // Seat sizes: 7 / rows / 1.2 in double precision; 9 / cols / 1.2 kept in
    // single precision.
    void seatSizes_data()
    {
        QTest::addColumn<QByteArray>("size");
        QTest::addColumn<double>("height");
        QTest::addColumn<float>("width");
        QTest::newRow("1 x 1") << QByteArray("1,1") << 7.0 / 1 / 1.2 << float(9.0 / 1 / 1.2);
        QTest::newRow("5 x 10") << QByteArray("5,10") << 7.0 / 5 / 1.2 << float(9.0 / 10 / 1.2);
        QTest::newRow("7 x 7") << QByteArray("7,7") << 7.0 / 7 / 1.2 << float(9.0 / 7 / 1.2);
        QTest::newRow("spaces") << QByteArray(" 5 , 6 ") << 7.0 / 5 / 1.2 << 1.25f;
        QTest::newRow("50 x 1") << QByteArray("50,1") << 7.0 / 50 / 1.2 << float(9.0 / 1.2);
    }
    void seatSizes()
    {
        QFETCH(QByteArray, size);
        QFETCH(double, height);
        QFETCH(float, width);
        write("#Teacher\r\nT\r\n#Row\r\n" + size + "\r\n#Class\r\n");
        WindowState state;
        QVERIFY(LoadSettings(folder(), state).complete);
        QCOMPARE(state.SeatHeight, height);
        QCOMPARE(state.SeatWidth, width);
    }

    // Where a load stops, its message, and what it had filled by then.
    void stops_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("teacher");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("classes");

        const QStringList none;
        QTest::newRow("teacher key lower case")
            << QByteArray("#teacher Name\r\nT\r\n") << SettingsMessage::TeacherMissing << QString() << 0 << none;
        QTest::newRow("space before teacher key")
            << QByteArray(" #Teacher Name\r\nT\r\n") << SettingsMessage::TeacherMissing << QString() << 0 << none;
        QTest::newRow("teacher key too short")
            << QByteArray("#Teache\r\n") << SettingsMessage::TeacherMissing << QString() << 0 << none;
        QTest::newRow("empty file") << QByteArray() << SettingsMessage::TeacherMissing << QString() << 0 << none;
        QTest::newRow("empty line before size header")
            << QByteArray("#Teacher\r\nT\r\n\r\n#Row\r\n5,6\r\n#Class\r\n") << SettingsMessage::RowMissing
            << QStringLiteral("T") << 0 << none;
        QTest::newRow("file ends after teacher")
            << QByteArray("#Teacher\r\nMr. X\r\n") << SettingsMessage::RowMissing << QStringLiteral("Mr. X") << 0
            << none;
        QTest::newRow("empty line after size")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n5,6\r\n\r\n#Class\r\n") << SettingsMessage::ClassMissing
            << QStringLiteral("T") << 5 << none;
        QTest::newRow("file ends after size")
            << QByteArray("#Teacher\r\nT\r\n#Rows\r\n2,3") << SettingsMessage::ClassMissing << QStringLiteral("T")
            << 2 << none;
        QTest::newRow("two line ends at the end")
            << QByteArray(Head + "A#a.xls\r\nB#b.xls\r\n\r\n") << SettingsMessage::NoSeparator
            << QStringLiteral("Mrs. Tolvane") << 5 << QStringList({QStringLiteral("A"), QStringLiteral("B")});
        QTest::newRow("class line without #")
            << QByteArray(Head + "A#a.xls\r\nNo separator\r\nC#c.xls\r\n") << SettingsMessage::NoSeparator
            << QStringLiteral("Mrs. Tolvane") << 5 << QStringList({QStringLiteral("A")});
    }
    void stops()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(QString, teacher);
        QFETCH(int, rows);
        QFETCH(QStringList, classes);
        write(content);
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QVERIFY(!load.complete);
        QCOMPARE(load.message, message);
        QCOMPARE(state.TeacherName, teacher);
        QCOMPARE(state.SeatRows, rows);
        QCOMPARE(state.ClassNames.mid(1), classes);
    }

    // Line 4 must be two whole numbers of at least 1 with at most 50 seats;
    // anything else stops the load with a message and leaves no room.
    void badSize_data()
    {
        QTest::addColumn<QByteArray>("size");
        QTest::addColumn<QString>("messagePart");
        const QString form = QStringLiteral("for example 5,6");
        QTest::newRow("zero rows") << QByteArray("0,6") << form;
        QTest::newRow("zero columns") << QByteArray("5,0") << form;
        QTest::newRow("negative") << QByteArray("-5,6") << form;
        QTest::newRow("text") << QByteArray("five,six") << form;
        QTest::newRow("one value") << QByteArray("5") << form;
        QTest::newRow("fraction") << QByteArray("5.5,6") << form;
        QTest::newRow("empty") << QByteArray("") << form;
        QTest::newRow("huge") << QByteArray("99999999999,6") << form;
        QTest::newRow("51 seats") << QByteArray("51,1") << QStringLiteral("51 seats");
        QTest::newRow("8 x 7") << QByteArray("8,7") << QStringLiteral("8 rows of 7 seats, which is 56 seats");
    }
    void badSize()
    {
        QFETCH(QByteArray, size);
        QFETCH(QString, messagePart);
        write("#Teacher\r\nT\r\n#Row\r\n" + size + "\r\n#Class\r\nA#a.xls\r\n");
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QVERIFY(!load.complete);
        QVERIFY2(load.message.contains(messagePart), qPrintable(load.message));
        QCOMPARE(state.SeatRows, 0);
        QCOMPARE(state.SeatCols, 0);
        QCOMPARE(state.classCount(), 0);
    }

    void missingFile()
    {
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QVERIFY(!load.complete);
        QVERIFY(load.message.contains(folder() + QStringLiteral("Plivan.txt")));
        QVERIFY(load.message.contains(QStringLiteral("Help")));
    }

    void unreadableFile()
    {
        QVERIFY(QDir(folder()).mkpath(QStringLiteral("Plivan.txt")));
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QDir(folder()).rmdir(QStringLiteral("Plivan.txt"));
        QVERIFY(!load.complete);
        QVERIFY(load.message.contains(QStringLiteral("could not be read")));
    }

    // A class line splits at its first '#'; nothing is trimmed.
    void classLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("rosterFile");
        QTest::newRow("plain") << QByteArray("Period 1 Geometry#period1.xls") << QStringLiteral("Period 1 Geometry")
                               << QStringLiteral("period1.xls");
        QTest::newRow("second #") << QByteArray("Art#room#2.xls") << QStringLiteral("Art")
                                  << QStringLiteral("room#2.xls");
        QTest::newRow("spaces kept") << QByteArray("Art # art.xls ") << QStringLiteral("Art ")
                                     << QStringLiteral(" art.xls ");
        QTest::newRow("starts with #") << QByteArray("#art.xls") << QString() << QStringLiteral("art.xls");
        QTest::newRow("nothing after #") << QByteArray("Art#") << QStringLiteral("Art") << QString();
    }
    void classLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, className);
        QFETCH(QString, rosterFile);
        write(Head + line);
        WindowState state;
        QVERIFY(LoadSettings(folder(), state).complete);
        QCOMPARE(state.ClassNames, QStringList({QString(), className}));
        QCOMPARE(state.RosterFiles, QStringList({QString(), rosterFile}));
    }

    // Headers are matched on their first characters only; line ends of every
    // kind; UTF-8 with or without a byte order mark, else Windows-1252.
    void fileForms_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("teacher");
        QTest::addColumn<QStringList>("classes");
        const QStringList ab{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("keys followed by text")
            << QByteArray("#Teachers of today\r\nT\r\n#Rowdy\r\n5,6\r\n#Classy\r\nA#a\r\nB#b\r\n") << QStringLiteral("T")
            << ab;
        QTest::newRow("LF") << QByteArray("#Teacher\nT\n#Row\n5,6\n#Class\nA#a\nB#b\n") << QStringLiteral("T") << ab;
        QTest::newRow("CR") << QByteArray("#Teacher\rT\r#Row\r5,6\r#Class\rA#a\rB#b\r") << QStringLiteral("T") << ab;
        QTest::newRow("no final line end")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n5,6\r\n#Class\r\nA#a\r\nB#b") << QStringLiteral("T") << ab;
        QTest::newRow("ends after class header")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n5,6\r\n#Class\r\n") << QStringLiteral("T") << QStringList();
        QTest::newRow("UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBF#Teacher\r\nMme Zo\xC3\xAB\r\n#Row\r\n5,6\r\n#Class\r\nA#a\r\nB#b\r\n")
            << QStringLiteral(u"Mme Zoë") << ab;
        QTest::newRow("UTF-8 beyond the BMP")
            << QByteArray("#Teacher\r\n\xF0\xA0\xAE\xB7 Sensei\r\n#Row\r\n5,6\r\n#Class\r\nA#a\r\nB#b\r\n")
            << QStringLiteral(u"\U00020BB7 Sensei") << ab;
        QTest::newRow("Windows-1252")
            << QByteArray("#Teacher\r\nMme Zo\xEB \x80\x96\r\n#Row\r\n5,6\r\n#Class\r\nA#a\r\nB#b\r\n")
            << QStringLiteral(u"Mme Zoë €–") << ab;
        QTest::newRow("teacher kept whole")
            << QByteArray("#Teacher\r\n  Mr. Ray  \r\n#Row\r\n5,6\r\n#Class\r\nA#a\r\nB#b\r\n")
            << QStringLiteral("  Mr. Ray  ") << ab;
    }
    void fileForms()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, teacher);
        QFETCH(QStringList, classes);
        write(content);
        WindowState state;
        const SettingsLoad load = LoadSettings(folder(), state);
        QVERIFY2(load.complete, qPrintable(load.message));
        QCOMPARE(state.TeacherName, teacher);
        QCOMPARE(state.ClassNames.mid(1), classes);
    }

    void moreThanTenClasses()
    {
        QByteArray content = Head;
        for (int k = 1; k <= 14; ++k)
            content += "Class " + QByteArray::number(k) + "#c" + QByteArray::number(k) + ".xls\r\n";
        write(content);
        WindowState state;
        QVERIFY(LoadSettings(folder(), state).complete);
        QCOMPARE(state.classCount(), 14);
        QCOMPARE(state.ClassNames.at(0), QString());
        QCOMPARE(state.ClassNames.at(14), QStringLiteral("Class 14"));
        QCOMPARE(state.RosterFiles.at(11), QStringLiteral("c11.xls"));
    }

    // A file copied from Windows often changes case; the one entry that
    // matches ignoring case is used, but never a guess among several.
    void caseInsensitiveNames()
    {
        write(ExampleFile, QStringLiteral("PLIVAN.TXT"));
        WindowState state;
        QVERIFY(LoadSettings(folder(), state).complete);
        QCOMPARE(ResolveInFolder(folder(), QStringLiteral("plivan.txt")), folder() + QStringLiteral("PLIVAN.TXT"));
        write("x", QStringLiteral("Plivan.TXT"));
        QCOMPARE(ResolveInFolder(folder(), QStringLiteral("plivan.txt")), folder() + QStringLiteral("plivan.txt"));
        QCOMPARE(ResolveInFolder(folder(), QStringLiteral("Plivan.TXT")), folder() + QStringLiteral("Plivan.TXT"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
