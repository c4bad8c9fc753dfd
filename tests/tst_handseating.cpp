#include "FixedRandom.h"
#include "TestFolder.h"

#include "app/Form1.h"
#include "seating/RandomSource.h"
#include "seating/Seating.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace plivan;

namespace {

// A window with a 2 x 3 room and one class of four names, chosen.
struct Window {
    TestFolder folder;
    MessageRecorder recorder;
    std::unique_ptr<Form1> form;
    QListWidget *students = nullptr;

    explicit Window(bool choose = true)
    {
        folder.writeSettings(2, 3, {QStringLiteral("Alpha#a.csv")});
        folder.writeRoster(QStringLiteral("a.csv"), {"Ann Lee", "Bo Ray", "Cy Tam", "Di Oz"});
        form = std::make_unique<Form1>(folder.path());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("window not shown");
        students = form->findChild<QListWidget *>(QStringLiteral("LBStudents"));
        if (choose) {
            click("CBClassSelect");
            auto *classes = form->findChild<QListWidget *>(QStringLiteral("LBClasses"));
            QTest::mouseClick(classes->viewport(), Qt::LeftButton, {},
                              classes->visualItemRect(classes->item(0)).center());
        }
    }

    void click(const char *button)
    {
        QTest::mouseClick(form->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }
    // A press on row `row` of the student list.
    void pick(int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(students->viewport(), button, {}, students->visualItemRect(students->item(row)).center());
    }
    // A press on the window at (x, y) inches, routed as a real click.
    void press(double x, double y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(form->windowHandle(), button, {}, QPoint(qRound(x * 96), qRound(y * 96)));
    }
    // Where seat (row, col)'s box has its centre, in inches.
    QPointF seat(int row, int col) const
    {
        const WindowState &s = form->state();
        return {0.5 + (col + 0.5) * double(s.SeatWidth), 0.75 + (row + 0.5) * s.SeatHeight};
    }
    void pressSeat(int row, int col, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPointF at = seat(row, col);
        press(at.x(), at.y(), button);
    }
    QStringList listed() const
    {
        QStringList rows;
        for (int i = 0; i < students->count(); ++i)
            rows << students->item(i)->text();
        return rows;
    }
    // Dark pixels inside the box of seat (row, col), its outline left out.
    int inkInSeat(int row, int col) const
    {
        const WindowState &s = form->state();
        const QImage chart = form->chart();
        const int x0 = qRound((0.5 + col * double(s.SeatWidth)) * 96) + 3;
        const int y0 = qRound((0.75 + row * s.SeatHeight) * 96) + 3;
        const int x1 = qRound((0.5 + (col + 1) * double(s.SeatWidth)) * 96) - 3;
        const int y1 = qRound((0.75 + (row + 1) * s.SeatHeight) * 96) - 3;
        int ink = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                ink += qGray(chart.pixel(x, y)) < 128;
        return ink;
    }
};

} // namespace

class TestHandSeating : public QObject {
    Q_OBJECT

private slots:
    // A name, then a seat, with any mouse button: the name is written into
    // that box and leaves the list.
    void nameThenSeat_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }
    void nameThenSeat()
    {
        QFETCH(Qt::MouseButton, button);
        Window w;
        QCOMPARE(w.inkInSeat(1, 2), 0);
        w.pick(1, button);
        QVERIFY(w.form->state().StudentPicked);
        QCOMPARE(w.form->state().StudentIndex, 1.0);
        w.pressSeat(1, 2, button);
        QCOMPARE(w.form->state().SeatTaken[6], -1);
        QCOMPARE(w.form->state().SeatNames[6], QStringLiteral("Bo Ray"));
        QCOMPARE(w.listed(), QStringList({"Ann Lee", "Cy Tam", "Di Oz", "Empty", "Empty", ""}));
        QVERIFY(!w.form->state().StudentPicked);
        QVERIFY(w.inkInSeat(1, 2) > 20);
        QCOMPARE(w.inkInSeat(0, 0), 0);
        QVERIFY(w.recorder.messages.isEmpty());
    }

    // Every press on the window clears a pending pick, seated or not.
    void pressClearsThePick_data()
    {
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<int>("seated");
        QTest::newRow("on a seat") << QPointF(1.0, 1.0) << 1;
        QTest::newRow("left of the grid") << QPointF(0.3, 1.0) << 0;
        QTest::newRow("above the grid") << QPointF(1.0, 0.6) << 0;
        QTest::newRow("right of the grid") << QPointF(8.05, 3.0) << 0;
        QTest::newRow("below the grid") << QPointF(4.0, 6.8) << 0;
    }
    void pressClearsThePick()
    {
        QFETCH(QPointF, at);
        QFETCH(int, seated);
        Window w;
        w.pick(0);
        w.press(at.x(), at.y());
        QVERIFY(!w.form->state().StudentPicked);
        int taken = 0;
        for (int s = 1; s <= 6; ++s)
            taken += w.form->state().SeatTaken[s] != 0;
        QCOMPARE(taken, seated);
        // Without a new pick, the next press on a seat seats nobody.
        w.pressSeat(1, 1);
        QCOMPARE(w.form->state().SeatTaken[5], 0);
    }

    void occupiedSeat()
    {
        Window w;
        w.pick(0);
        w.pressSeat(0, 0);
        const QStringList listed = w.listed();
        const QImage chart = w.form->chart();
        w.pick(0);
        w.pressSeat(0, 0);
        QCOMPARE(w.recorder.messages, QStringList{SeatTakenMessage});
        QCOMPARE(w.listed(), listed);
        QCOMPARE(w.form->chart(), chart);
        QVERIFY(!w.form->state().StudentPicked);
        QCOMPARE(w.form->state().SeatNames[1], QStringLiteral("Ann Lee"));
    }

    // The second of two presses on the list is the one seated; a blank row
    // is picked like any other.
    void lastPickCounts()
    {
        Window w;
        w.pick(0);
        w.pick(2);
        w.pressSeat(0, 1);
        QCOMPARE(w.form->state().SeatNames[2], QStringLiteral("Cy Tam"));
        w.pick(5); // blank since the seating above
        w.pressSeat(0, 2);
        QCOMPARE(w.form->state().SeatTaken[3], -1);
        QCOMPARE(w.form->state().SeatNames[3], QString());
        QCOMPARE(w.listed(), QStringList({"Ann Lee", "Bo Ray", "Di Oz", "Empty", "Empty", ""}));
    }

    // Before any class: a pick on the empty list and a press seat nobody.
    void pressBeforeAnyGrid()
    {
        Window w(false);
        QTest::mouseClick(w.students->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(w.form->state().StudentPicked);
        QCOMPARE(w.form->state().StudentIndex, -1.0);
        w.press(1.0, 1.0);
        QVERIFY(!w.form->state().StudentPicked);
        QVERIFY(w.form->state().SeatTaken == decltype(w.form->state().SeatTaken){});
        QVERIFY(w.recorder.messages.isEmpty());
    }

    // Print comes on with In Order or Random Seating, never with seating by hand.
    void printEnabledByAutomaticSeating_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("in order") << "CBInOrder";
        QTest::newRow("at random") << "CBRandom";
    }
    void printEnabledByAutomaticSeating()
    {
        QFETCH(QString, button);
        Window w;
        auto *print = w.form->findChild<QPushButton *>(QStringLiteral("CBPrint"));
        for (int s = 0; s < 6; ++s) {
            w.pick(0);
            w.pressSeat(s / 3, s % 3);
        }
        QVERIFY(!print->isEnabled());
        QCOMPARE(w.listed(), QStringList(6, QString()));
        w.click(button.toLatin1().constData());
        QVERIFY(print->isEnabled());
        QVERIFY(w.recorder.messages.isEmpty());
    }

    // Random seating through the window, with fixed numbers: a pending pick
    // stays pending, and every seat is filled in seat-number order.
    void randomThroughTheWindow()
    {
        Window w;
        w.form->setRandomSource(std::make_unique<FixedRandom>(QList<float>{0.99f, 0, 0, 0, 0, 0}));
        w.pick(1);
        w.click("CBRandom");
        QVERIFY(w.form->state().StudentPicked);
        QCOMPARE(w.form->state().StudentIndex, 0.0);
        QStringList seated;
        for (int s = 1; s <= 6; ++s)
            seated << w.form->state().SeatNames[s];
        // k = 5: 0.99 x 5 = 4.95 -> row 5 (the second "Empty"); then list order.
        QCOMPARE(seated, QStringList({"Empty", "Ann Lee", "Bo Ray", "Cy Tam", "Di Oz", "Empty"}));
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 3; ++col)
                QVERIFY(w.inkInSeat(row, col) > 10);
        // Every seat is taken now: the pending pick meets an occupied seat.
        w.pressSeat(0, 0);
        QCOMPARE(w.recorder.messages, QStringList{SeatTakenMessage});
    }
};

QTEST_MAIN(TestHandSeating)
#include "tst_handseating.moc"
