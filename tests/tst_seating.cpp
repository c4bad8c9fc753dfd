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
    // list row StudentIndex, its name drawn inside the seat's box and the
    // rows below it moved up; an occupied seat refused.
    void seatStudent()
    {
        const QString f = QStringLiteral("-"), e = QStringLiteral("Empty");
        const QStringList all { "Ann Lee", "Bo Ray", e, e };
        const struct {
            int index, row, col;
            bool taken;
            QStringList seated, listed;
        } calls[] = { { 0, 1, 0, false, { f, f, "Ann Lee", f }, { "Bo Ray", e, e, "" } },
            { 2, 0, 1, false, { f, e, f, f }, { "Ann Lee", "Bo Ray", e, "" } },
            { 3, 1, 1, false, { f, f, f, e }, { "Ann Lee", "Bo Ray", e, "" } },
            { 0, 1, 0, true, { f, f, "Kim", f }, all } };
        for (const auto &[index, row, col, taken, seated, listed] : calls) {
            Chart chart(2, 2, all);
            chart.state.SeatTaken[3] = taken ? -1 : 0;
            chart.state.SeatNames[3] = taken ? QStringLiteral("Kim") : QString();
            chart.state.StudentIndex = index;
            chart.seating.SeatStudent(row, col);
            QCOMPARE(Seated(chart.state), seated);
            QCOMPARE(chart.list.rows, listed);
            QCOMPARE(chart.messages, taken ? QStringList { "Seat already taken" } : QStringList());
            const QStringList text = chart.surface.calls.value(1).split(u' ');
            QCOMPARE(text.size() > 1, !taken); // calls.value(0) is "inches"
            const QRectF box(GridLeft + col * 3.75, GridTop + row * 2.9167, 3.75, 2.9167);
            QVERIFY(taken || box.contains(text.value(1).toDouble(), text.value(2).toDouble()));
        }
    }

    // A line too wide (or tall) for its box at the name size is drawn at the
    // largest whole size that fits, not below 6 points, and cut short with an
    // ellipsis when even that is too wide; found with a few measurements.
    // Boxes of 1.25 x 1.1667 inches; 0.6 em a character.
    void fitting()
    {
        const struct {
            QString name;
            int points;
            QString drawn;
            int maxMeasures;
        } lines[]
            = { { "Ann Lee", 20, "20 Ann|20 Lee", 6 }, { "Christopher Lee", 20, "12 Christopher|20 Lee", 12 },
                  { "Christopher Montgomery", 20, "12 Christopher|13 Montgomery", 20 },
                  { "B", 1000, "75 B", 14 }, // no taller than the box
                  { "Bartholomew", 200, "12 Bartholomew", 10 }, { "Christopher", 0, "0 Christopher", 2 },
                  { QString(5000, u'W'), 32767, "6 " + QString(21, u'W') + QChar(0x2026), 40 } };
        for (const auto &[name, points, drawn, maxMeasures] : lines) {
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
    }

    // A press on a column's left edge lies in that column, for rooms of 1
    // to 10 columns, and one just past the last column or row in none; a
    // room without seats has none.
    void hitTest()
    {
        for (int cols = 1; cols <= 10; ++cols) {
            const SeatGrid grid = SeatGrid::OnWindow(Room(5, cols));
            for (int c = 0; c < cols; ++c)
                QCOMPARE(grid.seatAt(grid.seat(c + 1).box.left(), 1.0), c + 1);
            QCOMPARE(grid.seatAt(grid.extent().right() + 1e-3, 1.0), 0);
            QCOMPARE(grid.seatAt(1.0, grid.extent().bottom() + 1e-3), 0);
        }
        QCOMPARE(SeatGrid::OnWindow(WindowState()).seatAt(1.0, 1.0), 0);
    }

    // In order and at random over a 2 x 2 room of A B C D, after some seated
    // by hand ("list row>seat" pairs): the free seats filled in seat-number
    // order, one number drawn for each; a second run finds no free seat.
    // The smallest number takes the first name listed, the largest the last.
    void automatic()
    {
        const QStringList none(4, QString());
        const struct {
            QString byHand;
            QList<float> random;
            QStringList seated;
            int used;
        } runs[]
            = { { "1>3", {}, { "A", "C", "B", "D" }, 0 }, { "", { 0, 0, 0, 0 }, { "A", "B", "C", "D" }, 4 },
                  { "0>2", { 1, 1, 1 }, { "D", "A", "C", "B" }, 3 }, // 1 itself: not from a real source
                  { "0>1 0>2 0>3 0>4", { 0.9f }, { "A", "B", "C", "D" }, 0 } };
        for (const auto &[byHand, random, seated, used] : runs) {
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
                QCOMPARE(chart.list.rows, none);
                QCOMPARE(numbers.used, used);
                QCOMPARE(numbers.reseeds, random.isEmpty() ? 0 : run + 1);
            }
            QCOMPARE(chart.seating.NextFreeSeat(), 0);
            QVERIFY(chart.messages.isEmpty());
        }
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
