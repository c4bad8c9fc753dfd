// Seating students: one into a seat, all in order or at random, where a
// press lands, and how a name is written into its box.

#include "TestSurfaces.h"

#include "NameLayout.h"
#include "RandomSource.h"
#include "SeatGrid.h"
#include "Seating.h"
#include "StudentList.h"
#include "WindowState.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace plivan;

namespace {

// A room with its list, surface and messages.
struct Chart {
    Chart(int rows, int cols, QStringList names)
        : state(Room(rows, cols))
        , list(std::move(names))
        , seating(state, list, surface, [this](const QString &m) { messages << m; })
    {
        surface.setScaleInches();
    }
    WindowState state;
    StringStudentList list;
    RecordingSurface surface;
    QStringList messages;
    Seating seating;
};

// `count` numbers in [0, 1) from a generator with a fixed seed: the same every run.
QList<float> Numbers(qsizetype count)
{
    QRandomGenerator generator(20261207);
    QList<float> numbers(count);
    for (float &v : numbers)
        v = float(generator.generateDouble()) * 0.99999f;
    return numbers;
}

} // namespace

class TestSeating : public QObject {
    Q_OBJECT

private slots:
    // One student into one seat of a 2 x 2 room whose seat 3 may be taken:
    // list row StudentIndex, its name written a twentieth of the seat's
    // 3.75 x 2.9167 inches inside its corner, line 2 0.3 inch lower, and the
    // rows below it moved up; an occupied seat refused.
    void seatStudent_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QStringList>("seated");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("drawn");
        const QString f = QStringLiteral("-"), e = QStringLiteral("Empty");
        QTest::newRow("row 0 into seat 3")
            << 0 << 1 << 0 << false << QStringList { f, f, "Ann Lee", f }
            << QStringList { "Bo Ray", e, e, "" } << "text 0.6875 3.8125 12 Ann|text 0.6875 4.1125 12 Lee";
        QTest::newRow("row 2 into seat 2")
            << 2 << 0 << 1 << false << QStringList { f, e, f, f }
            << QStringList { "Ann Lee", "Bo Ray", e, "" } << "text 4.4375 0.895833 12 Empty";
        QTest::newRow("the last row into seat 4")
            << 3 << 1 << 1 << false << QStringList { f, f, f, e }
            << QStringList { "Ann Lee", "Bo Ray", e, "" } << "text 4.4375 3.8125 12 Empty";
        QTest::newRow("seat 3 taken") << 0 << 1 << 0 << true << QStringList { f, f, "Kim", f }
                                      << QStringList { "Ann Lee", "Bo Ray", e, e } << "";
    }
    void seatStudent()
    {
        QFETCH(int, index);
        QFETCH(int, row);
        QFETCH(int, col);
        QFETCH(bool, taken);
        QFETCH(QStringList, seated);
        QFETCH(QStringList, listed);
        QFETCH(QString, drawn);
        Chart chart(2, 2, { "Ann Lee", "Bo Ray", "Empty", "Empty" });
        chart.state.SeatTaken[3] = taken ? -1 : 0;
        chart.state.SeatNames[3] = taken ? QStringLiteral("Kim") : QString();
        chart.state.StudentIndex = index;
        chart.seating.SeatStudent(row, col);
        QCOMPARE(Seated(chart.state), seated);
        QCOMPARE(chart.list.rows, listed);
        QCOMPARE(chart.messages, taken ? QStringList { "Seat already taken" } : QStringList());
        QCOMPARE(chart.surface.calls.mid(1).join(u'|'), drawn); // calls.first() is "inches"
    }

    // A line too wide (or tall) for its box at the name size is drawn at the
    // largest whole size that fits, not below 6 points, and cut short with an
    // ellipsis when even that is too wide; found with a few measurements.
    // Boxes of 1.25 x 1.1667 inches; 0.6 em a character.
    void fitting_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("drawn");
        QTest::addColumn<int>("maxMeasures");
        QTest::newRow("both lines fit") << "Ann Lee" << 20 << "20 Ann|20 Lee" << 6;
        QTest::newRow("line 1 shrunk") << "Christopher Lee" << 20 << "12 Christopher|20 Lee" << 12;
        QTest::newRow("both shrunk, each its own size")
            << "Christopher Montgomery" << 20 << "12 Christopher|13 Montgomery" << 20;
        QTest::newRow("no taller than the box") << "B" << 1000 << "75 B" << 14;
        QTest::newRow("one line, shrunk from 200") << "Bartholomew" << 200 << "12 Bartholomew" << 10;
        QTest::newRow("0 points") << "Christopher" << 0 << "0 Christopher" << 2;
        QTest::newRow("cut short at 6 points")
            << QString(5000, u'W') << 32767 << "6 " + QString(21, u'W') + QChar(0x2026) << 40;
        QTest::newRow("cut short by one character more")
            << QString(30, u'W') << 20 << "6 " + QString(21, u'W') + QChar(0x2026) << 40;
    }
    void fitting()
    {
        QFETCH(QString, name);
        QFETCH(int, points);
        QFETCH(QString, drawn);
        QFETCH(int, maxMeasures);
        RecordingSurface surface;
        surface.setScaleInches();
        DrawSeatName(surface, { 0.5, 0.75, 1.25, 1.1667 }, name, points);
        QStringList texts;
        for (const QString &call : surface.calls.mid(1))
            texts << call.section(u' ', 3);
        QCOMPARE(texts.join(u'|'), drawn);
        QCOMPARE(surface.fontSize(), double(points));
        QVERIFY2(surface.measures <= maxMeasures, qPrintable(QString::number(surface.measures)));
    }

    // The seat under a press on the window, in a room of 5 rows: the grid
    // starts at (0.5, 0.75) inches; seats are 7.5 / cols inches wide and
    // 1.1667 high. A point on an edge between two boxes belongs to the box
    // right of or below it; the grid's far edges are outside it.
    void hitTest_data()
    {
        QTest::addColumn<int>("cols");
        QTest::addColumn<QPointF>("at");
        QTest::addColumn<int>("seat");
        QTest::newRow("1 column: the top-left corner") << 1 << QPointF(0.5, 0.75) << 1;
        QTest::newRow("1 column: the right end") << 1 << QPointF(8.0, 1.0) << 0;
        QTest::newRow("3 columns: inside seat 1") << 3 << QPointF(2.99, 1.9) << 1;
        QTest::newRow("3 columns: an edge goes right") << 3 << QPointF(3.0, 1.0) << 2;
        QTest::newRow("3 columns: the last column") << 3 << QPointF(7.99, 1.0) << 3;
        QTest::newRow("3 columns: the right end") << 3 << QPointF(8.0, 1.0) << 0;
        QTest::newRow("3 columns: left of the grid") << 3 << QPointF(0.49, 1.0) << 0;
        QTest::newRow("3 columns: above the grid") << 3 << QPointF(1.0, 0.74) << 0;
        QTest::newRow("3 columns: row 2") << 3 << QPointF(1.0, 1.92) << 4;
        QTest::newRow("3 columns: the last seat") << 3 << QPointF(5.5, 6.58) << 15;
        QTest::newRow("3 columns: below the grid") << 3 << QPointF(5.5, 6.59) << 0;
        QTest::newRow("7 columns: the middle of column 4") << 7 << QPointF(4.25, 3.0) << 11;
        QTest::newRow("10 columns: the last column's edge") << 10 << QPointF(7.25, 1.0) << 10;
        QTest::newRow("10 columns: just before it") << 10 << QPointF(7.249, 1.0) << 9;
        QTest::newRow("no room at all") << 0 << QPointF(1.0, 1.0) << 0;
    }
    void hitTest()
    {
        QFETCH(int, cols);
        QFETCH(QPointF, at);
        QFETCH(int, seat);
        QCOMPARE(SeatGrid::OnWindow(cols ? Room(5, cols) : WindowState()).seatAt(at.x(), at.y()), seat);
    }

    // In order and at random over a 2 x 2 room of A B C D, after some seated
    // by hand ("list row>seat" pairs): the free seats filled in seat-number
    // order, one number drawn for each; a second run finds no free seat.
    // The smallest number takes the first name listed, the largest the last.
    void automatic_data()
    {
        QTest::addColumn<QString>("byHand");
        QTest::addColumn<QList<float>>("random");
        QTest::addColumn<QStringList>("seated");
        QTest::addColumn<int>("used");
        QTest::newRow("in order around one by hand")
            << "1>3" << QList<float>() << QStringList { "A", "C", "B", "D" } << 0;
        QTest::newRow("at random, every number 0")
            << "" << QList<float> { 0, 0, 0, 0 } << QStringList { "A", "B", "C", "D" } << 4;
        // 1 itself: not from a real source.
        QTest::newRow("at random, every number 1")
            << "0>2" << QList<float> { 1, 1, 1 } << QStringList { "D", "A", "C", "B" } << 3;
        QTest::newRow("at random, every seat taken")
            << "0>1 0>2 0>3 0>4" << QList<float> { 0.9f } << QStringList { "A", "B", "C", "D" } << 0;
    }
    void automatic()
    {
        QFETCH(QString, byHand);
        QFETCH(QList<float>, random);
        QFETCH(QStringList, seated);
        QFETCH(int, used);
        Chart chart(2, 2, { "A", "B", "C", "D" });
        for (const QString &pair : byHand.split(u' ', Qt::SkipEmptyParts)) {
            chart.state.StudentIndex = pair.section(u'>', 0, 0).toInt();
            const int s = pair.section(u'>', 1).toInt();
            chart.seating.SeatStudent((s - 1) / 2, (s - 1) % 2);
        }
        FixedRandom numbers(random);
        for (int run = 0; run < 2; ++run) {
            if (random.isEmpty())
                chart.seating.SeatInOrder();
            else
                chart.seating.SeatAtRandom(numbers);
            QCOMPARE(Seated(chart.state), seated);
            QCOMPARE(chart.list.rows, QStringList(4, QString()));
            QCOMPARE(numbers.used, used);
            QCOMPARE(numbers.reseeds, random.isEmpty() ? 0 : run + 1);
        }
        QCOMPARE(chart.seating.NextFreeSeat(), 0);
        QVERIFY(chart.messages.isEmpty());
    }

    // Random seating is even: over many runs into a 1 x 4 room of A B C D,
    // each name lands in each seat a quarter of the time, within five
    // standard deviations of the count a fair draw gives.
    void evenness()
    {
        constexpr int Runs = 20000;
        const double p = 0.25, tolerance = 5 * std::sqrt(Runs * p * (1 - p));
        FixedRandom random(Numbers(4 * Runs));
        QMap<QString, int> counts; // "<seat><name>"
        for (int run = 0; run < Runs; ++run) {
            Chart chart(1, 4, { "A", "B", "C", "D" });
            chart.seating.SeatAtRandom(random);
            for (int s = 1; s <= 4; ++s)
                ++counts[QString::number(s) + chart.state.SeatNames[s]];
        }
        QCOMPARE(counts.size(), 16);
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            QVERIFY2(qAbs(it.value() - Runs * p) <= tolerance,
                qPrintable(QStringLiteral("seat %1: %2 times").arg(it.key()).arg(it.value())));
    }

    // Over many random runs of picks, presses and both buttons in rooms of
    // every size: nobody is seated twice or lost, the list keeps one row per
    // seat with its names at the top, and only an occupied seat is refused.
    void invariants()
    {
        QRandomGenerator gen(20261206);
        FixedRandom random(Numbers(400 * 12 * 50));
        for (int round = 0; round < 400; ++round) {
            const int rows = 1 + int(gen.bounded(7));
            const int cols = 1 + int(gen.bounded(50 / rows));
            const int n = rows * cols;
            QStringList list;
            const int names = int(gen.bounded(n + 1));
            for (int i = 0; i < n; ++i)
                list << (i < names ? QStringLiteral("S%1 N%2").arg(round).arg(i) : QStringLiteral("Empty"));
            Chart chart(rows, cols, list);
            for (int step = 0; step < 12; ++step) {
                const int what = int(gen.bounded(6));
                if (what == 0)
                    chart.seating.SeatInOrder();
                else if (what == 1)
                    chart.seating.SeatAtRandom(random);
                else {
                    chart.state.StudentIndex = int(gen.bounded(n + 2)) - 1;
                    chart.seating.SeatStudent(int(gen.bounded(rows + 2)) - 1, int(gen.bounded(cols + 2)) - 1);
                }
                QCOMPARE(chart.list.count(), n);
                QStringList everyone = chart.list.rows;
                int taken = 0;
                for (int s = 1; s <= n; ++s) {
                    QVERIFY(chart.state.SeatTaken[s] == 0 || chart.state.SeatTaken[s] == -1);
                    taken -= chart.state.SeatTaken[s];
                    everyone << chart.state.SeatNames[s];
                    QVERIFY(chart.state.SeatTaken[s] || chart.state.SeatNames[s].isEmpty());
                }
                everyone.removeAll(QString());
                everyone.sort();
                QStringList expected = list;
                expected.sort();
                QCOMPARE(everyone, expected);
                const qsizetype listed = n - chart.list.rows.count(QString());
                QVERIFY(n - listed <= taken);
                for (qsizetype k = 0; k < listed; ++k)
                    QVERIFY(!chart.list.rows.at(k).isEmpty());
            }
            QCOMPARE(chart.messages.count(SeatTakenMessage), chart.messages.size());
        }
    }
};

QTEST_GUILESS_MAIN(TestSeating)
#include "tst_seating.moc"
