#include "TestFolder.h"

#include "app/Form1.h"
#include "app/WindowState.h"
#include "print/PrintedChart.h"
#include "print/PrinterSurface.h"
#include "seating/SeatGrid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace plivan;

namespace {

// Where the tests read positions: a word's left edge and top as poppler
// reports them, and a line's centre in a rendered page, are both within this
// of where the chart put them.
constexpr double Tolerance = 0.01; // inches

// One word of a PDF page as poppler's pdftotext -bbox reads it, in inches from
// the page's top-left corner.
struct Word {
    QString text;
    QRectF box;
};

struct PdfPage {
    QSizeF size; // inches
    QList<Word> words;
};

QString Tool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

QByteArray Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning() << program << arguments << "failed:" << process.readAllStandardError();
        return {};
    }
    return process.readAllStandardOutput();
}

QString Unescape(QString text)
{
    return text.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&apos;"), QLatin1String("'"))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
}

// The first page of a PDF file, read back with pdftotext -bbox.
PdfPage ReadPdf(const QString &path)
{
    const QString xml = QString::fromUtf8(Run(Tool(QStringLiteral("pdftotext")),
                                              {QStringLiteral("-bbox"), QStringLiteral("-f"),
                                               QStringLiteral("1"), QStringLiteral("-l"),
                                               QStringLiteral("1"), path, QStringLiteral("-")}));
    PdfPage page;
    static const QRegularExpression pageTag(
        QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression wordTag(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    const QRegularExpressionMatch size = pageTag.match(xml);
    if (size.hasMatch())
        page.size = QSizeF(size.captured(1).toDouble() / 72, size.captured(2).toDouble() / 72);
    for (const QRegularExpressionMatch &m : wordTag.globalMatch(xml)) {
        page.words.append({Unescape(m.captured(5)),
                           QRectF(QPointF(m.captured(1).toDouble() / 72, m.captured(2).toDouble() / 72),
                                  QPointF(m.captured(3).toDouble() / 72, m.captured(4).toDouble() / 72))});
    }
    return page;
}

// The first page rendered in grey at `dpi` dots per inch.
QImage RenderPdf(const QString &path, int dpi)
{
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    Run(Tool(QStringLiteral("pdftoppm")), {QStringLiteral("-r"), QString::number(dpi),
                                           QStringLiteral("-gray"), QStringLiteral("-singlefile"),
                                           QStringLiteral("-f"), QStringLiteral("1"),
                                           QStringLiteral("-l"), QStringLiteral("1"), path, stem});
    return QImage(stem + QStringLiteral(".pgm"));
}

// A composed chart: the file, and the printable area's top-left corner on its
// page, in inches, from which every position of the chart is measured.
struct Chart {
    QString path;
    QPointF origin;
    double dotsPerInch = 0;
};

// The top-left corner of the printable area of `printer`'s page, in inches.
// Qt's PDF engine places it at whole points.
QPointF PrintableOrigin(const QPrinter &printer)
{
    return QPointF(printer.pageLayout().paintRectPoints().topLeft()) / 72.0;
}

// Composes the chart into a PDF through the printer surface, on US Letter
// with margins that differ left and top, so a chart measured from the wrong
// corner is caught.
Chart ComposeToPdf(WindowState &state, const QString &path)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(600);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageMargins(QMarginsF(22, 15, 22, 15), QPageLayout::Point);
    PrinterSurface page(printer, QGuiApplication::font());
    ComposeChart(state, page);
    return {path, PrintableOrigin(printer), double(printer.resolution())};
}

WindowState Room(int rows, int cols)
{
    WindowState state;
    state.SeatRows = rows;
    state.SeatCols = cols;
    state.SeatHeight = 7.0 / rows / 1.2;
    state.SeatWidth = float(9.0 / cols / 1.2);
    state.NameFontSize = 10;
    state.TeacherName = QStringLiteral("Mrs. Tolvane");
    state.ClassNames = {QString(), QStringLiteral("Period 1 Geometry")};
    state.RosterFiles = {QString(), QStringLiteral("period1.csv")};
    state.ClassIndex = 1;
    return state;
}

// The words whose left edge and top lie within Tolerance of (x, y).
QStringList WordsAt(const PdfPage &page, double x, double y)
{
    QStringList found;
    for (const Word &w : page.words) {
        if (std::abs(w.box.left() - x) <= Tolerance && std::abs(w.box.top() - y) <= Tolerance)
            found.append(w.text);
    }
    return found;
}

// The text of the line that starts at (x, y): its first word within Tolerance
// of that point, and the words right of it on the same line that start less
// than `width` from x.
QString LineAt(const PdfPage &page, double x, double y, double width = 1.3)
{
    QList<Word> line;
    bool starts = false;
    for (const Word &w : page.words) {
        if (std::abs(w.box.top() - y) > Tolerance || w.box.left() < x - Tolerance || w.box.left() >= x + width)
            continue;
        if (std::abs(w.box.left() - x) <= Tolerance)
            starts = true;
        line.append(w);
    }
    if (!starts)
        return {};
    std::sort(line.begin(), line.end(),
              [](const Word &a, const Word &b) { return a.box.left() < b.box.left(); });
    QStringList texts;
    for (const Word &w : line)
        texts.append(w.text);
    return texts.join(QLatin1Char(' '));
}

QList<Word> WordsInside(const PdfPage &page, const QRectF &area)
{
    QList<Word> inside;
    for (const Word &w : page.words)
        if (area.intersects(w.box))
            inside.append(w);
    return inside;
}

bool IsDark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 128;
}

// The dark runs crossed along one row (or column) of a rendered page, as
// (centre, width) in inches.
QList<QPointF> DarkRuns(const QImage &image, double at, bool alongRow, double dpi)
{
    QList<QPointF> runs;
    const int fixed = qRound(at * dpi);
    const int length = alongRow ? image.width() : image.height();
    int start = -1;
    for (int i = 0; i <= length; ++i) {
        const bool dark = i < length && (alongRow ? IsDark(image, i, fixed) : IsDark(image, fixed, i));
        if (dark && start < 0)
            start = i;
        if (!dark && start >= 0) {
            runs.append(QPointF((start + i) / 2.0 / dpi, (i - start) / dpi));
            start = -1;
        }
    }
    return runs;
}

// Checks that the grid lines of a rows x cols chart with print boxes w x h
// stand at their places on a page rendered at `dpi` whose printable area
// starts at `origin`: every vertical line crossed by a scan through every
// row, every horizontal line crossed by a scan through every column, and
// nothing else dark on those scans inside the grid.
void VerifyGrid(const QImage &image, double dpi, QPointF origin, int rows, int cols, double w, double h)
{
    QVERIFY(!image.isNull());
    // Lines are 6 device pixels at 600 dpi: 0.01 inch.
    const auto checkRuns = [&](QList<QPointF> runs, double from, double to, int count, double first,
                               double step, const QString &where) {
        runs.removeIf([&](QPointF r) { return r.x() < from || r.x() > to; });
        QVERIFY2(runs.size() == count,
                 qPrintable(QStringLiteral("%1: %2 lines, expected %3").arg(where).arg(runs.size()).arg(count)));
        for (int k = 0; k < count; ++k) {
            const double expected = first + k * step;
            QVERIFY2(std::abs(runs.at(k).x() - expected) <= 1.5 / dpi + 0.002,
                     qPrintable(QStringLiteral("%1: line %2 at %3, expected %4")
                                    .arg(where).arg(k).arg(runs.at(k).x()).arg(expected)));
            QVERIFY2(runs.at(k).y() >= 0.005 && runs.at(k).y() <= 0.02,
                     qPrintable(QStringLiteral("%1: line %2 is %3 in wide").arg(where).arg(k).arg(runs.at(k).y())));
        }
    };
    const double left = origin.x() + GridLeft;
    const double top = origin.y() + GridTop;
    for (int row = 0; row < rows; ++row) {
        // Below the names, which take the upper part of a box.
        const double y = top + row * h + 0.92 * h;
        checkRuns(DarkRuns(image, y, true, dpi), left - 0.1, left + cols * w + 0.1, cols + 1, left, w,
                  QStringLiteral("row %1").arg(row));
    }
    for (int col = 0; col < cols; ++col) {
        // Right of the names, which end a twentieth of the box before its
        // edge, and clear of the box's own line.
        const double x = left + (col + 1) * w - std::max(0.025 * w, 0.03);
        checkRuns(DarkRuns(image, x, false, dpi), top - 0.1, top + rows * h + 0.1, rows + 1, top, h,
                  QStringLiteral("column %1").arg(col));
    }
}

bool SameState(const WindowState &a, const WindowState &b)
{
    return a.ClassIndex == b.ClassIndex && a.StudentIndex == b.StudentIndex && a.SeatRows == b.SeatRows
           && a.SeatCols == b.SeatCols && a.NameFontSize == b.NameFontSize
           && a.TeacherName == b.TeacherName && a.ClassNames == b.ClassNames
           && a.RosterFiles == b.RosterFiles && a.SeatNames == b.SeatNames
           && a.SeatHeight == b.SeatHeight && a.SeatWidth == b.SeatWidth
           && a.StudentPicked == b.StudentPicked && a.SeatTaken == b.SeatTaken;
}

// The names of the 5 x 6 chart, seat 1 first, and the lines each must print as.
struct SeatText {
    const char *name;
    const char *first;
    const char *second; // nullptr: one line only
};
const SeatText FullChart[30] = {
    {"Lee,Ann", "Lee", "Ann"},
    {"Lee, Ann", "Lee,", "Ann"},
    {"Ann Marie Lee", "Ann", "Marie Lee"},
    {"Kim", "Kim", nullptr},
    {"Empty", "Empty", nullptr},
    {" Kim", "", "Kim"},
    {"Kim,", "Kim", ""},
    {"Ann Lee", "Ann", "Lee"},
    {"", "", nullptr}, // a free seat
    {"Bo Chen", "Bo", "Chen"},
    {"Cara Diaz", "Cara", "Diaz"},
    {"Dev Engel", "Dev", "Engel"},
    {"Eli Fox", "Eli", "Fox"},
    {"Fay Gold", "Fay", "Gold"},
    {"Gus Hale", "Gus", "Hale"},
    {"Hana Ito", "Hana", "Ito"},
    {"Ivo Jung", "Ivo", "Jung"},
    {"Jo Kahn", "Jo", "Kahn"},
    {"Kai Lund", "Kai", "Lund"},
    {"Liv Moss", "Liv", "Moss"},
    {"Max Nagy", "Max", "Nagy"},
    {"Nia Ortiz", "Nia", "Ortiz"},
    {"Oto Park", "Oto", "Park"},
    {"Pia Quinn", "Pia", "Quinn"},
    {"Quin Roy", "Quin", "Roy"},
    {"Rex Stein", "Rex", "Stein"},
    {"Sia Tran", "Sia", "Tran"},
    {"Ugo Vance", "Ugo", "Vance"},
    {"Maximiliana-Josephine Wolfeschlegelsteinhausen", "Maximiliana-Josephine",
     "Wolfeschlegelsteinhausen"}, // shrunk to fit its box
    {"Zoe Young", "Zoe", "Young"},
};

WindowState FullRoom()
{
    WindowState state = Room(5, 6);
    state.NameFontSize = 12;
    for (int s = 1; s <= 30; ++s) {
        state.SeatNames[s] = QString::fromUtf8(FullChart[s - 1].name);
        state.SeatTaken[s] = state.SeatNames[s].isEmpty() ? 0 : -1;
    }
    return state;
}

void Click(Form1 &form, const char *button)
{
    QTest::mouseClick(form.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

// A real window with one class "<className>" in a rows x cols room, chosen,
// with `names` at the top of its student list and everybody seated in order.
struct ChartWindow {
    TestFolder folder;
    MessageRecorder recorder;
    std::unique_ptr<Form1> form;

    void open(int rows, int cols, const QString &className, const QStringList &names)
    {
        folder.writeSettings(rows, cols, {className + QStringLiteral("#class.csv")});
        folder.writeRoster(QStringLiteral("class.csv"), names);
        form = std::make_unique<Form1>(folder.path());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        Click(*form, "CBClassSelect");
        auto *classes = form->findChild<QListWidget *>(QStringLiteral("LBClasses"));
        QTest::mouseClick(classes->viewport(), Qt::LeftButton, {},
                          classes->visualItemRect(classes->item(0)).center());
        QCOMPARE(form->state().ClassIndex, 1);
        // The names are put on the list as the roster would have them.
        auto *students = form->findChild<QListWidget *>(QStringLiteral("LBStudents"));
        QCOMPARE(students->count(), rows * cols);
        for (int i = 0; i < names.size(); ++i)
            students->item(i)->setText(names.at(i));
        form->state().NameFontSize = 12;
        Click(*form, "CBInOrder");
        QVERIFY(form->findChild<QPushButton *>(QStringLiteral("CBPrint"))->isEnabled());
        recorder.messages.clear();
    }
};

const QStringList SomeNames{QStringLiteral("Ann Lee"), QStringLiteral("Lee,Ann"),
                            QStringLiteral("Kim"), QStringLiteral("Ann Marie Lee")};

// Checks a page printed from a ChartWindow holding SomeNames in a 5 x 6 room:
// the heading and the names at their places from the printable area's
// top-left corner `origin`, the page in landscape.
void VerifyPrintedWindow(const QString &path, QPointF origin, const QString &className)
{
    const PdfPage page = ReadPdf(path);
    QVERIFY2(page.size.width() > page.size.height(), "the page is in landscape");
    const QStringList heading = className.split(QLatin1Char(' ')) + QStringList{QStringLiteral("-"),
                                QStringLiteral("Mrs."), QStringLiteral("Tolvane")};
    bool headingFound = false;
    for (const Word &w : page.words) {
        if (w.text == heading.first() && std::abs(w.box.top() - (origin.y() + 0.2)) <= 0.05)
            headingFound = true;
    }
    QVERIFY2(headingFound, "the heading's first word is on the page at y = 0.2");
    // 5 x 6: boxes of 1.5 x 1.4 inches.
    const auto at = [&](int seat, double dy) {
        const int row = (seat - 1) / 6;
        const int col = (seat - 1) % 6;
        return QPointF(origin.x() + col * 1.5 + 0.5 + 0.075, origin.y() + row * 1.4 + 0.75 + 0.07 + dy);
    };
    QCOMPARE(LineAt(page, at(1, 0).x(), at(1, 0).y()), QStringLiteral("Ann"));
    QCOMPARE(LineAt(page, at(1, 0.3).x(), at(1, 0.3).y()), QStringLiteral("Lee"));
    QCOMPARE(LineAt(page, at(2, 0).x(), at(2, 0).y()), QStringLiteral("Lee"));
    QCOMPARE(LineAt(page, at(2, 0.3).x(), at(2, 0.3).y()), QStringLiteral("Ann"));
    QCOMPARE(LineAt(page, at(3, 0).x(), at(3, 0).y()), QStringLiteral("Kim"));
    QCOMPARE(LineAt(page, at(4, 0).x(), at(4, 0).y()), QStringLiteral("Ann"));
    QCOMPARE(LineAt(page, at(4, 0.3).x(), at(4, 0.3).y()), QStringLiteral("Marie Lee"));
    QCOMPARE(LineAt(page, at(5, 0).x(), at(5, 0).y()), QStringLiteral("Empty"));
    QCOMPARE(LineAt(page, at(30, 0).x(), at(30, 0).y()), QStringLiteral("Empty"));
    const QImage image = RenderPdf(path, 300);
    VerifyGrid(image, 300, origin, 5, 6, 1.5, 1.4);
}

// The imageable area of `paper` in a PPD file, in inches from the top-left
// corner of the portrait paper.
QRectF ImageableArea(const QString &ppd, const QString &paper)
{
    QFile file(ppd);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromLatin1(file.readAll());
    const auto numbers = [&](const char *keyword) {
        const QRegularExpression line(QStringLiteral(R"re(\*%1 %2[/:][^"]*"([^"]*)")re").arg(QLatin1String(keyword), paper));
        QList<double> values;
        for (const QString &v : line.match(text).captured(1).split(u' ', Qt::SkipEmptyParts))
            values << v.toDouble();
        return values;
    };
    const QList<double> area = numbers("ImageableArea");
    const QList<double> size = numbers("PaperDimension");
    if (area.size() != 4 || size.size() != 2)
        return {};
    return QRectF(QPointF(area[0], size[1] - area[3]) / 72, QPointF(area[2], size[1] - area[1]) / 72);
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    PdfPage fullPage;
    QImage fullImage;
    Chart full;

private slots:
    void initTestCase()
    {
        if (Tool(QStringLiteral("pdftotext")).isEmpty() || Tool(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdftoppm) are needed to read the printed page");
        QVERIFY(work.isValid());
        WindowState state = FullRoom();
        full = ComposeToPdf(state, work.filePath(QStringLiteral("full.pdf")));
        fullPage = ReadPdf(full.path);
        fullImage = RenderPdf(full.path, 300);
        QVERIFY(!fullPage.words.isEmpty());
        QVERIFY(!fullImage.isNull());
    }

    // The page is used in landscape, and the chart is measured from the
    // printable area's corner, not the paper's.
    void pageIsLandscape()
    {
        QCOMPARE(qRound(fullPage.size.width() * 72), 792);
        QCOMPARE(qRound(fullPage.size.height() * 72), 612);
        QCOMPARE(full.origin, QPointF(22 / 72.0, 15 / 72.0));
    }

    // Every box of the 5 x 6 room: 1.5 x 1.4 inches from (0.5, 0.75), so seat
    // 8 runs from (2.0, 2.15) to (3.5, 3.55); lines 0.01 inch wide.
    void everyBoxAtItsPlace()
    {
        VerifyGrid(fullImage, 300, full.origin, 5, 6, 1.5, 1.4);
        // Seat 8's own corners, looked up directly.
        const QPointF o = full.origin;
        QVERIFY(IsDark(fullImage, qRound((o.x() + 2.0) * 300), qRound((o.y() + 2.85) * 300)));
        QVERIFY(IsDark(fullImage, qRound((o.x() + 3.5) * 300), qRound((o.y() + 2.85) * 300)));
        QVERIFY(IsDark(fullImage, qRound((o.x() + 3.4) * 300), qRound((o.y() + 2.15) * 300)));
        QVERIFY(IsDark(fullImage, qRound((o.x() + 3.4) * 300), qRound((o.y() + 3.55) * 300)));
    }

    // Every seat's text, split at its first space, else its first comma, in
    // two lines 0.3 inch apart from a twentieth of the box inside its corner.
    void everyNameAtItsPlace_data()
    {
        QTest::addColumn<int>("seat");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("twoLines");
        for (int s = 1; s <= 30; ++s) {
            const SeatText &t = FullChart[s - 1];
            QTest::addRow("seat %d '%s'", s, t.name)
                << s << QString::fromUtf8(t.first) << QString::fromUtf8(t.second ? t.second : "")
                << (t.second != nullptr);
        }
    }
    void everyNameAtItsPlace()
    {
        QFETCH(int, seat);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, twoLines);
        const int row = (seat - 1) / 6;
        const int col = (seat - 1) % 6;
        const QRectF box(full.origin + QPointF(col * 1.5 + 0.5, row * 1.4 + 0.75), QSizeF(1.5, 1.4));
        const double x = box.left() + 0.075;
        const double y = box.top() + 0.07;
        if (!first.isEmpty())
            QCOMPARE(LineAt(fullPage, x, y), first);
        if (twoLines && !second.isEmpty())
            QCOMPARE(LineAt(fullPage, x, y + 0.3), second);
        // Nothing else in the box, and all of it inside the box.
        QStringList inBox;
        for (const Word &w : WordsInside(fullPage, box.adjusted(0.01, 0.01, -0.01, -0.01))) {
            inBox.append(w.text);
            QVERIFY2(box.contains(w.box), qPrintable(w.text + QStringLiteral(" leaves its box")));
        }
        QStringList expected = first.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                               + second.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(inBox, expected);
    }

    // The seat 8 example in figures: its name's lines start at (2.075, 2.22)
    // and (2.075, 2.52).
    void seatEightExample()
    {
        QCOMPARE(WordsAt(fullPage, full.origin.x() + 2.075, full.origin.y() + 2.22), QStringList{QStringLiteral("Ann")});
        QCOMPARE(WordsAt(fullPage, full.origin.x() + 2.075, full.origin.y() + 2.52), QStringList{QStringLiteral("Lee")});
    }

    // A free seat has its box and nothing inside it.
    void freeSeatIsBlank()
    {
        const QRectF box(full.origin + QPointF(2 * 1.5 + 0.5, 1 * 1.4 + 0.75), QSizeF(1.5, 1.4));
        QVERIFY(WordsInside(fullPage, box).isEmpty());
        int dark = 0;
        for (int y = qRound((box.top() + 0.03) * 300); y < qRound((box.bottom() - 0.03) * 300); ++y)
            for (int x = qRound((box.left() + 0.03) * 300); x < qRound((box.right() - 0.03) * 300); ++x)
                dark += IsDark(fullImage, x, y) ? 1 : 0;
        QCOMPARE(dark, 0);
    }

    // A name too wide for its box at the name size is drawn smaller, inside it.
    void longNameShrunkIntoItsBox()
    {
        const QRectF box(full.origin + QPointF(4 * 1.5 + 0.5, 4 * 1.4 + 0.75), QSizeF(1.5, 1.4));
        const QList<Word> words = WordsInside(fullPage, box);
        QCOMPARE(words.size(), 2);
        const Word *normal = nullptr;
        for (const Word &w : fullPage.words)
            if (w.text == QLatin1String("Zoe"))
                normal = &w;
        QVERIFY(normal);
        for (const Word &w : words) {
            QVERIFY2(w.box.right() <= box.right() - 0.05, qPrintable(w.text));
            QVERIFY2(w.box.height() < normal->box.height(), qPrintable(w.text + QStringLiteral(" is smaller")));
        }
    }

    // The heading: "<class> - <teacher>" after (70 - length) / 2 spaces,
    // rounded half to even and never fewer than none, at (1.3, 0.2) in 24 points.
    void headingSpaces_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<int>("spaces");
        // With " - Mrs. Tolvane" (15 characters) after the class name.
        QTest::newRow("32 characters") << QStringLiteral("Period 1 Geometry") << 19;
        QTest::newRow("31 characters, 19.5 -> 20") << QStringLiteral("Period 4 Algebra") << 20;
        QTest::newRow("33 characters, 18.5 -> 18") << QStringLiteral("Period 10 Geometry") << 18;
    }
    void headingSpaces()
    {
        QFETCH(QString, className);
        QFETCH(int, spaces);
        WindowState state = Room(5, 6);
        state.ClassNames = {QString(), className};
        const Chart chart = ComposeToPdf(state, work.filePath(QStringLiteral("heading.pdf")));
        const PdfPage page = ReadPdf(chart.path);
        const Word *first = nullptr;
        for (const Word &w : page.words)
            if (w.text == QLatin1String("Period") && w.box.top() < chart.origin.y() + 0.75)
                first = &w;
        QVERIFY(first);
        QVERIFY(std::abs(first->box.top() - (chart.origin.y() + 0.2)) <= Tolerance);
        QFont font = QGuiApplication::font();
        font.setPointSizeF(24);
        QPrinter printer(QPrinter::HighResolution);
        printer.setResolution(600);
        const double space = QFontMetricsF(font, &printer).horizontalAdvance(QLatin1Char(' ')) / 600;
        const double offset = first->box.left() - chart.origin.x() - 1.3;
        QCOMPARE(qRound(offset / space), spaces);
        QVERIFY(std::abs(offset - spaces * space) < 0.3 * space);
    }

    // Printing leaves the window state as it was: the seat sizes exactly so,
    // even where w x 1.2 / 1.2 is not w in single precision (17, 34 and 35
    // columns), so a press on a box edge finds the same seat afterwards.
    void stateUnchanged_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::newRow("5 x 6") << 5 << 6;
        QTest::newRow("7 x 7") << 7 << 7;
        QTest::newRow("1 x 1") << 1 << 1;
        QTest::newRow("2 x 17") << 2 << 17;
        QTest::newRow("1 x 34") << 1 << 34;
        QTest::newRow("1 x 35") << 1 << 35;
        QTest::newRow("10 x 5") << 10 << 5;
    }
    void stateUnchanged()
    {
        QFETCH(int, rows);
        QFETCH(int, cols);
        WindowState state = Room(rows, cols);
        // Short enough for the narrowest boxes.
        for (int s = 1; s <= rows * cols; ++s)
            state.SeatNames[s] = QStringLiteral("A B");
        const WindowState before = state;
        const Chart chart = ComposeToPdf(state, work.filePath(QStringLiteral("state.pdf")));
        QVERIFY(SameState(state, before));
        for (int col = 0; col < cols; ++col) {
            const double edge = GridLeft + col * double(state.SeatWidth);
            int r = -1;
            int c = -1;
            QVERIFY(SeatAt(state, edge, GridTop + 0.01, r, c));
            QCOMPARE(c, col);
        }
        // And the page holds the whole grid at print size.
        VerifyGrid(RenderPdf(chart.path, 300), 300, chart.origin, rows, cols,
                   double(float(double(before.SeatWidth) * 1.2)), before.SeatHeight * 1.2);
    }

    // Printing twice gives the same page.
    void printingTwiceGivesTheSamePage()
    {
        WindowState state = FullRoom();
        const Chart second = ComposeToPdf(state, work.filePath(QStringLiteral("again.pdf")));
        const PdfPage page = ReadPdf(second.path);
        QCOMPARE(page.words.size(), fullPage.words.size());
        for (qsizetype i = 0; i < page.words.size(); ++i) {
            QCOMPARE(page.words.at(i).text, fullPage.words.at(i).text);
            QCOMPARE(page.words.at(i).box, fullPage.words.at(i).box);
        }
        QCOMPARE(RenderPdf(second.path, 300), fullImage);
    }

    // A device that cannot begin its page (here a PDF in a folder that does
    // not exist) draws nothing and says so; the state is put back all the same.
    void refusedPageIsReported()
    {
        WindowState state = FullRoom();
        const WindowState before = state;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(work.filePath(QStringLiteral("missing/chart.pdf")));
        PrinterSurface page(printer, QGuiApplication::font());
        QTest::ignoreMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        ComposeChart(state, page);
        QVERIFY(page.beginFailed());
        QVERIFY(!page.started());
        QVERIFY(!page.endedCleanly());
        QVERIFY(SameState(state, before));
        QVERIFY(!QFileInfo::exists(printer.outputFileName()));
    }

    void chartFileStem_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("stem");
        QTest::newRow("plain") << QStringLiteral("Period 1 Geometry") << QStringLiteral("Period 1 Geometry");
        QTest::newRow("separators") << QStringLiteral("Art/Design\\2") << QStringLiteral("Art_Design_2");
        QTest::newRow("reserved") << QStringLiteral("A<b>:\"c\"|d?*") << QStringLiteral("A_b___c__d__");
        QTest::newRow("control") << QStringLiteral("Tab\there") << QStringLiteral("Tab_here");
        QTest::newRow("ends trimmed") << QStringLiteral("  Math 7. ") << QStringLiteral("Math 7");
        QTest::newRow("dots only") << QStringLiteral("..") << QStringLiteral("Seating chart");
        QTest::newRow("empty") << QString() << QStringLiteral("Seating chart");
        QTest::newRow("long") << QString(150, u'a') << QString(100, u'a');
        // U+1F600 is two UTF-16 units; the 100th unit would be its first half.
        QTest::newRow("long, cut between characters")
            << QString(99, u'a') + QString::fromUcs4(U"\U0001F600 b") << QString(99, u'a');
        QTest::newRow("accents kept") << QStringLiteral("Français 2") << QStringLiteral("Français 2");
    }
    void chartFileStem()
    {
        QFETCH(QString, className);
        QFETCH(QString, stem);
        QCOMPARE(ChartFileStem(className), stem);
    }

    // With no printer at all, Print says so and saves the chart as a PDF
    // named after the class in the Plivan folder, never over an older one;
    // the page is the one the printer would have had.
    void noPrinterSavesPdf()
    {
        if (!QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is reachable (CUPS_SERVER points at a print server)");
        ChartWindow w;
        w.open(5, 6, QStringLiteral("Period 1: Geometry"), SomeNames);
        const WindowState before = w.form->state();
        const QString expectedPath = w.folder.path() + QStringLiteral("Period 1_ Geometry.pdf");

        Click(*w.form, "CBPrint");
        QCOMPARE(w.recorder.messages.size(), 1);
        qInfo().noquote() << "Message:" << w.recorder.messages.first();
        QVERIFY2(w.recorder.messages.first().startsWith(QLatin1String("No printer was found.")),
                 qPrintable(w.recorder.messages.first()));
        QVERIFY2(w.recorder.messages.first().contains(QDir::toNativeSeparators(expectedPath)),
                 qPrintable(w.recorder.messages.first()));
        QVERIFY(QFileInfo::exists(expectedPath));
        QVERIFY(SameState(w.form->state(), before));
        // The saved page: margins of 14 points on the locale's paper.
        VerifyPrintedWindow(expectedPath, QPointF(14, 14) / 72.0, QStringLiteral("Period 1: Geometry"));
        QCOMPARE(ReadPdf(expectedPath).words.isEmpty(), false);

        // Again: a second file, the first one left as it was.
        QFile firstFile(expectedPath);
        QVERIFY(firstFile.open(QIODevice::ReadOnly));
        const QByteArray firstBytes = firstFile.readAll();
        firstFile.close();
        Click(*w.form, "CBPrint");
        const QString secondPath = w.folder.path() + QStringLiteral("Period 1_ Geometry (2).pdf");
        QCOMPARE(w.recorder.messages.size(), 2);
        QVERIFY2(w.recorder.messages.last().contains(QDir::toNativeSeparators(secondPath)),
                 qPrintable(w.recorder.messages.last()));
        QVERIFY(QFileInfo::exists(secondPath));
        QVERIFY(firstFile.open(QIODevice::ReadOnly));
        QCOMPARE(firstFile.readAll(), firstBytes);
        QCOMPARE(RenderPdf(secondPath, 100), RenderPdf(expectedPath, 100));
        QVERIFY(SameState(w.form->state(), before));

        // A press on the left edge of seat 8 after printing seats a picked
        // student there.
        WindowState &state = w.form->state();
        state.SeatTaken[8] = 0;
        state.SeatNames[8].clear();
        auto *students = w.form->findChild<QListWidget *>(QStringLiteral("LBStudents"));
        students->addItem(QStringLiteral("Zed Ray"));
        QTest::mouseClick(students->viewport(), Qt::LeftButton, {},
                          students->visualItemRect(students->item(students->count() - 1)).center());
        const QPoint edge(qRound((GridLeft + double(state.SeatWidth)) * 96),
                          qRound((GridTop + state.SeatHeight * 1.5) * 96));
        QTest::mouseClick(w.form->windowHandle(), Qt::LeftButton, {}, edge);
        QCOMPARE(state.SeatNames[8], QStringLiteral("Zed Ray"));
        QCOMPARE(w.recorder.messages.size(), 2);
    }

    // With no printer and a Plivan folder that cannot be written, Print says
    // the chart was not printed and why.
    void noPrinterAndNoFolder()
    {
        if (!QPrinterInfo::defaultPrinter().isNull() || !QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is reachable (CUPS_SERVER points at a print server)");
        ChartWindow w;
        w.open(5, 6, QStringLiteral("Period 1 Geometry"), SomeNames);
        const WindowState before = w.form->state();
        // The folder goes away after the start (a removed stick, a network drive).
        QVERIFY(QDir(w.folder.path()).removeRecursively());
        Click(*w.form, "CBPrint");
        QCOMPARE(w.recorder.messages.size(), 1);
        const QString message = w.recorder.messages.first();
        qInfo().noquote() << "Message:" << message;
        QVERIFY2(message.startsWith(QLatin1String("The chart was not printed: no printer was found")),
                 qPrintable(message));
        QVERIFY2(message.contains(QLatin1String("No such file or directory")), qPrintable(message));
        QVERIFY(SameState(w.form->state(), before));
    }

    // Through a real print server (run by tests/print/cups-test.sh): Print
    // sends one job to the default queue, named after the class, on the
    // printer's own default paper (US Letter, where Qt starts on A4), in
    // landscape, with the heading, the names and the boxes at their places
    // from the printable area that Qt gives for that printer.
    void printsOnDefaultPrinter()
    {
        const QString capture = qEnvironmentVariable("PLIVAN_CAPTURE_DIR");
        if (capture.isEmpty())
            QSKIP("needs the private print server of tests/print/cups-test.sh");
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        QCOMPARE(info.printerName(), QStringLiteral("capture"));
        const QStringList before = QDir(capture).entryList({QStringLiteral("*.pdf")});

        ChartWindow w;
        w.open(5, 6, QStringLiteral("Period 1 Geometry"), SomeNames);
        const WindowState state = w.form->state();
        Click(*w.form, "CBPrint");
        QCOMPARE(w.recorder.messages, QStringList());
        QVERIFY(SameState(w.form->state(), state));

        QStringList jobs;
        QTRY_VERIFY_WITH_TIMEOUT(
            (jobs = QDir(capture).entryList({QStringLiteral("*.pdf")})).size() == before.size() + 1, 30000);
        QString job;
        for (const QString &name : jobs)
            if (!before.contains(name))
                job = QDir(capture).filePath(name);
        QFile title(QString(job).replace(QLatin1String(".pdf"), QLatin1String(".title")));
        QVERIFY(title.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(title.readAll()).trimmed(), QStringLiteral("Period 1 Geometry"));

        const PdfPage page = ReadPdf(job);
        QCOMPARE(qRound(page.size.width() * 72), 792);
        QCOMPARE(qRound(page.size.height() * 72), 612);
        QPrinter printer(info, QPrinter::HighResolution);
        printer.setResolution(600);
        printer.setPageSize(info.defaultPageSize());
        printer.setPageOrientation(QPageLayout::Landscape);
        const QPointF origin = PrintableOrigin(printer);
        QVERIFY2(origin != QPointF(0, 0), "the test printer has margins");
        VerifyPrintedWindow(job, origin, QStringLiteral("Period 1 Geometry"));
    }

    // A printer with half an inch unprintable at the top and bottom of its
    // paper, A4 by default: Qt reports these margins as they are in portrait,
    // also for the landscape page. On the page as the printer gets it, turned
    // onto the paper, every line, name and the heading lie inside the
    // imageable area its PPD gives.
    void printsInsideImageableArea()
    {
        const QString ppd = qEnvironmentVariable("PLIVAN_NARROW_PPD");
        const QString capture = qEnvironmentVariable("PLIVAN_CAPTURE_DIR");
        if (ppd.isEmpty())
            QSKIP("needs the narrow queue of tests/print/cups-test.sh");
        const QRectF imageable = ImageableArea(ppd, QStringLiteral("A4"));
        QVERIFY(!imageable.isEmpty());

        qputenv("PRINTER", "narrow");
        QStringList names;
        for (int k = 1; k <= 30; ++k)
            names << QStringLiteral("Ann%1 Lee%1").arg(k);
        ChartWindow w;
        w.open(5, 6, QStringLiteral("Period 7 Pre-Algebra and Geometry"), names);
        const QStringList before = QDir(capture).entryList({QStringLiteral("*.pdf")});
        Click(*w.form, "CBPrint");
        qunsetenv("PRINTER");
        QCOMPARE(w.recorder.messages.join(u'|'), QString());
        QStringList jobs;
        QTRY_VERIFY_WITH_TIMEOUT(
            (jobs = QDir(capture).entryList({QStringLiteral("*.pdf")})).size() == before.size() + 1, 30000);
        QString job;
        for (const QString &name : jobs)
            if (!before.contains(name))
                job = QDir(capture).filePath(name);

        const PdfPage page = ReadPdf(job);
        QVERIFY2(page.size.height() > page.size.width(), "the page is turned onto the paper");
        QStringList expected = names.join(u' ').split(u' ');
        expected << QStringLiteral("Period") << QStringLiteral("Tolvane");
        for (const Word &word : page.words) {
            if (expected.removeOne(word.text))
                QVERIFY2(imageable.contains(word.box), qPrintable(word.text));
        }
        QCOMPARE(expected, QStringList());
        const double dpi = 150;
        const QImage image = RenderPdf(job, int(dpi));
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (IsDark(image, x, y))
                    ink |= QRect(x, y, 1, 1);
        const QRect inside = QRectF(imageable.topLeft() * dpi, imageable.bottomRight() * dpi).toAlignedRect();
        QVERIFY2(inside.adjusted(-1, -1, 1, 1).contains(ink),
                 qPrintable(QStringLiteral("ink %1,%2 to %3,%4").arg(ink.left()).arg(ink.top()).arg(ink.right()).arg(ink.bottom())));
    }

    // A print server that refuses the job: Print says why, and the state is
    // as it was.
    void refusedJobIsReported()
    {
        const QString capture = qEnvironmentVariable("PLIVAN_CAPTURE_DIR");
        if (capture.isEmpty())
            QSKIP("needs the private print server of tests/print/cups-test.sh");
        const QString server = qEnvironmentVariable("CUPS_SERVER");
        const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
        QString reject = QStandardPaths::findExecutable(QStringLiteral("cupsreject"));
        if (reject.isEmpty())
            reject = QStandardPaths::findExecutable(QStringLiteral("cupsreject"), sbin);
        QString accept = QStandardPaths::findExecutable(QStringLiteral("cupsaccept"));
        if (accept.isEmpty())
            accept = QStandardPaths::findExecutable(QStringLiteral("cupsaccept"), sbin);
        QVERIFY(!reject.isEmpty() && !accept.isEmpty());

        ChartWindow w;
        w.open(5, 6, QStringLiteral("Period 1 Geometry"), SomeNames);
        const WindowState state = w.form->state();
        QCOMPARE(QProcess::execute(reject, {QStringLiteral("-h"), server, QStringLiteral("capture")}), 0);
        const int jobs = QDir(capture).entryList({QStringLiteral("*.pdf")}).size();
        Click(*w.form, "CBPrint");
        QProcess::execute(accept, {QStringLiteral("-h"), server, QStringLiteral("capture")});
        QCOMPARE(w.recorder.messages.size(), 1);
        const QString message = w.recorder.messages.first();
        qInfo().noquote() << "Message:" << message;
        QVERIFY2(message.startsWith(QLatin1String("The chart could not be printed on")), qPrintable(message));
        QVERIFY2(message.contains(QLatin1String("not accepting jobs"), Qt::CaseInsensitive), qPrintable(message));
        QVERIFY(SameState(w.form->state(), state));
        QTest::qWait(500);
        QCOMPARE(QDir(capture).entryList({QStringLiteral("*.pdf")}).size(), jobs);
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
