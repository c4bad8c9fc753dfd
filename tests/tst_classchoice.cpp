#include "TestFolder.h"

#include "app/Form1.h"
#include "app/Heading.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace plivan;

namespace {

QStringList Names(int count, const QString &stem)
{
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names << QStringLiteral("%1 %2").arg(stem).arg(i);
    return names;
}

QStringList Listed(const Form1 &form)
{
    const auto *list = form.findChild<QListWidget *>(QStringLiteral("LBStudents"));
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows << list->item(i)->text();
    return rows;
}

void Click(Form1 &form, const char *button)
{
    QTest::mouseClick(form.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

// Select Class, then a click on row `row` of the class list.
void ChooseClass(Form1 &form, int row)
{
    Click(form, "CBClassSelect");
    auto *classes = form.findChild<QListWidget *>(QStringLiteral("LBClasses"));
    QVERIFY(classes->isVisible());
    const QRect rect = classes->visualItemRect(classes->item(row));
    QTest::mouseClick(classes->viewport(), Qt::LeftButton, {}, rect.center());
}

bool IsDark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 100;
}

// A dark line crosses column x (within a pixel) at row y.
bool DarkNearX(const QImage &image, double inchX, double inchY)
{
    const int x = qRound(inchX * 96);
    const int y = qRound(inchY * 96);
    return IsDark(image, x - 1, y) || IsDark(image, x, y);
}
bool DarkNearY(const QImage &image, double inchX, double inchY)
{
    const int x = qRound(inchX * 96);
    const int y = qRound(inchY * 96);
    return IsDark(image, x, y - 1) || IsDark(image, x, y);
}

// What stands on screen (the platform's copy of the window, once queued
// paints have run) is what the window paints afresh. The screen is read
// first: painting afresh can mend what was stale.
void VerifyScreen(QWidget &window)
{
    QTest::qWait(50);
    const QImage shown
        = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown, window.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

} // namespace

class TestClassChoice : public QObject {
    Q_OBJECT

    struct Window {
        TestFolder folder;
        MessageRecorder recorder;
        std::unique_ptr<Form1> form;

        void open(int rows, int cols, const QStringList &classLines)
        {
            folder.writeSettings(rows, cols, classLines);
            form = std::make_unique<Form1>(folder.path());
            form->show();
            QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        }
    };

private slots:
    // The k-th row of the class list chooses entry k of the class and roster tables.
    void rowChoosesItsClass_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first") << 0;
        QTest::newRow("second") << 1;
        QTest::newRow("last") << 2;
    }
    void rowChoosesItsClass()
    {
        QFETCH(int, row);
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(3, QStringLiteral("Ann")));
        w.folder.writeRoster(QStringLiteral("b.csv"), Names(4, QStringLiteral("Bo")));
        w.folder.writeRoster(QStringLiteral("c.csv"), Names(5, QStringLiteral("Cy")));
        w.open(2, 3, {QStringLiteral("Alpha#a.csv"), QStringLiteral("Beta#b.csv"), QStringLiteral("Gamma#c.csv")});
        ChooseClass(*w.form, row);
        const QStringList stems{QStringLiteral("Ann"), QStringLiteral("Bo"), QStringLiteral("Cy")};
        const QStringList classes{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")};
        QCOMPARE(w.form->state().ClassIndex, row + 1);
        QStringList expected = Names(3 + row, stems.at(row));
        while (expected.size() < 6)
            expected << QStringLiteral("Empty");
        QCOMPARE(Listed(*w.form), expected);
        QCOMPARE(w.form->findChild<QLabel *>(QStringLiteral("LClassTeacher"))->text(),
                 Heading(classes.at(row), QStringLiteral("Mrs. Tolvane")));
        QVERIFY(w.recorder.messages.isEmpty());
    }

    // The heading is centred by leading spaces against 70 characters.
    void heading_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("teacher");
        QTest::addColumn<int>("spaces");
        const QString tolvane = QStringLiteral("Mrs. Tolvane");
        QTest::newRow("32 characters") << QStringLiteral("Period 1 Geometry") << tolvane << 19;
        QTest::newRow("31 characters, 19.5 goes to 20") << QStringLiteral("Period 4 Algebra") << tolvane << 20;
        QTest::newRow("33 characters, 18.5 goes to 18") << QStringLiteral("Period 7 Geometry") << QStringLiteral("Mrs. Tolvanes") << 18;
        QTest::newRow("67 characters") << QString(52, QLatin1Char('c')) << tolvane << 2;
        QTest::newRow("70 characters") << QString(55, QLatin1Char('c')) << tolvane << 0;
        QTest::newRow("71 characters") << QString(56, QLatin1Char('c')) << tolvane << 0;
        QTest::newRow("80 characters") << QString(65, QLatin1Char('c')) << tolvane << 0;
        QTest::newRow("shown as typed") << QStringLiteral("<b>Lab</b>") << tolvane << 22;
    }
    void heading()
    {
        QFETCH(QString, className);
        QFETCH(QString, teacher);
        QFETCH(int, spaces);
        const QString text = className + QStringLiteral(" - ") + teacher;
        QCOMPARE(Heading(className, teacher), QString(spaces, QLatin1Char(' ')) + text);

        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(2, QStringLiteral("Ann")));
        w.folder.writeSettings(1, 2, {className + QStringLiteral("#a.csv")}, teacher.toUtf8());
        w.form = std::make_unique<Form1>(w.folder.path());
        w.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
        ChooseClass(*w.form, 0);
        auto *label = w.form->findChild<QLabel *>(QStringLiteral("LClassTeacher"));
        QCOMPARE(label->text(), QString(spaces, QLatin1Char(' ')) + text);
        // On screen the text ends where the typed characters end (no markup taken).
        const QImage shot = label->grab().toImage();
        int inkRight = -1;
        for (int x = 0; x < shot.width(); ++x) {
            for (int y = 0; y < shot.height(); ++y)
                inkRight = IsDark(shot, x, y) ? x : inkRight;
        }
        const int textRight = QFontMetrics(label->font()).horizontalAdvance(label->text());
        QVERIFY2(qAbs(inkRight - std::min(textRight, shot.width() - 1)) <= 4,
                 qPrintable(QStringLiteral("ink ends at %1, text at %2").arg(inkRight).arg(textRight)));
    }

    // After a class is chosen: Select Class, In Order and Random on, the class
    // list hidden, Print off, every seat free.
    void statesAfterChoice()
    {
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(3, QStringLiteral("Ann")));
        w.open(2, 2, {QStringLiteral("Alpha#a.csv")});
        ChooseClass(*w.form, 0);
        auto *select = w.form->findChild<QPushButton *>(QStringLiteral("CBClassSelect"));
        QVERIFY(select->isEnabled());
        QVERIFY(!w.form->findChild<QListWidget *>(QStringLiteral("LBClasses"))->isVisible());
        QVERIFY(w.form->findChild<QPushButton *>(QStringLiteral("CBInOrder"))->isEnabled());
        QVERIFY(w.form->findChild<QPushButton *>(QStringLiteral("CBRandom"))->isEnabled());
        QVERIFY(!w.form->findChild<QPushButton *>(QStringLiteral("CBPrint"))->isEnabled());
        // Select Class again keeps the chart, heading and list, and disables the commands.
        const QImage chart = w.form->chart();
        const QStringList listed = Listed(*w.form);
        Click(*w.form, "CBClassSelect");
        QCOMPARE(w.form->chart(), chart);
        QCOMPARE(Listed(*w.form), listed);
        QVERIFY(!select->isEnabled());
        QVERIFY(!w.form->findChild<QPushButton *>(QStringLiteral("CBRandom"))->isEnabled());
    }

    // Choosing another class, or the same one again, starts a fresh chart: no
    // pixel of the old one, all fifty seats free, the roster read again.
    void secondChoiceStartsAfresh()
    {
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(4, QStringLiteral("Christopher")));
        w.folder.writeRoster(QStringLiteral("b.csv"), Names(2, QStringLiteral("Bo")));
        w.open(2, 2, {QStringLiteral("Alpha#a.csv"), QStringLiteral("Beta#b.csv")});

        // What the chart of Beta looks like in a window that never showed Alpha.
        Window fresh;
        fresh.folder.writeRoster(QStringLiteral("b.csv"), Names(2, QStringLiteral("Bo")));
        fresh.open(2, 2, {QStringLiteral("Alpha#a.csv"), QStringLiteral("Beta#b.csv")});
        ChooseClass(*fresh.form, 1);

        ChooseClass(*w.form, 0);
        Click(*w.form, "CBInOrder");
        QCOMPARE(w.form->state().SeatNames[1], QStringLiteral("Christopher 1"));
        w.form->state().SeatTaken[50] = -1; // beyond the room: cleared all the same
        w.form->state().SeatNames[50] = QStringLiteral("stale");
        ChooseClass(*w.form, 1);
        QCOMPARE(w.form->chart(), fresh.form->chart());
        for (int s = 1; s <= MaxSeats; ++s) {
            QCOMPARE(w.form->state().SeatTaken[s], 0);
            QCOMPARE(w.form->state().SeatNames[s], QString());
        }

        // The same class again: read again from its workbook.
        w.folder.writeRoster(QStringLiteral("b.csv"), Names(3, QStringLiteral("Di")));
        Click(*w.form, "CBInOrder");
        ChooseClass(*w.form, 1);
        QCOMPARE(Listed(*w.form), Names(3, QStringLiteral("Di")) << QStringLiteral("Empty"));
        QCOMPARE(w.form->state().SeatTaken[1], 0);
    }

    // Grid lines at their inch positions, 96 pixels to the inch.
    void gridOnScreen_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::addColumn<QRectF>("firstBox");
        QTest::addColumn<QRectF>("lastBox");
        QTest::newRow("5 x 6") << 5 << 6 << QRectF(QPointF(0.5, 0.75), QPointF(1.75, 1.9167))
                               << QRectF(QPointF(6.75, 5.4167), QPointF(8.0, 6.5833));
        QTest::newRow("1 x 1") << 1 << 1 << QRectF(QPointF(0.5, 0.75), QPointF(8.0, 6.5833))
                               << QRectF(QPointF(0.5, 0.75), QPointF(8.0, 6.5833));
    }
    void gridOnScreen()
    {
        QFETCH(int, rows);
        QFETCH(int, cols);
        QFETCH(QRectF, firstBox);
        QFETCH(QRectF, lastBox);
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), {});
        w.open(rows, cols, {QStringLiteral("Alpha#a.csv")});
        ChooseClass(*w.form, 0);
        const QImage shot = w.form->grab().toImage();
        for (const QRectF &box : {firstBox, lastBox}) {
            const double midY = box.center().y();
            const double midX = box.center().x();
            QVERIFY(DarkNearX(shot, box.left(), midY));
            QVERIFY(DarkNearX(shot, box.right(), midY));
            QVERIFY(DarkNearY(shot, midX, box.top()));
            QVERIFY(DarkNearY(shot, midX, box.bottom()));
            QVERIFY(!IsDark(shot, qRound(box.left() * 96) + 4, qRound(midY * 96)));
        }
        // Nothing outside the grid.
        QVERIFY(!IsDark(shot, qRound(0.45 * 96), qRound(3 * 96.0)));
        QVERIFY(!IsDark(shot, qRound(8.05 * 96), qRound(3 * 96.0)));
        QVERIFY(!IsDark(shot, qRound(4 * 96.0), qRound(6.65 * 96)));
    }

    // The chart is kept while the help panel covers it.
    void chartSurvivesHelp()
    {
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(30, QStringLiteral("Ann")));
        w.open(5, 6, {QStringLiteral("Alpha#a.csv")});
        ChooseClass(*w.form, 0);
        Click(*w.form, "CBInOrder");
        const QImage before = w.form->grab().toImage();
        Click(*w.form, "CBHelp");
        QVERIFY(w.form->findChild<QPlainTextEdit *>(QStringLiteral("Text1"))->isVisible());
        QVERIFY(w.form->grab().toImage() != before);
        Click(*w.form, "CBHelp");
        QCOMPARE(w.form->grab().toImage(), before);
    }

    // After whatever the user did with one class, choosing another shows its
    // list, grid and heading on screen, not what stood there before.
    void screenAfterClassChange_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("name picked") << "pick";
        QTest::newRow("seated by hand") << "pick seat";
        QTest::newRow("in order") << "inorder";
        QTest::newRow("at random") << "random";
        QTest::newRow("picked, then in order") << "pick inorder";
        QTest::newRow("printed") << "inorder print";
        QTest::newRow("help shown and hidden") << "pick help help";
        QTest::newRow("message box") << "pick seat pick seat";
    }
    void screenAfterClassChange()
    {
        QFETCH(QString, steps);
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(5, QStringLiteral("Christopher")));
        w.folder.writeRoster(QStringLiteral("b.csv"), Names(3, QStringLiteral("Bo")));
        w.open(2, 3, {QStringLiteral("Alpha#a.csv"), QStringLiteral("Beta#b.csv")});
        ChooseClass(*w.form, 0);
        auto *list = w.form->findChild<QListWidget *>(QStringLiteral("LBStudents"));
        for (const QString &step : steps.split(u' ')) {
            if (step == u"pick") {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            } else if (step == u"seat") {
                // The real message box, closed as a user would.
                SetMessageBoxHandler({});
                QTimer::singleShot(50, [] {
                    if (QWidget *box = QApplication::activeModalWidget())
                        box->close();
                });
                QTest::mouseClick(w.form->windowHandle(), Qt::LeftButton, {}, QPoint(96, 96));
                SetMessageBoxHandler([&w](QWidget *, const QString &text) { w.recorder.messages << text; });
            } else {
                const char *button = step == u"inorder" ? "CBInOrder"
                                     : step == u"random" ? "CBRandom"
                                     : step == u"print"  ? "CBPrint"
                                                         : "CBHelp";
                Click(*w.form, button);
            }
            VerifyScreen(*w.form);
        }
        ChooseClass(*w.form, 1);

        VerifyScreen(*w.form);
    }

    // A press while no class row is selected changes nothing.
    void clickWithoutSelection()
    {
        Window w;
        w.folder.writeRoster(QStringLiteral("a.csv"), Names(3, QStringLiteral("Ann")));
        w.open(2, 2, {QStringLiteral("Alpha#a.csv")});
        Click(*w.form, "CBClassSelect");
        auto *classes = w.form->findChild<QListWidget *>(QStringLiteral("LBClasses"));
        QTest::mouseClick(classes->viewport(), Qt::LeftButton, {}, QPoint(5, 150));
        QCOMPARE(w.form->state().ClassIndex, 0);
        QVERIFY(classes->isVisible());
        QCOMPARE(Listed(*w.form), QStringList());
    }
};

QTEST_MAIN(TestClassChoice)
#include "tst_classchoice.moc"
