// The printed chart: what is drawn on the page and where, the page read back
// from a real PDF, saving it when there is no printer, and printing through a
// real print server (tests/print/cups-test.sh runs that).

#include "TestSurfaces.h"
#include "TestWindow.h"

#include "PrintedChart.h"
#include "PrinterSurface.h"

#include <QDir>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

using namespace plivan;

namespace {

// What `tool` writes on its standard output; when it cannot be run or
// fails, nothing, and the test fails saying so.
QByteArray Run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(tool, { "/usr/bin", "/usr/sbin", "/sbin" }), arguments);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0)
        return process.readAllStandardOutput();
    const QString why = QStringLiteral("%1 %2 failed: %3 %4")
                            .arg(tool, arguments.join(u' '), process.errorString(),
                                QString::fromLocal8Bit(process.readAllStandardError()));
    QTest::qFail(qPrintable(why), __FILE__, __LINE__);
    return {};
}

// A PDF's first page: its size, and its words (pdftotext -bbox), in inches
// from its top-left corner.
struct Page {
    QSizeF size;
    QList<QPair<QString, QRectF>> words;
    // The word whose box starts within 0.01 inch of (x, y).
    QString at(QPointF p) const
    {
        for (const auto &[text, box] : words)
            if ((box.topLeft() - p).manhattanLength() <= 0.02)
                return text;
        return {};
    }
};
Page ReadPdf(const QString &path)
{
    const QString xml
        = QString::fromUtf8(Run(QStringLiteral("pdftotext"), { "-bbox", "-l", "1", path, "-" }));
    const QRegularExpressionMatch size
        = QRegularExpression(QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)")re")).match(xml);
    Page page { QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble()) / 72, {} };
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (const QRegularExpressionMatch &m : word.globalMatch(xml))
        page.words.append({ m.captured(5),
            QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()) / 72,
                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()) / 72) });
    return page;
}

// The first page in grey at `dpi`.
QImage RenderPdf(const QString &path, int dpi)
{
    QTemporaryDir dir;
    Run(QStringLiteral("pdftoppm"),
        { "-r", QString::number(dpi), "-gray", "-singlefile", "-l", "1", path,
            dir.filePath(QStringLiteral("page")) });
    return QImage(dir.filePath(QStringLiteral("page.pgm")));
}

// A 5 x 6 room, seat by seat: texts that break at a comma, at a space or
// not at all, then ordinary names and one too long for its box. Seat 9 is free.
QStringList FullChart()
{
    QStringList texts { "Lee,Ann", "Lee, Ann", "Ann Marie Lee", "Kim", "Empty", " Kim", "Kim,", "Ann Lee",
        "" };
    for (int s = 10; s <= 30; ++s)
        texts << (s == 29 ? QStringLiteral("Maximiliana-Josephine Wolfeschlegelsteinhausen")
                          : QStringLiteral("Bo%1 Chen%1").arg(s));
    return texts;
}
WindowState FullRoom()
{
    WindowState state = Room(5, 6);
    for (int s = 1; s <= 30; ++s) {
        state.SeatNames[s] = FullChart().at(s - 1);
        state.SeatTaken[s] = s == 9 ? 0 : -1;
    }
    return state;
}

// A page of a 5 x 6 chart whose printable area starts at `o`, as printed from
// a window holding SomeNames or from FullRoom: landscape; seat 1's lines and
// seat 8's; the heading's last word at y = 0.2; and the grid of boxes 1.5 x
// 1.4 inches from (0.5, 0.75), the lines crossed below row 1's names and
// right of column 1's.
const QStringList SomeNames { "Ann Lee", "Lee,Ann", "Kim", "Kim,", "Empty", " Kim", "Kim,", "Ann Lee" };
void VerifyPage(const QString &path, QPointF o)
{
    const Page page = ReadPdf(path);
    QVERIFY(page.size.width() > page.size.height());
    const QStringList seats { page.at(o + QPointF(0.575, 0.82)), page.at(o + QPointF(0.575, 1.12)),
        page.at(o + QPointF(2.075, 2.22)), page.at(o + QPointF(2.075, 2.52)) };
    QVERIFY2(QStringList({ "Ann", "Lee", "Ann", "Lee" }) == seats
            || QStringList({ "Lee", "Ann", "Ann", "Lee" }) == seats,
        qPrintable(seats.join(u' ')));
    QVERIFY(std::any_of(page.words.begin(), page.words.end(),
        [&](const auto &w) { return w.first == u"Tolvane" && qAbs(w.second.top() - o.y() - 0.2) < 0.05; }));
    const QImage image = RenderPdf(path, 300);
    QList<double> xs, ys;
    for (int k = 0; k <= 6; ++k)
        xs << o.x() + 0.5 + 1.5 * k;
    for (int k = 0; k <= 5; ++k)
        ys << o.y() + 0.75 + 1.4 * k;
    QVERIFY(LinesAt(image, 300, true, ys.first() + 1.29, xs.first() - 0.3, xs.last() + 0.3, xs));
    QVERIFY(LinesAt(image, 300, false, xs.at(1) - 0.03, ys.first() - 0.3, ys.last() + 0.3, ys));
}

// A window with class `className` in a 5 x 6 room, everybody seated in
// order; false when Print is not then enabled.
bool OpenChart(Window &w, const QString &className, const QStringList &names)
{
    return w.open(5, 6, { { className, names } }) && w.choose(0) && w.click("CBInOrder")
        && w.control("CBPrint")->isEnabled();
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    // What the chart draws, in order, at print size: the page begun around
    // the grid and the heading, 1.2 times the window's boxes from (0.5,
    // 0.75), names a twentieth of a box inside its corner, the heading last
    // at (1.3, 0.2) in 24 points, also where w x 1.2 is not exact in single
    // precision (17, 34 and 35 columns). In the full 5 x 6 room, seat 8's
    // box and name, and every seat's lines of text.
    void compose_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cols");
        QTest::newRow("5 x 6, full") << 5 << 6;
        QTest::newRow("7 x 7") << 7 << 7;
        QTest::newRow("1 x 1") << 1 << 1;
        QTest::newRow("2 x 17") << 2 << 17;
        QTest::newRow("1 x 34") << 1 << 34;
        QTest::newRow("1 x 35") << 1 << 35;
        QTest::newRow("10 x 5") << 10 << 5;
    }
    void compose()
    {
        QFETCH(int, rows);
        QFETCH(int, cols);
        RecordingSurface page;
        ComposeChart(rows == 5 ? FullRoom() : Room(rows, cols), page);
        // The heading at 0.6 em a character: 19 spaces and 32 characters.
        QCOMPARE(page.calls.mid(0, 3), QStringList({ "inches", "page 0.5 0.2 11.5 7.75 6", "line 6" }));
        QCOMPARE(page.boxes.size(), rows * cols);
        // The corners are handed over in single precision.
        const QPointF first = page.boxes.first().topLeft(), last = page.boxes.last().bottomRight();
        QVERIFY2(
            (first - QPointF(0.5, 0.75)).manhattanLength() + (last - QPointF(9.5, 7.75)).manhattanLength()
                < 1e-5,
            qPrintable(QString::asprintf(
                "grid from %.8g %.8g to %.8g %.8g", first.x(), first.y(), last.x(), last.y())));
        QCOMPARE(page.calls.at(page.calls.size() - 2),
            QStringLiteral("text 1.3 0.2 24 %1Period 1 Geometry - Mrs. Tolvane").arg(QString(19, u' ')));
        QCOMPARE(page.calls.last(), QStringLiteral("end"));
        if (rows != 5)
            return;
        QCOMPARE(page.calls.at(3 + 7), QStringLiteral("box 2 2.15 3.5 3.55"));
        QCOMPARE(page.calls.filter(QRegularExpression(QStringLiteral("^text "))).size(), 57 + 1);
        QVERIFY(page.calls.contains(QStringLiteral("text 2.075 2.22 12 Ann")));
        QVERIFY(page.calls.contains(QStringLiteral("text 2.075 2.52 12 Lee")));
    }

    // The page of a 5 x 6 chart read back from a PDF whose printable area
    // starts at (22, 15) points: every seat's words inside its box, and the grid.
    void pdfPage()
    {
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("chart.pdf")));
        printer.setResolution(600);
        printer.setPageSize(QPageSize(QPageSize::Letter));
        printer.setPageMargins(QMarginsF(22, 15, 22, 15), QPageLayout::Point);
        {
            PrinterSurface surface(printer, QGuiApplication::font());
            ComposeChart(FullRoom(), surface);
            QVERIFY(surface.endedCleanly());
        }
        const QPointF o = QPointF(22, 15) / 72;
        const Page page = ReadPdf(printer.outputFileName());
        for (int s = 1; s <= 30; ++s) {
            const QRectF box(
                o + QPointF((s - 1) % 6 * 1.5 + 0.5, (s - 1) / 6 * 1.4 + 0.75), QSizeF(1.5, 1.4));
            QStringList inBox;
            for (const auto &[text, at] : page.words) {
                if (box.intersects(at))
                    inBox << (box.contains(at) ? text : QStringLiteral("<leaves its box>"));
            }
            const QString text = FullChart().at(s - 1); // the break character printed on neither line
            QCOMPARE(inBox.join(u' '),
                text == u"Lee,Ann"    ? "Lee Ann"
                    : text == u"Kim," ? "Kim"
                                      : text.trimmed());
        }
        VerifyPage(printer.outputFileName(), o);
    }

    // Where a chart is drawn: unmoved when it lies inside the printable area,
    // moved as little as will do when it does not, shrunk evenly only when it
    // is larger than the area. Print systems give a landscape page the margins
    // of portrait; the area keeps the larger of each pair, either way round.
    void placement_data()
    {
        QTest::addColumn<QRectF>("chart");
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QRectF>("placed");
        QTest::newRow("inside: unmoved")
            << QRectF(1, 1, 9, 7) << QRectF(0.5, 0.5, 10, 7.5) << QRectF(1, 1, 9, 7);
        QTest::newRow("past the bottom: moved up")
            << QRectF(1, 1, 9, 7) << QRectF(0.5, 0.5, 10, 7.2) << QRectF(1, 0.7, 9, 7);
        QTest::newRow("past the left: moved right")
            << QRectF(0.2, 1, 9, 7) << QRectF(0.5, 0.5, 10, 7.5) << QRectF(0.5, 1, 9, 7);
        QTest::newRow("too wide: shrunk")
            << QRectF(1, 1, 12, 6) << QRectF(0.5, 0.5, 10, 7.5) << QRectF(0.5, 0.8333, 10, 5);
        QTest::newRow("too high: shrunk")
            << QRectF(1, 1, 6, 10) << QRectF(0.5, 0.5, 10, 7.5) << QRectF(0.75, 0.5, 4.5, 7.5);
    }
    void placement()
    {
        QFETCH(QRectF, chart);
        QFETCH(QRectF, area);
        QFETCH(QRectF, placed);
        const QRectF got = PlaceInside(chart, area).mapRect(chart);
        QCOMPARE(QString::asprintf("%.4g %.4g %.4g %.4g", got.x(), got.y(), got.width(), got.height()),
            QString::asprintf(
                "%.4g %.4g %.4g %.4g", placed.x(), placed.y(), placed.width(), placed.height()));
    }
    void printableArea()
    {
        const QMarginsF margins(18, 36, 18, 48);
        QCOMPARE(PrintableArea(QPageLayout(
                     QPageSize(QPageSize::A4), QPageLayout::Landscape, margins, QPageLayout::Point)),
            QRectF(48 / 72.0, 0.25, 746 / 72.0, 559 / 72.0));
        QCOMPARE(PrintableArea(QPageLayout(
                     QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Point)),
            QRectF(0.25, 0.5, 559 / 72.0, 758 / 72.0));
    }

    // The name a chart is saved under: what a file name cannot hold replaced,
    // trimmed, at most 100 UTF-16 units and never half a character.
    void chartFileStem_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("stem");
        const QString a99(99, u'a');
        QTest::newRow("as it is") << "Period 1 Geometry"
                                  << "Period 1 Geometry";
        QTest::newRow("what no name holds") << "Art/Design\\2 A<b>:\"c\"|d?*"
                                            << "Art_Design_2 A_b___c__d__";
        QTest::newRow("control characters") << "Tab\there\x7f"
                                            << "Tab_here_";
        QTest::newRow("spaces and a dot at the ends") << "  Math 7. "
                                                      << "Math 7";
        QTest::newRow("dots only") << ".."
                                   << "Seating chart";
        QTest::newRow("nothing") << ""
                                 << "Seating chart";
        QTest::newRow("150 units") << QString(150, u'a') << QString(100, u'a');
        QTest::newRow("cut before spaces") << a99 + "  b" << a99;
        QTest::newRow("beyond Latin-1") << QStringLiteral(u"Français 2") << QStringLiteral(u"Français 2");
        // U+1F600 is two UTF-16 units.
        QTest::newRow("never half a character") << a99 + QString::fromUcs4(U"\U0001F600 b") << a99;
    }
    void chartFileStem()
    {
        QFETCH(QString, className);
        QFETCH(QString, stem);
        QCOMPARE(ChartFileStem(className), stem);
    }

    // No printer: the chart is saved as a PDF named after the class in the
    // Plivan folder, never over an older one, on A4 or Letter with margins of
    // 14 points, and a long heading kept on the page; a folder that cannot be
    // written is named in the message.
    void noPrinter()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is reachable");
        Window w;
        QVERIFY(OpenChart(w, QStringLiteral("Period 1: Geometry"), SomeNames));
        QStringList files;
        for (const char *name : { "Period 1_ Geometry.pdf", "Period 1_ Geometry (2).pdf" }) {
            QVERIFY(w.click("CBPrint"));
            files << w.folder() + QLatin1String(name);
            QCOMPARE(w.messages.last(),
                QStringLiteral("No printer was found. The chart was saved as %1.")
                    .arg(QDir::toNativeSeparators(files.last())));
        }
        VerifyPage(files.first(), QPointF(14, 14) / 72);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(RenderPdf(files.last(), 50), RenderPdf(files.first(), 50));
        w.form->state().ClassNames[1] = QString(50, u'W');
        QVERIFY(w.click("CBPrint"));
        const Page page = ReadPdf(w.folder() + QString(50, u'W') + QStringLiteral(".pdf"));
        QVERIFY(page.words.size() > 30);
        for (const auto &[text, box] : page.words)
            QVERIFY2(
                QRectF(QPointF(), page.size).marginsRemoved(QMarginsF(14, 14, 14, 14) / 72).contains(box),
                qPrintable(text));
        QVERIFY(QDir(w.folder()).removeRecursively());
        QVERIFY(w.click("CBPrint"));
        QVERIFY2(w.messages.last().startsWith(QStringLiteral(
                     "The chart was not printed: no printer was found, and it could not be saved in %1: ")
                                                  .arg(QDir::toNativeSeparators(w.folder()))),
            qPrintable(w.messages.last()));
        QCOMPARE(w.messages.size(), 4);
    }

    // Through the private print server: Print sends one job to the default
    // queue, named after the class, on its own default paper (Letter, where
    // Qt starts on A4), the chart measured from the printable area Qt gives.
    // On "narrow", whose paper has half an inch unprintable at top and
    // bottom (A4; Qt gives its margins as in portrait also in landscape),
    // every line, name and the heading (all the ink) lands inside the
    // imageable area of the page as the printer gets it, turned onto the
    // paper. A queue that refuses jobs is named in the message, and the
    // server holds no job from it. A printer that cannot begin the page, or printers none of which
    // is the default, leave the chart saved as a PDF, and the message says so.
    void printServer()
    {
        const QString capture = qEnvironmentVariable("PLIVAN_CAPTURE_DIR");
        const QStringList area = qEnvironmentVariable("PLIVAN_NARROW_AREA").split(u' ', Qt::SkipEmptyParts);
        if (capture.isEmpty() || area.size() != 6)
            QSKIP("needs the private print server of tests/print/cups-test.sh");
        QStringList names = SomeNames;
        for (int k = 9; k <= 30; ++k)
            names << QStringLiteral("Ann%1 Lee%1").arg(k);
        Window w;
        QVERIFY(OpenChart(w, QStringLiteral("Period 1 Geometry"), names));
        // The server's jobs, "all" or "not-completed", by id ("capture-3").
        const auto jobs = [](const char *which) {
            QStringList ids;
            const QString list = QString::fromUtf8(Run(
                QStringLiteral("lpstat"), { "-h", qEnvironmentVariable("CUPS_SERVER"), "-W", which, "-o" }));
            for (const QString &line : list.split(u'\n', Qt::SkipEmptyParts))
                ids << line.section(u' ', 0, 0);
            return ids;
        };
        // Print on `queue`: the file the job the server took leaves in the
        // capture folder, once the server has finished every job (or 30
        // seconds have gone); nothing when it took no job. A job sent is on
        // the server's list once Print and what it left queued have run.
        const auto print = [&](const char *queue) {
            const QStringList before = jobs("all");
            qputenv("PRINTER", queue);
            if (!w.click("CBPrint") || !Settle())
                return QStringLiteral("<not printed>");
            QStringList added = jobs("all");
            for (const QString &id : before)
                added.removeOne(id);
            if (added.isEmpty())
                return QString();
            const QString job
                = QDir(capture).filePath(QStringLiteral("job-%1.pdf").arg(added.first().section(u'-', -1)));
            (void)QTest::qWaitFor(
                [&] { return jobs("not-completed").isEmpty() && QFileInfo::exists(job); }, 30000);
            return job;
        };
        const QString job = print("capture");
        QCOMPARE(ReadFile(QString(job).replace(QStringLiteral(".pdf"), QStringLiteral(".title"))).trimmed(),
            QByteArray("Period 1 Geometry"));
        QCOMPARE((ReadPdf(job).size * 72).toSize(), QSize(792, 612));
        QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
        printer.setPageSize(QPrinterInfo::defaultPrinter().defaultPageSize());
        printer.setPageOrientation(QPageLayout::Landscape);
        VerifyPage(job, printer.pageLayout().paintRect(QPageLayout::Inch).topLeft());
        if (QTest::currentTestFailed())
            return;

        // Its PPD's imageable area and paper, in points from the paper's bottom-left corner.
        const double height = area.at(5).toDouble();
        const QRectF imageable(QPointF(area.at(0).toDouble(), height - area.at(3).toDouble()) / 72,
            QPointF(area.at(2).toDouble(), height - area.at(1).toDouble()) / 72);
        const QString turned = print("narrow");
        const Page page = ReadPdf(turned);
        QVERIFY(page.size.height() > page.size.width());
        QCOMPARE(page.words.size(),
            6 + 11 + 2 * 22); // the heading, the words of SomeNames, two for each other name
        const QImage image = RenderPdf(turned, 150);
        const QRect ink = InkIn(image, image.rect());
        QVERIFY(QRectF(imageable.topLeft() * 150, imageable.bottomRight() * 150)
                    .toAlignedRect()
                    .adjusted(-1, -1, 1, 1)
                    .contains(ink));
        QCOMPARE(w.messages, QStringList());

        const auto admin = [](const char *tool, const QStringList &arguments) {
            return QProcess::execute(
                QStandardPaths::findExecutable(tool, { "/usr/sbin", "/sbin", "/usr/bin" }),
                QStringList { "-h", qEnvironmentVariable("CUPS_SERVER") } + arguments);
        };
        QCOMPARE(admin("cupsreject", { "capture" }), 0);
        QCOMPARE(print("capture"), QString());
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages.first().startsWith(u"The chart could not be printed on \"capture\": ")
                && w.messages.first().contains(u"not accepting jobs"),
            qPrintable(w.messages.first()));

        // The print system spools a job in TMPDIR, here a file: no page begins.
        const QString saved = QDir::toNativeSeparators(w.folder() + QStringLiteral("Period 1 Geometry"));
        qputenv("TMPDIR", QFile::encodeName(w.folder() + QStringLiteral("Plivan.txt")));
        QCOMPARE(print("narrow"), QString());
        qunsetenv("TMPDIR");
        qunsetenv("PRINTER");
        QCOMPARE(admin("lpadmin", { "-x", "capture" }), 0);
        QVERIFY(w.click("CBPrint"));
        QCOMPARE(w.messages.mid(1),
            QStringList({ "The printer \"narrow\" could not start the page. The chart was saved as " + saved
                    + ".pdf.",
                "No printer is set as the default printer. The chart was saved as " + saved + " (2).pdf." }));
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
