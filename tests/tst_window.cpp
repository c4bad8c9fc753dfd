// The window Form1 as a user meets it: its controls, the commands each step
// leaves on, choosing a class, seating by hand, and what stands on screen.

#include "TestData.h"
#include "TestSurfaces.h"
#include "TestWindow.h"

#include "DataFolder.h"
#include "HelpText.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

using namespace plivan;

namespace {

const QStringList Alpha { "Ann Lee", "Bo Ray", "Cy Tam", "Di Oz" }, Beta { "Bo 1", "Bo 2", "Bo 3" };

// A 2 x 3 room with the classes Alpha and Beta, or the settings given.
bool Classroom(Window &w, const QByteArray &settings = {})
{
    return w.open(2, 3, { { "Alpha", Alpha }, { "Beta", Beta } }, settings);
}

// One step of a user: "select", "choose1", "enter0" (Enter on a class row),
// "help", "inorder", "random", "print", "pick2" (a name; "pick2r" with the
// right button), "seat12" (the middle of the seat in row 1, column 2 of
// the 2 x 3 room, whose seats are 2.5 x 2.9167 inches; "seat12m" with the
// middle button), "at0.3,1.0" (a press at those inches),
// "box" (the next message in a real message box, closed as a user would).
// False for a step it does not know.
bool Step(Window &w, const QString &step)
{
    static const QRegularExpression form(QStringLiteral("^([a-z]+)(?:([0-9.,]+)([rm]?))?$"));
    const QRegularExpressionMatch m = form.match(step);
    const QString verb = m.captured(1), arg = m.captured(2);
    const Qt::MouseButton button = m.captured(3) == u"r" ? Qt::RightButton
        : m.captured(3) == u"m"                          ? Qt::MiddleButton
                                                         : Qt::LeftButton;
    const char *buttons[][2] = { { "select", "CBClassSelect" }, { "help", "CBHelp" },
        { "inorder", "CBInOrder" }, { "random", "CBRandom" }, { "print", "CBPrint" } };
    for (const auto &b : buttons) {
        if (step == QLatin1String(b[0]))
            return w.click(b[1]);
    }
    if ((verb == u"choose" || verb == u"pick") && !arg.isEmpty())
        return w.clickRow(verb == u"choose" ? "LBClasses" : "LBStudents", arg.toInt(), button);
    if (verb == u"seat" && arg.size() == 2) {
        w.press({ 1.75 + arg.at(1).digitValue() * 2.5, 2.2083 + arg.at(0).digitValue() * 2.9167 }, button);
        return true;
    }
    if (verb == u"at" && arg.contains(u',')) {
        w.press(QPointF(arg.section(u',', 0, 0).toDouble(), arg.section(u',', 1).toDouble()));
        return true;
    }
    if (verb == u"enter" && !arg.isEmpty()) {
        w.list("LBClasses")->setCurrentRow(arg.toInt());
        QTest::keyClick(w.list("LBClasses"), Qt::Key_Return);
        return true;
    }
    if (step != u"box")
        return false;
    SetMessageBoxHandler({});
    auto *closer = new QTimer(w.form.get());
    QObject::connect(closer, &QTimer::timeout, [&w, closer] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            box->close();
            SetMessageBoxHandler(w.recorder());
            closer->deleteLater();
        }
    });
    closer->start(20);
    return true;
}

// Select Class, the class list, In Order, Random, Print, the help panel:
// 1 for enabled or shown.
QString Commands(const Window &w)
{
    QString states;
    for (const char *name : { "CBClassSelect", "LBClasses", "CBInOrder", "CBRandom", "CBPrint", "Text1" }) {
        const QWidget *c = w.control(name);
        const bool shows = qobject_cast<const QListWidget *>(c) || qobject_cast<const QPlainTextEdit *>(c);
        states += (shows ? c->isVisibleTo(w.form.get()) : c->isEnabled()) ? u'1' : u'0';
    }
    return states;
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    // The window as it opens: its size and caption, the buttons' captions,
    // the focus order, the heading's font, and the help text as written
    // (tests/data/help.txt), line by line with CR LF at each end, shown but
    // for the settings file it names.
    void controls()
    {
        Window w;
        QVERIFY(Classroom(w));
        for (const auto &[name, caption, place] : Buttons)
            QCOMPARE(w.control<QPushButton>(name)->text(), QLatin1String(caption));
        QCOMPARE(w.form->size(), QSize(981, 670));
        QCOMPARE(w.form->minimumSize(), w.form->maximumSize());
        QCOMPARE(w.form->windowTitle(), QStringLiteral("Plivan   1.02") + QString(81, u' '));
        QStringList order { QStringLiteral("LBStudents") };
        for (QWidget *c = w.control("LBStudents")->nextInFocusChain(); c != w.control("LBStudents");
             c = c->nextInFocusChain()) {
            if (c->parentWidget() == w.form.get() && c->focusPolicy() != Qt::NoFocus)
                order << c->objectName();
        }
        QCOMPARE(order.join(u' '),
            QStringLiteral(
                "LBStudents CBRandom CBInOrder CBPrint CBExit LBClasses CBClassSelect CBHelp Text1"));
        const QFont font = w.control("LClassTeacher")->font();
        QVERIFY(font.pointSize() == 24 && font.weight() == QFont::Normal && !font.italic()
            && !font.underline() && !font.strikeOut());
        const QStringList help
            = QString::fromUtf8(ReadFile(DataPath(QStringLiteral("help.txt")))).split(u'\n');
        QCOMPARE(HelpText(QString()).split(QStringLiteral("\r\n")), help);
        QCOMPARE(w.control<QPlainTextEdit>("Text1")
                     ->toPlainText()
                     .replace(SettingsFilePath(DefaultDataFolder()), "c:\\plivan\\plivan.txt")
                     .split(u'\n'),
            help);
        QVERIFY(w.messages.isEmpty());
    }

    // The commands after each step (see Commands), from the window as it
    // opens, and while a message is shown ("!"); a settings file that stops
    // the load leaves them as created.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("states");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("classes");
        QTest::newRow("every command")
            << QByteArray() << "help select help choose0 inorder select choose1 random print"
            << "100000 100001 010001 010000 101100 101110 010000 101100 101110 !101110 101110" << 1 << 2;
        QTest::newRow("by hand Print stays off") << QByteArray() << "select choose0 pick0 seat00"
                                                 << "100000 010000 101100 101100 101100" << 0 << 2;
        QTest::newRow("a press on no row") << QByteArray() << "select choose9"
                                           << "100000 010000 010000" << 0 << 2;
        QTest::newRow("Enter on a class") << QByteArray() << "select enter1"
                                          << "100000 010000 101100" << 0 << 2;
        QTest::newRow("stopped load: no teacher") << QByteArray("Teacher\r\n") << ""
                                                  << "101110" << 1 << 0;
        QTest::newRow("stopped load: a class line without #")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n2,2\r\n#Class\r\nA#a.csv\r\nB#b.csv\r\n\r\n") << ""
            << "101110" << 1 << 2;
        QTest::newRow("stopped load: no seats")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n0,0\r\n#Class\r\nA#a.csv\r\n")
            << "inorder random pick0 at1.0,1.0"
            << "101110 101110 101110 101110 101110" << 1 << 0;
        QTest::newRow("a roster that is missing")
            << QByteArray("#Teacher\r\nT\r\n#Row\r\n2,2\r\n#Class\r\nA#missing.csv\r\n") << "select choose0"
            << "100000 010000 !101100 101100" << 1 << 1;
    }
    void commands()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, steps);
        QFETCH(QString, states);
        QFETCH(int, messages);
        QFETCH(int, classes);
        Window w;
        QStringList seen;
        w.onMessage = [&] { seen << u'!' + Commands(w); };
        QVERIFY(Classroom(w, settings));
        seen << Commands(w);
        for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
            QVERIFY2(Step(w, step), qPrintable(step));
            seen << Commands(w);
        }
        QCOMPARE(seen.join(u' '), states);
        QCOMPARE(w.messages.size(), messages);
        QCOMPARE(w.listed("LBClasses").mid(0, 1),
            QStringList(classes ? 1 : 0, settings.isEmpty() ? "Alpha" : "A"));
        QCOMPARE(w.list("LBClasses")->count(), classes);
    }

    // Choosing a class: its row's class and roster (found whatever its
    // letter case), a fresh chart with every seat free, and the roster read
    // again each time. Each window hears its own messages.
    void classChoice()
    {
        Window w, fresh;
        for (Window *x : { &w, &fresh })
            QVERIFY(x->open(2, 2,
                { { "Alpha", { "Christopher 1", "Christopher 2", "Christopher 3", "Christopher 4" } },
                    { "Beta", { "Bo 1", "Bo 2" } } }));
        QVERIFY(fresh.choose(1));
        QVERIFY(w.choose(0));
        QCOMPARE(w.form->state().ClassIndex, 1);
        QVERIFY(w.click("CBInOrder"));
        QCOMPARE(
            w.seated(), QStringList({ "Christopher 1", "Christopher 2", "Christopher 3", "Christopher 4" }));
        // Select Class keeps the chart and the list.
        const QImage chart = w.form->chart();
        QVERIFY(w.click("CBClassSelect"));
        QCOMPARE(w.form->chart(), chart);
        QCOMPARE(w.listed(), QStringList(4, QString()));
        QVERIFY(QFile::rename(w.folder() + "2.csv", w.folder() + "2.CSV"));
        QVERIFY(w.clickRow("LBClasses", 1));
        QCOMPARE(w.form->state().ClassIndex, 2);
        QCOMPARE(w.form->chart(), fresh.form->chart());
        QCOMPARE(w.listed(), QStringList({ "Bo 1", "Bo 2", "Empty", "Empty" }));
        QCOMPARE(w.seated(), QStringList(4, QStringLiteral("-")));
        QVERIFY(w.roster(QStringLiteral("2.csv"), { "Di 1", "Di 2", "Di 3" }));
        QVERIFY(w.click("CBInOrder"));
        QVERIFY(w.choose(1));
        QCOMPARE(w.listed(), QStringList({ "Di 1", "Di 2", "Di 3", "Empty" }));
        QCOMPARE(w.seated(), QStringList(4, QStringLiteral("-")));
        QVERIFY(w.messages.isEmpty());
        QVERIFY(QFile::remove(w.folder() + "1.csv"));
        QVERIFY(w.choose(0));
        QCOMPARE(w.messages.size(), 1);
        QVERIFY(fresh.messages.isEmpty());
    }

    // Random Seating with the program's own random source: two presses give
    // two different charts.
    void randomCharts()
    {
        QStringList names, charts;
        for (int k = 1; k <= 30; ++k)
            names << QStringLiteral("Name %1").arg(k);
        Window w;
        QVERIFY(w.open(5, 6, { { "Thirty", names } }));
        for (int press = 0; press < 2; ++press) {
            QVERIFY(w.choose(0));
            QVERIFY(w.click("CBRandom"));
            charts << w.seated().join(u'|');
        }
        QVERIFY(charts.first() != charts.last());
    }

    // The heading: "<class> - <teacher>" after (70 - its length) / 2 spaces,
    // a half to the even neighbour, none below; shown as typed, never as
    // markup: on screen it ends where its characters end. The grid below it:
    // lines 2 pixels wide at their inch positions, 96 pixels to the inch.
    void chartOnScreen_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("spaces");
        QTest::newRow("32 characters: 19 spaces") << "Period 1 Geometry" << 19;
        QTest::newRow("31: 19.5 to 20") << "Period 4 Algebra" << 20;
        QTest::newRow("33: 18.5 to 18") << "Period 10 Geometry" << 18;
        QTest::newRow("67: 2") << QString(52, u'c') << 2;
        QTest::newRow("69: 0.5 to 0") << QString(54, u'c') << 0;
        QTest::newRow("71: none") << QString(56, u'c') << 0;
        QTest::newRow("80: none, cut at the label's end") << QString(65, u'c') << 0;
        QTest::newRow("markup shown as typed") << "<b>Lab</b>" << 22;
    }
    void chartOnScreen()
    {
        QFETCH(QString, className);
        QFETCH(int, spaces);
        // Rooms of 5 x 6 seats, and of one seat where the heading has no spaces.
        const bool one = spaces == 0;
        const QList<double> xs
            = one ? QList<double> { 0.5, 8.0 } : QList<double> { 0.5, 1.75, 3.0, 4.25, 5.5, 6.75, 8.0 },
            ys = one ? QList<double> { 0.75, 6.5833 }
                     : QList<double> { 0.75, 1.9167, 3.0833, 4.25, 5.4167, 6.5833 };
        Window w;
        QVERIFY(w.open(one ? 1 : 5, one ? 1 : 6, { { className, Alpha } }));
        QVERIFY(w.choose(0));
        auto *label = w.control<QLabel>("LClassTeacher");
        QCOMPARE(label->text(), QString(spaces, u' ') + className + QStringLiteral(" - Mrs. Tolvane"));
        const QImage shot = w.onScreen();
        const int inkRight = InkIn(shot, label->geometry()).right() - label->x();
        const int textRight
            = std::min(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width() - 1);
        QVERIFY2(qAbs(inkRight - textRight) <= 4,
            qPrintable(QStringLiteral("ink ends at %1, text at %2").arg(inkRight).arg(textRight)));
        QVERIFY(LinesAt(shot, 96, true, ys.last() - 0.1, 0.2, 8.1, xs));
        QVERIFY(LinesAt(shot, 96, false, xs.first() + 0.9, 0.6, 6.9, ys));
        QCOMPARE(InkIn(shot, QRect(24, 300, 48, 1)), QRect(47, 300, 2, 1)); // the grid's left line
    }

    // Seating by hand and the automatic commands, step by step (see Step),
    // in the classroom with Alpha chosen: what is seated ("-" for a free
    // seat), listed and said, and which seats show ink inside their boxes.
    // After every step, and after Beta is chosen next, the screen shows what
    // the window holds.
    void seating_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("seated");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("message");
        const QString f = QStringLiteral("-"), e = QStringLiteral("Empty");
        const QStringList none(6, f), all { "Ann Lee", "Bo Ray", "Cy Tam", "Di Oz", e, e },
            blank(6, QString());
        const QStringList withoutAnn { "Bo Ray", "Cy Tam", "Di Oz", e, e, "" },
            withoutBo { "Ann Lee", "Cy Tam", "Di Oz", e, e, "" };
        QTest::newRow("a pick, then a seat")
            << "pick1 seat12" << QStringList { f, f, f, f, f, "Bo Ray" } << withoutBo << "";
        QTest::newRow("the right button")
            << "pick1r seat12r" << QStringList { f, f, f, f, f, "Bo Ray" } << withoutBo << "";
        QTest::newRow("the middle button")
            << "pick0m seat00m" << QStringList { "Ann Lee", f, f, f, f, f } << withoutAnn << "";
        QTest::newRow("a shared edge: the box to its right")
            << "pick0 at3.0,1.0" << QStringList { f, "Ann Lee", f, f, f, f } << withoutAnn << "";
        QTest::newRow("left of the grid: the pick is gone") << "pick0 at0.45,1.0 seat11" << none << all << "";
        QTest::newRow("above the grid") << "pick0 at1.0,0.7 seat11" << none << all << "";
        QTest::newRow("right of the grid") << "pick0 at8.05,3.0 seat11" << none << all << "";
        QTest::newRow("below the grid") << "pick0 at4.0,6.62 seat11" << none << all << "";
        QTest::newRow("no name picked") << "seat11" << none << all << "";
        QTest::newRow("the last pick counts; a blank row picks nobody")
            << "pick0 pick2 seat01 pick5 seat02 inorder"
            << QStringList { "Ann Lee", "Cy Tam", "Bo Ray", "Di Oz", e, e } << blank << "";
        QTest::newRow("a seat taken")
            << "pick0 seat00 pick0 seat00 seat01" << QStringList { "Ann Lee", f, f, f, f, f } << withoutAnn
            << "Seat already taken";
        QTest::newRow("the message in a real box")
            << "pick0 seat00 box pick0 seat00" << QStringList { "Ann Lee", f, f, f, f, f } << withoutAnn
            << "";
        QTest::newRow("by hand, then in order")
            << "pick1 seat00 inorder" << QStringList { "Bo Ray", "Ann Lee", "Cy Tam", "Di Oz", e, e } << blank
            << "";
        // Numbers just below 1 take the last name still listed each time.
        QTest::newRow("at random") << "random" << QStringList { e, e, "Di Oz", "Cy Tam", "Bo Ray", "Ann Lee" }
                                   << blank << "";
        QTest::newRow("in order, then Print")
            << "inorder print" << all << blank << "No printer was found. The chart was saved as ";
        QTest::newRow("the help panel, then a press above the grid")
            << "pick0 help help at1.0,0.7" << none << all << "";
    }
    void seating()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, seated);
        QFETCH(QStringList, listed);
        QFETCH(QString, message);
        Window w;
        QVERIFY(Classroom(w));
        w.form->setRandomSource(std::make_unique<FixedRandom>(QList<float>(6, 0.99f)));
        QVERIFY(w.choose(0));
        for (const QString &step : steps.split(u' ')) {
            QVERIFY2(Step(w, step), qPrintable(step));
            QVERIFY2(w.screenIsFresh(), qPrintable(QStringLiteral("the screen after ") + step));
        }
        QCOMPARE(w.seated(), seated);
        QCOMPARE(w.listed(), listed);
        QString ink;
        for (const QString &name : seated)
            ink += name.isEmpty() || name == u"-" ? u'0' : u'1';
        QCOMPARE(InkedSeats(w.onScreen(), { 0.5, 3, 5.5, 8 }, { 0.75, 3.6667, 6.5833 }), ink);
        QCOMPARE(w.messages.join(u'|').left(message.size()), message);
        QCOMPARE(w.messages.size(), message.isEmpty() ? 0 : 1);
        QVERIFY(!w.form->state().StudentPicked);
        QVERIFY(w.choose(1));
        QCOMPARE(w.listed(), Beta + QStringList(3, QStringLiteral("Empty")));
        QVERIFY2(w.screenIsFresh(), "the screen after Beta is chosen");
        QVERIFY(w.click("CBExit"));
        QVERIFY(!w.form->isVisible());
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
