#include "FixedRandom.h"
#include "RecordingSurface.h"

#include "app/WindowState.h"
#include "seating/NameLayout.h"
#include "seating/RandomSource.h"
#include "seating/SeatGrid.h"
#include "seating/Seating.h"
#include "seating/StudentList.h"

#include <QRandomGenerator>
#include <QTest>

using namespace plivan;

Q_DECLARE_METATYPE(QList<float>)

namespace {

WindowState Room(int rows, int cols, std::int16_t fontSize = 12)
{
    WindowState state;
    state.SeatRows = rows;
    state.SeatCols = cols;
    state.SeatHeight = 7.0 / rows / 1.2;
    state.SeatWidth = float(9.0 / cols / 1.2);
    state.NameFontSize = fontSize;
    return state;
}

// A room with its list, surface and recorded messages.
struct Chart {
    Chart(int rows, int cols, QStringList names)
        : state(Room(rows, cols)), list(std::move(names)),
          seating(state, list, surface, [this](const QString &m) { messages.append(m); })
    {
        surface.setScaleInches();
    }
    WindowState state;
    StringStudentList list;
    RecordingSurface surface;
    QStringList messages;
    Seating seating;

    QStringList seated() const
    {
        QStringList names;
        for (int s = 1; s <= state.seatCount(); ++s)
            names << state.SeatNames[s];
        return names;
    }
};

} // namespace

class TestSeating : public QObject {
    Q_OBJECT

private slots:
    void breakPosition_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("twoLines");
        QTest::newRow("space") << "Ann Lee" << 4 << "Ann" << "Lee" << true;
        QTest::newRow("comma") << "Lee,Ann" << 4 << "Lee" << "Ann" << true;
        QTest::newRow("space found before comma") << "Lee, Ann" << 5 << "Lee," << "Ann" << true;
        QTest::newRow("two spaces") << "Mary Ann Lee" << 5 << "Mary" << "Ann Lee" << true;
        QTest::newRow("leading space") << " Ann" << 1 << "" << "Ann" << true;
        QTest::newRow("trailing comma") << "Lee," << 4 << "Lee" << "" << true;
        QTest::newRow("no break") << "Madonna" << 0 << "Madonna" << "" << false;
        QTest::newRow("Empty") << "Empty" << 0 << "Empty" << "" << false;
        QTest::newRow("empty text") << "" << 0 << "" << "" << false;
    }
    void breakPosition()
    {
        QFETCH(QString, name);
        QFETCH(int, position);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, twoLines);
        QCOMPARE(BreakPosition(name), position);
        const NameLines lines = SplitName(name);
        QCOMPARE(lines.first, first);
        QCOMPARE(lines.second, second);
        QCOMPARE(lines.twoLines, twoLines);
    }

    // A 2 x 2 room: seating a row marks the seat, records and draws the name,
    // and moves the later rows up with the last one blanked.
    void seatStudent_data()
    {
        QTest::addColumn<double>("studentIndex");
        QTest::addColumn<QString>("seatedName");
        QTest::addColumn<QStringList>("listAfter");
        const QString e = QStringLiteral("Empty");
        QTest::newRow("first row") << 0.0 << "Ann Lee" << QStringList{"Bo Ray", e, e, ""};
        QTest::newRow("last row") << 3.0 << "Empty" << QStringList{"Ann Lee", "Bo Ray", e, ""};
        QTest::newRow("2.5 rounds to 2") << 2.5 << "Empty" << QStringList{"Ann Lee", "Bo Ray", e, ""};
        QTest::newRow("1.5 rounds to 2") << 1.5 << "Empty" << QStringList{"Ann Lee", "Bo Ray", e, ""};
        QTest::newRow("0.5 rounds to 0") << 0.5 << "Ann Lee" << QStringList{"Bo Ray", e, e, ""};
    }
    void seatStudent()
    {
        QFETCH(double, studentIndex);
        QFETCH(QString, seatedName);
        QFETCH(QStringList, listAfter);
        Chart chart(2, 2, {"Ann Lee", "Bo Ray", "Empty", "Empty"});
        chart.state.StudentIndex = studentIndex;
        chart.seating.SeatStudent(1, 0);
        QCOMPARE(chart.state.SeatTaken[3], -1);
        QCOMPARE(chart.state.SeatNames[3], seatedName);
        for (int s : {1, 2, 4})
            QCOMPARE(chart.state.SeatTaken[s], 0);
        QCOMPARE(chart.list.rows, listAfter);
        QVERIFY(chart.messages.isEmpty());
    }

    // Where the lines of a name go: a twentieth of the box inside its corner,
    // line 2 0.3 inch below line 1.
    void namePositions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("Ann Lee") << "Ann Lee" << QStringList{"Ann", "Lee"};
        QTest::newRow("Lee,Ann") << "Lee,Ann" << QStringList{"Lee", "Ann"};
        QTest::newRow("Lee, Ann") << "Lee, Ann" << QStringList{"Lee,", "Ann"};
        QTest::newRow("Mary Ann Lee") << "Mary Ann Lee" << QStringList{"Mary", "Ann Lee"};
        QTest::newRow("leading space") << " Ann" << QStringList{"", "Ann"};
        QTest::newRow("Empty") << "Empty" << QStringList{"Empty"};
        QTest::newRow("empty entry") << "" << QStringList{""};
    }
    void namePositions()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, lines);
        Chart chart(2, 2, {name, "X", "Y", "Z"});
        chart.seating.SeatStudent(1, 0);
        const double x = 0.5 + 0.05 * double(chart.state.SeatWidth);
        const double y = chart.state.SeatHeight + 0.75 + 0.05 * chart.state.SeatHeight;
        QCOMPARE(chart.surface.texts.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const DrawnText &t = chart.surface.texts.at(i);
            QCOMPARE(t.text, lines.at(i));
            QCOMPARE(t.x, double(float(x)));
            QCOMPARE(t.y, double(float(y + 0.3 * double(i))));
            QCOMPARE(t.points, 12.0);
        }
        QCOMPARE(chart.state.SeatNames[3], name);
    }

    // A line too wide for its box is drawn at the largest whole size that fits
    // (never below 6 points); a line that fits keeps the name font size.
    void longNamesShrink_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<QList<double>>("sizes");
        // 6 columns: boxes 1.25 inches wide, 1.125 inches of room; the
        // recording surface measures 0.6 em a character.
        QTest::newRow("fits") << "Ann Lee" << 20 << QList<double>{20, 20};
        QTest::newRow("first line too wide") << "Christopher Lee" << 20 << QList<double>{12, 20};
        QTest::newRow("both lines too wide") << "Christopher Montgomery" << 20 << QList<double>{12, 13};
        QTest::newRow("never below 6") << "Wolfeschlegelsteinhausenbergerdorffvoralternwarengewissenhaft" << 20 << QList<double>{6};
        // 1.1667 inches high: a line may be 1.05 inches (75.6 points) tall.
        QTest::newRow("no taller than the box") << "B" << 1000 << QList<double>{75};
        QTest::newRow("zero points draws nothing visible") << "Christopher" << 0 << QList<double>{0};
    }
    void longNamesShrink()
    {
        QFETCH(QString, name);
        QFETCH(int, fontSize);
        QFETCH(QList<double>, sizes);
        RecordingSurface surface;
        surface.setScaleInches();
        DrawSeatName(surface, 0.5, 0.75, 1.25, 1.1667, name, fontSize);
        QCOMPARE(surface.texts.size(), sizes.size());
        for (qsizetype i = 0; i < sizes.size(); ++i)
            QCOMPARE(surface.texts.at(i).points, sizes.at(i));
        QCOMPARE(surface.fontSize(), double(fontSize));
    }

    // A very long name under the largest name font size is fitted with a
    // handful of measurements, not one per point size (which hung the window).
    void longNameFittedQuickly()
    {
        RecordingSurface surface;
        surface.setScaleInches();
        DrawSeatName(surface, 0.5, 0.75, 1.25, 1.1667, QString(5000, QLatin1Char('W')), 32767);
        QCOMPARE(surface.texts.size(), 1);
        QCOMPARE(surface.texts.first().points, 6.0);
        QVERIFY2(surface.measures < 40, qPrintable(QString::number(surface.measures)));
        // Cut short to stay inside the box: 1.125 inches hold 22 characters at
        // 6 points, the ellipsis among them.
        QCOMPARE(surface.texts.first().text, QString(21, QLatin1Char('W')) + QChar(0x2026));

        RecordingSurface fits;
        fits.setScaleInches();
        DrawSeatName(fits, 0.5, 0.75, 1.25, 1.1667, QStringLiteral("Bartholomew"), 200);
        // 11 characters at 0.6 em fit 1.125 inches up to 12.27 points.
        QCOMPARE(fits.texts.first().points, 12.0);
        QVERIFY(fits.measures < 10);
    }

    // An occupied seat is refused with its message and nothing changes.
    void occupiedSeatRefused()
    {
        Chart chart(2, 2, {"Ann Lee", "Bo Ray", "Empty", "Empty"});
        chart.seating.SeatStudent(0, 1);
        const QStringList list = chart.list.rows;
        const auto taken = chart.state.SeatTaken;
        const auto names = chart.state.SeatNames;
        const qsizetype drawn = chart.surface.texts.size();
        chart.seating.SeatStudent(0, 1);
        QCOMPARE(chart.messages, QStringList{SeatTakenMessage});
        QCOMPARE(chart.list.rows, list);
        QVERIFY(chart.state.SeatTaken == taken);
        QVERIFY(chart.state.SeatNames == names);
        QCOMPARE(chart.surface.texts.size(), drawn);
    }

    // Calls that name no seat of the room or no row of the list seat nobody,
    // change nothing and show nothing.
    void impossibleCallsIgnored_data()
    {
        QTest::addColumn<double>("studentIndex");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("no row selected") << -1.0 << 0 << 0;
        QTest::newRow("row beyond the list") << 4.0 << 0 << 0;
        QTest::newRow("row far beyond 16 bits") << 1e12 << 0 << 0;
        QTest::newRow("not a number") << qQNaN() << 0 << 0;
        QTest::newRow("column left of the room") << 0.0 << 1 << -1;
        QTest::newRow("column right of the room") << 0.0 << 0 << 2;
        QTest::newRow("row below the room") << 0.0 << 2 << 0;
        QTest::newRow("row above the room") << 0.0 << -1 << 1;
    }
    void impossibleCallsIgnored()
    {
        QFETCH(double, studentIndex);
        QFETCH(int, row);
        QFETCH(int, col);
        Chart chart(2, 2, {"Ann Lee", "Bo Ray", "Empty", "Empty"});
        chart.state.StudentIndex = studentIndex;
        chart.seating.SeatStudent(row, col);
        QCOMPARE(chart.list.rows, QStringList({"Ann Lee", "Bo Ray", "Empty", "Empty"}));
        QVERIFY(chart.state.SeatTaken == decltype(chart.state.SeatTaken){});
        QVERIFY(chart.surface.texts.isEmpty());
        QVERIFY(chart.messages.isEmpty());
    }

    // Int() maps a press to a seat: a shared edge belongs to the box right of or below it.
    void hitTest_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("col");
        QTest::newRow("inside seat 1") << 5 << 6 << 1.0 << 1.0 << 0 << 0;
        QTest::newRow("right of the grid") << 5 << 6 << 8.0 << 3.0 << -1 << -1;
        QTest::newRow("left edge") << 5 << 6 << 0.5 << 1.0 << 0 << 0;
        QTest::newRow("just left of the grid") << 5 << 6 << 0.49 << 1.0 << -1 << -1;
        QTest::newRow("just above the grid") << 5 << 6 << 1.0 << 0.74 << -1 << -1;
        QTest::newRow("below the grid") << 5 << 6 << 1.0 << 6.6 << -1 << -1;
        QTest::newRow("edge of columns 1 and 2") << 5 << 6 << 0.5 + 2 * 1.25 << 1.0 << 0 << 2;
        QTest::newRow("edge of columns 4 and 5") << 5 << 6 << 0.5 + 5 * 1.25 << 1.0 << 0 << 5;
        QTest::newRow("last seat") << 5 << 6 << 7.99 << 6.58 << 4 << 5;
        QTest::newRow("1 x 1") << 1 << 1 << 7.9 << 6.5 << 0 << 0;
    }
    void hitTest()
    {
        QFETCH(int, rows);
        QFETCH(int, cols);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(int, row);
        QFETCH(int, col);
        const WindowState state = Room(rows, cols);
        int r = -1;
        int c = -1;
        const bool hit = SeatAt(state, float(x), float(y), r, c);
        QCOMPARE(hit, row >= 0);
        if (hit) {
            QCOMPARE(r, row);
            QCOMPARE(c, col);
        }
    }

    void hitTestOnEveryColumnEdge()
    {
        for (int cols = 1; cols <= 10; ++cols) {
            const WindowState state = Room(1, cols);
            for (int c = 0; c < cols; ++c) {
                int row = -1;
                int col = -1;
                const double x = 0.5 + c * double(state.SeatWidth);
                QVERIFY(SeatAt(state, x, 1.0, row, col));
                QCOMPARE(col, c);
            }
        }
    }

    // In order: the top of the list into the free seats in seat-number order.
    void inOrder_data()
    {
        QTest::addColumn<QList<int>>("handSeats");
        QTest::addColumn<QStringList>("seated");
        QTest::newRow("no seat taken") << QList<int>{} << QStringList{"A", "B", "C", "D", "E", "F"};
        // B seated by hand in seat 4 first.
        QTest::newRow("B by hand in seat 4") << QList<int>{4} << QStringList{"A", "C", "D", "B", "E", "F"};
    }
    void inOrder()
    {
        QFETCH(QList<int>, handSeats);
        QFETCH(QStringList, seated);
        Chart chart(2, 3, {"A", "B", "C", "D", "E", "F"});
        for (int s : handSeats) {
            chart.state.StudentIndex = 1;
            chart.seating.SeatStudent((s - 1) / 3, (s - 1) % 3);
        }
        chart.seating.SeatInOrder();
        QCOMPARE(chart.seated(), seated);
        QCOMPARE(chart.list.rows, QStringList(6, QString()));
        // Every seat taken: a second run changes nothing.
        chart.seating.SeatInOrder();
        QCOMPARE(chart.seated(), seated);
        QVERIFY(chart.messages.isEmpty());
    }

    // At random: seats in seat-number order, the pass with value k taking
    // list row r x k rounded half to even.
    void atRandom_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<float>>("numbers");
        QTest::addColumn<QStringList>("seated");
        QTest::addColumn<QStringList>("left");
        // k = 3, 2, 1, 0 over A B C D.
        QTest::newRow("all zero: list order") << QStringList{"A", "B", "C", "D"} << QList<float>{0, 0, 0, 0}
                                              << QStringList{"A", "B", "C", "D"} << QStringList{"", "", "", ""};
        QTest::newRow("near one: last row each time")
            << QStringList{"A", "B", "C", "D"} << QList<float>{0.99f, 0.99f, 0.99f, 0.99f}
            << QStringList{"D", "C", "B", "A"} << QStringList{"", "", "", ""};
        // 0.5 x 3 = 1.5 -> row 2 (C); 0.25 x 2 = 0.5 -> row 0 (A); 0.5 x 1 = 0.5 -> row 0 (B).
        QTest::newRow("halves go to even") << QStringList{"A", "B", "C", "D"} << QList<float>{0.5f, 0.25f, 0.5f, 0.7f}
                                           << QStringList{"C", "A", "B", "D"} << QStringList{"", "", "", ""};
        // 0.84 x 3 = 2.52 -> row 3.
        QTest::newRow("above a half") << QStringList{"A", "B", "C", "D"} << QList<float>{0.84f, 0, 0, 0}
                                      << QStringList{"D", "A", "B", "C"} << QStringList{"", "", "", ""};
    }
    void atRandom()
    {
        QFETCH(QStringList, names);
        QFETCH(QList<float>, numbers);
        QFETCH(QStringList, seated);
        QFETCH(QStringList, left);
        Chart chart(2, 2, names);
        FixedRandom random(numbers);
        chart.seating.SeatAtRandom(random);
        QCOMPARE(chart.seated(), seated);
        QCOMPARE(chart.list.rows.mid(0, 4), left);
        QCOMPARE(random.reseeds, 1);
        QCOMPARE(random.used, 4);
        QVERIFY(chart.messages.isEmpty());
    }

    // Seats filled from blank rows leave more names than free seats: both
    // buttons seat the top rows, one per free seat, and the rest stay listed.
    void moreNamesThanFreeSeats_data()
    {
        QTest::addColumn<bool>("random");
        QTest::addColumn<QStringList>("seated");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("in order") << false << QStringList{"A", "", "B", "C"} << QStringList{"D", "", "", ""};
        // k = 1: 0.99 -> row 1 (C); k = 0: row 0 (B).
        QTest::newRow("at random") << true << QStringList{"A", "", "C", "B"} << QStringList{"D", "", "", ""};
    }
    void moreNamesThanFreeSeats()
    {
        QFETCH(bool, random);
        QFETCH(QStringList, seated);
        QFETCH(QStringList, left);
        Chart chart(2, 2, {"A", "B", "C", "D"});
        chart.seating.SeatStudent(0, 0);
        chart.state.StudentIndex = 3; // the blank row A left behind
        chart.seating.SeatStudent(0, 1);
        FixedRandom numbers({0.99f, 0.99f});
        if (random)
            chart.seating.SeatAtRandom(numbers);
        else
            chart.seating.SeatInOrder();
        QCOMPARE(chart.seated(), seated);
        QCOMPARE(chart.list.rows.mid(0, 4), left);
    }

    void atRandomOneFreeSeatAndFull()
    {
        Chart chart(2, 2, {"A", "B", "C", "D"});
        for (int s = 1; s <= 3; ++s)
            chart.seating.SeatStudent((s - 1) / 2, (s - 1) % 2);
        FixedRandom one({0.9f});
        chart.seating.SeatAtRandom(one);
        QCOMPARE(chart.seated(), QStringList({"A", "B", "C", "D"}));
        QCOMPARE(one.used, 1);
        FixedRandom none({0.9f});
        chart.seating.SeatAtRandom(none);
        QCOMPARE(none.used, 0);
        QCOMPARE(none.reseeds, 1);
        QVERIFY(chart.messages.isEmpty());
        QCOMPARE(chart.seating.NextFreeSeat(), 0);
    }

    // Over many random sequences of picks, presses and both buttons, on rooms of
    // every size: nobody is seated twice or lost, the list keeps one row per seat,
    // and the seat tables agree with what was drawn.
    void invariants()
    {
        QRandomGenerator gen(20261206);
        for (int round = 0; round < 400; ++round) {
            const int rows = 1 + int(gen.bounded(7));
            const int cols = 1 + int(gen.bounded(50 / rows));
            const int n = rows * cols;
            QStringList roster;
            const int names = int(gen.bounded(n + 1));
            for (int i = 0; i < names; ++i)
                roster << QStringLiteral("S%1 N%2").arg(round).arg(i);
            QStringList list = roster;
            while (list.size() < n)
                list << QStringLiteral("Empty");
            const QStringList original = list;
            Chart chart(rows, cols, list);
            class Numbers : public RandomSource {
            public:
                explicit Numbers(QRandomGenerator &g) : g(g) {}
                void reseed() override {}
                float next() override { return float(g.generateDouble()) * 0.99999f; }
                QRandomGenerator &g;
            } random(gen);

            for (int step = 0; step < 12; ++step) {
                switch (gen.bounded(6)) {
                case 0:
                    chart.seating.SeatInOrder();
                    break;
                case 1:
                    chart.seating.SeatAtRandom(random);
                    break;
                default:
                    chart.state.StudentIndex = int(gen.bounded(n + 2)) - 1;
                    chart.seating.SeatStudent(int(gen.bounded(rows + 2)) - 1, int(gen.bounded(cols + 2)) - 1);
                }
                QCOMPARE(chart.list.count(), n);
                QStringList all;
                int taken = 0;
                for (int s = 1; s <= n; ++s) {
                    QVERIFY(chart.state.SeatTaken[s] == 0 || chart.state.SeatTaken[s] == -1);
                    if (chart.state.SeatTaken[s] == -1) {
                        ++taken;
                        all << chart.state.SeatNames[s];
                    } else {
                        QCOMPARE(chart.state.SeatNames[s], QString());
                    }
                }
                for (const QString &row : chart.list.rows) {
                    if (!row.isEmpty())
                        all << row;
                }
                // Seats filled from blank rows hold empty text; the rest add up.
                all.removeAll(QString());
                QStringList expected = original;
                expected.sort();
                all.sort();
                QCOMPARE(all, expected);
                // The names still listed stand at the top; blank rows collect
                // below them, at most one per seat taken.
                const qsizetype listed = n - chart.list.rows.count(QString());
                QVERIFY(n - listed <= taken);
                for (qsizetype k = 0; k < listed; ++k)
                    QVERIFY(!chart.list.rows.at(k).isEmpty());
            }
            QVERIFY(chart.messages.size() <= 12);
            for (const QString &m : chart.messages)
                QCOMPARE(m, SeatTakenMessage);
        }
    }
};

QTEST_GUILESS_MAIN(TestSeating)
#include "tst_seating.moc"
