#include "TestFolder.h"

#include "app/Form1.h"
#include "app/HelpText.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace plivan;

namespace {

const QStringList ExampleClasses{
    QStringLiteral("Period 1 Geometry#period1.xls"), QStringLiteral("Period 2 Geometry#period2.xls"),
    QStringLiteral("Period 3 Geometry#period3.xls"), QStringLiteral("Period 4 Algebra#period4.xls"),
    QStringLiteral("Period 6 Algebra#period6.xls"),  QStringLiteral("Period 7 Pre-Algebra#period7.xls")};

// The states a test looks at: Select Class, the class list, In Order, Random,
// Print, the help panel. 1 for enabled or shown.
QString Commands(const Form1 &form)
{
    const auto on = [&form](const char *name) {
        const QWidget *w = form.findChild<QWidget *>(QLatin1String(name));
        const bool isList = qobject_cast<const QListWidget *>(w) || qobject_cast<const QPlainTextEdit *>(w);
        return (isList ? w->isVisibleTo(&form) : w->isEnabled()) ? QLatin1Char('1') : QLatin1Char('0');
    };
    return QString() + on("CBClassSelect") + on("LBClasses") + on("CBInOrder") + on("CBRandom") + on("CBPrint")
           + on("Text1");
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    // Every control in its place (twips / 15), with its caption, in tab order.
    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::newRow("LBStudents") << "LBStudents" << QRect(784, 8, 153, 524) << QString();
        QTest::newRow("CBRandom") << "CBRandom" << QRect(784, 592, 89, 25) << "Random Seating";
        QTest::newRow("CBInOrder") << "CBInOrder" << QRect(784, 632, 89, 25) << "In Order Seating";
        QTest::newRow("CBPrint") << "CBPrint" << QRect(896, 592, 73, 25) << "Print";
        QTest::newRow("CBExit") << "CBExit" << QRect(896, 632, 73, 25) << "Exit";
        QTest::newRow("LBClasses") << "LBClasses" << QRect(784, 384, 153, 160) << QString();
        QTest::newRow("CBClassSelect") << "CBClassSelect" << QRect(784, 552, 89, 25) << "Select Class";
        QTest::newRow("LClassTeacher") << "LClassTeacher" << QRect(24, 8, 697, 41) << QString();
        QTest::newRow("CBHelp") << "CBHelp" << QRect(896, 552, 73, 25) << "Help";
        QTest::newRow("Text1") << "Text1" << QRect(408, 8, 357, 625) << QString();
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        TestFolder folder;
        folder.writeSettings(5, 6, ExampleClasses);
        MessageRecorder recorder;
        Form1 form(folder.path());
        QWidget *control = form.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->geometry(), geometry);
        if (auto *button = qobject_cast<QPushButton *>(control))
            QCOMPARE(button->text(), caption);
    }

    void window()
    {
        TestFolder folder;
        folder.writeSettings(5, 6, ExampleClasses);
        MessageRecorder recorder;
        Form1 form(folder.path());
        QCOMPARE(form.size(), QSize(981, 670));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.windowTitle().startsWith(QStringLiteral("Plivan   1.02") + QString(81, QLatin1Char(' '))));

        // Focus moves in the listed order, the label left out.
        const QStringList order{QStringLiteral("LBStudents"), QStringLiteral("CBRandom"), QStringLiteral("CBInOrder"),
                                QStringLiteral("CBPrint"), QStringLiteral("CBExit"), QStringLiteral("LBClasses"),
                                QStringLiteral("CBClassSelect"), QStringLiteral("CBHelp"), QStringLiteral("Text1")};
        QWidget *w = form.findChild<QWidget *>(order.first());
        for (qsizetype i = 1; i < order.size(); ++i) {
            do
                w = w->nextInFocusChain();
            while (w->parentWidget() != &form || w->focusPolicy() == Qt::NoFocus);
            QCOMPARE(w->objectName(), order.at(i));
        }

        auto *label = form.findChild<QLabel *>(QStringLiteral("LClassTeacher"));
        QCOMPARE(label->font().pointSize(), 24);
        QCOMPARE(label->font().weight(), QFont::Normal);
        QVERIFY(!label->font().italic());
        QCOMPARE(label->text(), QString());

        auto *help = form.findChild<QPlainTextEdit *>(QStringLiteral("Text1"));
        QVERIFY(help->isReadOnly());
        QCOMPARE(help->wordWrapMode(), QTextOption::WordWrap);
        QCOMPARE(help->toPlainText(), HelpText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));

        QCOMPARE(form.findChild<QWidget *>(QStringLiteral("LBStudents"))->accessibleName(), QStringLiteral("Students"));
        QCOMPARE(form.findChild<QWidget *>(QStringLiteral("LBClasses"))->accessibleName(), QStringLiteral("Classes"));
        QVERIFY(recorder.messages.isEmpty());
    }

    // The help text as written: 47 lines, 1860 characters with CR LF ends.
    void helpText()
    {
        const QString text = HelpText(QStringLiteral("c:\\plivan\\plivan.txt"));
        QCOMPARE(text.size(), 1860);
        QCOMPARE(text.count(QStringLiteral("\r\n")), 47);
        QVERIFY(text.endsWith(QStringLiteral("to exit help.\r\n")));
        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.at(0), QStringLiteral("\t\tPlivan Details"));
        QCOMPARE(lines.at(2), QStringLiteral("Plivan reads a text file (c:\\plivan\\plivan.txt) in order to get "));
        QCOMPARE(lines.at(21), QStringLiteral(" '#Teacher Name' is a place holder for the name that follows it"));
        QCOMPARE(lines.at(23), QStringLiteral("\tthe numbers that follow it"));
        QCOMPARE(lines.at(26), QStringLiteral("\tcontains the student names. The '#' between the class "));
        for (int empty : {2, 6, 18, 19, 21, 30, 33, 39, 46})
            QCOMPARE(lines.at(empty - 1), QString());
        // Elsewhere than Windows, line 3 names the real settings file.
        const QString local = HelpText(QStringLiteral("/home/ann/Plivan/Plivan.txt"));
        QVERIFY(local.contains(QStringLiteral("(/home/ann/Plivan/Plivan.txt) in order to get \r\n")));
        QCOMPARE(local.size(), 1860 - 20 + 27);
    }

    // Commands after each step, as Select Class, Help and the load leave them:
    // Select Class, class list, In Order, Random, Print, help panel.
    void commandStates()
    {
        TestFolder folder;
        folder.writeSettings(5, 6, ExampleClasses);
        MessageRecorder recorder;
        Form1 form(folder.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(Commands(form), QStringLiteral("100000"));
        auto *classes = form.findChild<QListWidget *>(QStringLiteral("LBClasses"));
        QCOMPARE(classes->count(), 6);
        QCOMPARE(classes->item(3)->text(), QStringLiteral("Period 4 Algebra"));

        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CBHelp")), Qt::LeftButton);
        QCOMPARE(Commands(form), QStringLiteral("100001"));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CBClassSelect")), Qt::LeftButton);
        QCOMPARE(Commands(form), QStringLiteral("010001"));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CBHelp")), Qt::LeftButton);
        QCOMPARE(Commands(form), QStringLiteral("010000"));
        QVERIFY(recorder.messages.isEmpty());
    }

    // A load stopped by a message leaves the three commands enabled as created.
    void stoppedLoad_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("listed");
        QTest::newRow("no teacher") << QByteArray("Teacher\r\n") << 0;
        QTest::newRow("class line without #")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n2,2\r\n#Class\r\nA#a.csv\r\nB#b.csv\r\n\r\n") << 2;
        QTest::newRow("too many seats") << QByteArray("#Teacher\r\nT\r\n#Row\r\n10,10\r\n#Class\r\nA#a.csv\r\n") << 0;
    }
    void stoppedLoad()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, listed);
        TestFolder folder;
        folder.write(QStringLiteral("Plivan.txt"), content);
        MessageRecorder recorder;
        Form1 form(folder.path());
        QCOMPARE(recorder.messages.size(), 1);
        QCOMPARE(Commands(form), QStringLiteral("101110"));
        QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("LBClasses"))->count(), listed);
    }

    // With no room (a refused size), the seating buttons and Print do nothing harmful.
    void noRoomCommands()
    {
        TestFolder folder;
        folder.write(QStringLiteral("Plivan.txt"), "#Teacher\r\nT\r\n#Row\r\n0,0\r\n#Class\r\nA#a.csv\r\n");
        MessageRecorder recorder;
        Form1 form(folder.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const char *name : {"CBInOrder", "CBRandom", "CBInOrder"})
            QTest::mouseClick(form.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
        QTest::mouseClick(form.findChild<QWidget *>(QStringLiteral("LBStudents")), Qt::LeftButton);
        QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("LBStudents"))->count(), 0);
        QVERIFY(form.state().SeatTaken == decltype(form.state().SeatTaken){});
        QCOMPARE(recorder.messages.size(), 1); // the one about line 4
    }

    void exitEndsTheProgram()
    {
        TestFolder folder;
        folder.writeSettings(5, 6, ExampleClasses);
        MessageRecorder recorder;
        Form1 form(folder.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("CBExit")), Qt::LeftButton);
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
