// Seating students: one into a seat, all in order or at random, where a
// press lands, and how a name is written into its box.

#include "TestSurfaces.h"

#include "app/WindowState.h"
#include "seating/NameLayout.h"
#include "seating/RandomSource.h"
#include "seating/SeatGrid.h"
#include "seating/Seating.h"
#include "seating/StudentList.h"

#include <QRandomGenerator>
#include <QTest>

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

} // namespace

class TestSeating : public QObject {
    Q_OBJECT

private slots:
    // One student into one seat of a 2 x 2 room whose seat 3 may be taken:
    // list row StudentIndex (a half to the even row), its name drawn and
    // the rows below it moved up; nothing for a seat or row that is not there.
    // The name is written inside its seat's box.
    void seatStudent()
    {
        const QString f = QStringLiteral("-"), e = QStringLiteral("Empty");
        const QStringList all { "Ann Lee", "Bo Ray", e, e }, none(4, f), noAnn { "Bo Ray", e, e, "" },
            noEmpty { "Ann Lee", "Bo Ray", e, "" };
        const struct {
            double index;
            int row, col;
            bool taken;
            QStringList seated, listed;
        } calls[] = { { 0.0, 1, 0, false, { f, f, "Ann Lee", f }, noAnn },
            { 0.5, 1, 1, false, { f, f, f, "Ann Lee" }, noAnn }, // 0.5 goes to 0
            { 1.5, 0, 0, false, { e, f, f, f }, noEmpty },
            { 2.5, 0, 0, false, { e, f, f, f }, noEmpty }, // both go to 2
            { 0.0, 1, 0, true, { f, f, "Kim", f }, all }, { -1.0, 0, 0, false, none, all },
            { 4.0, 0, 0, false, none, all }, { 1e12, 0, 0, false, none, all },
            { qQNaN(), 0, 0, false, none, all }, { 0.0, 0, 2, false, none, all },
            { 0.0, 2, 0, false, none, all } };
        for (const auto &[index, row, col, taken, seated, listed] : calls) {
            Chart chart(2, 2, all);
            chart.state.SeatTaken[3] = taken ? -1 : 0;
            chart.state.SeatNames[3] = taken ? QStringLiteral("Kim") : QString();
            chart.state.StudentIndex = index;
            chart.seating.SeatStudent(row, col);
            QCOMPARE(Seated(chart.state), seated);
            QCOMPARE(chart.list.rows, listed);
            QCOMPARE(chart.messages, taken ? QStringList { "Seat already taken" } : QStringList());
            QCOMPARE(
                chart.surface.calls.size() == 1, seated == none || taken); // "inches" only: nothing drawn
            const QStringList text = chart.surface.calls.value(1).split(u' ');
            const QRectF box(GridLeft + col * 3.75, GridTop + row * 7 / 2.4, 3.75, 7 / 2.4);
            QVERIFY(chart.surface.calls.size() == 1
                || box.contains(text.value(1).toDouble(), text.value(2).toDouble()));
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
            DrawSeatName(surface, 0.5, 0.75, 1.25, 1.1667, name, points);
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
        int row = -1, col = -1;
        for (int cols = 1; cols <= 10; ++cols) {
            const WindowState state = Room(5, cols);
            for (int c = 0; c < cols; ++c)
                QVERIFY(SeatAt(state, GridLeft + c * double(state.SeatWidth), 1.0, row, col) && col == c
                    && row == 0);
            QVERIFY(!SeatAt(state, GridLeft + cols * double(state.SeatWidth) + 1e-3, 1.0, row, col));
            QVERIFY(!SeatAt(state, 1.0, GridTop + 5 * state.SeatHeight + 1e-3, row, col));
        }
        QVERIFY(!SeatAt(WindowState(), 1.0, 1.0, row, col));
    }

    // In order and at random over a 2 x 2 room of A B C D, after some seated
    // by hand ("list row>seat" pairs): the pass with value k takes list row
    // random x k, a half to the even row; a second run finds no free seat.
    void automatic()
    {
        const QStringList none(4, QString());
        const struct {
            QString byHand;
            QList<float> random;
            QStringList seated, left;
            int used;
        } runs[] = { { "1>3", {}, { "A", "C", "B", "D" }, none, 0 },
            { "", { 0.5f, 0.25f, 0.5f, 0.7f }, { "C", "A", "B", "D" }, none, 4 }, // halves go to even
            { "", { 0.84f, 0, 0, 0 }, { "D", "A", "B", "C" }, none, 4 },
            { "0>1 3>2", { 0.99f, 0.99f }, { "A", "", "C", "B" }, { "D", "", "", "" },
                2 }, // a blank row seated
            { "0>1 0>2 0>3 0>4", { 0.9f }, { "A", "B", "C", "D" }, none, 0 } };
        for (const auto &[byHand, random, seated, left, used] : runs) {
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
                QCOMPARE(chart.list.rows, left);
                QCOMPARE(numbers.used, used);
                QCOMPARE(numbers.reseeds, random.isEmpty() ? 0 : run + 1);
            }
            QCOMPARE(chart.seating.NextFreeSeat(), 0);
            QVERIFY(chart.messages.isEmpty());
        }
    }

    // Over many random runs of picks, presses and both buttons in rooms of
    // every size: nobody is seated twice or lost, the list keeps one row per
    // seat with its names at the top, and only an occupied seat is refused.
    void invariants()
    {
        QRandomGenerator gen(20261206);
        QList<float> numbers(400 * 12 * 50);
        for (float &v : numbers)
            v = float(gen.generateDouble()) * 0.99999f;
        FixedRandom random(numbers);
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
