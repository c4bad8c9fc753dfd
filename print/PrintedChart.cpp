#include "PrintedChart.h"

#include "DrawingSurface.h"
#include "Heading.h"
#include "NameLayout.h"
#include "PrinterSurface.h"
#include "SeatGrid.h"
#include "WindowState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibrary>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

namespace plivan {

namespace {

constexpr int PrintDotsPerInch = 600;
constexpr int BoxLinePixels = 6;
constexpr double HeadingPoints = 24;
constexpr double HeadingX = 1.3;
constexpr double HeadingY = 0.2;
constexpr qsizetype MaxStemLength = 100;

QString ClassName(const WindowState &state)
{
    return state.ClassNames.value(state.ClassIndex);
}

// Paper for a chart that is saved rather than printed: Letter where the
// locale measures in inches, A4 elsewhere.
QPageSize LocalePaper()
{
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize(QPageSize::Letter)
                                                                              : QPageSize(QPageSize::A4);
}

QFont PrinterFont()
{
    return QGuiApplication::font();
}

struct SavedChart {
    QString path; // the file written, empty when none was
    QString error; // why nothing was written
};

// Creates a new file for the chart in `folder`: "<stem>.pdf", or "<stem> (2).pdf",
// "<stem> (3).pdf", ... when that exists. An existing file is never opened.
SavedChart OpenNewChartFile(const QString &folder, const QString &stem, QFile &file)
{
    const QDir dir(folder);
    for (int n = 1; n <= 9999; ++n) {
        const QString name
            = n == 1 ? stem + QStringLiteral(".pdf") : QStringLiteral("%1 (%2).pdf").arg(stem).arg(n);
        const QString path = dir.filePath(name);
        if (QFileInfo::exists(path))
            continue;
        file.setFileName(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return { path, {} };
        // Another program may have made it meanwhile; anything else is final.
        if (!QFileInfo::exists(path))
            return { {}, file.errorString() };
    }
    return { {}, QStringLiteral("every file name for the chart is taken") };
}

SavedChart SaveChartAsPdf(const WindowState &state, const QString &folder)
{
    QFile file;
    SavedChart saved = OpenNewChartFile(folder, ChartFileStem(ClassName(state)), file);
    if (saved.path.isEmpty())
        return saved;
    {
        QPdfWriter writer(&file);
        writer.setResolution(PrintDotsPerInch);
        writer.setTitle(ClassName(state));
        writer.setCreator(QStringLiteral("Plivan"));
        writer.setPageSize(LocalePaper());
        // The grid needs 9.5 x 7.75 inches from the printable area's corner;
        // A4 in landscape is 8.27 inches high. Margins of whole points, as the
        // PDF engine places the printable area at whole points.
        writer.setPageMargins(QMarginsF(14, 14, 14, 14), QPageLayout::Point);
        PrinterSurface page(writer, PrinterFont());
        ComposeChart(state, page);
        if (!page.endedCleanly())
            saved.error = QStringLiteral("the PDF could not be written");
    }
    if (saved.error.isEmpty() && (!file.flush() || file.error() != QFileDevice::NoError))
        saved.error = file.errorString();
    file.close();
    if (!saved.error.isEmpty()) {
        file.remove();
        saved.path.clear();
    }
    return saved;
}

// The chart could not go to a printer for `reason` (a clause starting in lower
// case): save it, and say what happened.
QString SaveInstead(const WindowState &state, const QString &dataFolder, const QString &reason)
{
    const SavedChart saved = SaveChartAsPdf(state, dataFolder);
    if (saved.path.isEmpty()) {
        return QStringLiteral("The chart was not printed: %1, and it could not be saved in %2: %3.")
            .arg(reason, QDir::toNativeSeparators(dataFolder), saved.error);
    }
    QString sentence = reason;
    sentence[0] = sentence[0].toUpper();
    return QStringLiteral("%1. The chart was saved as %2.")
        .arg(sentence, QDir::toNativeSeparators(saved.path));
}

// Why the print system refused the job just sent, or empty text when it took it.
QString JobRefusal()
{
#ifdef Q_OS_LINUX
    // Qt sends the job with cupsPrintFile() when the page ends and drops its
    // result; the status of that last request is still to be read from libcups.
    // Qt's print plugin has loaded the library by now; it is looked up here
    // rather than linked, so that starting Plivan does not load it.
    static QLibrary cups(QStringLiteral("cups"), 2);
    using LastError = int (*)();
    using LastErrorString = const char *(*)();
    const auto lastError = reinterpret_cast<LastError>(cups.resolve("cupsLastError"));
    const auto lastErrorString = reinterpret_cast<LastErrorString>(cups.resolve("cupsLastErrorString"));
    // Statuses up to IPP_STATUS_OK_EVENTS_COMPLETE (7) are successes.
    constexpr int LastSuccess = 0x0007;
    if (!lastError || lastError() <= LastSuccess)
        return {};
    const QString reason = lastErrorString ? QString::fromUtf8(lastErrorString()) : QString();
    return reason.isEmpty() ? QStringLiteral("the print system refused the job (status %1)").arg(lastError())
                            : reason;
#else
    // Elsewhere there is no CUPS: a job the spooler refuses fails the page's end.
    return {};
#endif
}

} // namespace

QString ChartFileStem(const QString &className)
{
    static const QString forbidden = QStringLiteral("<>:\"/\\|?*");
    QString stem;
    stem.reserve(className.size());
    for (const QChar c : className)
        stem += (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c)) ? QChar(u'_') : c;
    const auto trimmable = [](QChar c) { return c == u' ' || c == u'.' || c.isSpace(); };
    qsizetype from = 0;
    qsizetype to = stem.size();
    while (from < to && trimmable(stem.at(from)))
        ++from;
    while (to > from && trimmable(stem.at(to - 1)))
        --to;
    // At most 100 UTF-16 units, cut between characters: half of a surrogate
    // pair is no character, and no file system takes it in a name.
    qsizetype length = std::min<qsizetype>(to - from, MaxStemLength);
    if (length < to - from && stem.at(from + length).isLowSurrogate())
        --length;
    stem = stem.mid(from, length);
    while (!stem.isEmpty() && trimmable(stem.back()))
        stem.chop(1);
    return stem.isEmpty() ? QStringLiteral("Seating chart") : stem;
}

void ComposeChart(const WindowState &state, DrawingSurface &page)
{
    const SeatGrid grid = SeatGrid::OnPaper(state);
    const double namePoints = double(state.NameFontSize);
    const QString heading = Heading(ClassName(state), state.TeacherName);
    page.setScaleInches();
    page.setFontSize(HeadingPoints);
    // The names stay inside their boxes; the heading may reach further.
    const QRectF headingBox(HeadingX, HeadingY, page.textWidth(heading), page.lineHeight());
    if (!page.beginPage(grid.extent().united(headingBox), BoxLinePixels))
        return;

    page.setLineWidth(BoxLinePixels);
    grid.draw(page);
    // The tables hold seat numbers up to MaxSeats.
    const int seats = std::min(grid.seatCount(), MaxSeats);
    for (int s = 1; s <= seats; ++s)
        DrawSeatName(page, grid.seat(s).box, state.SeatNames[s], namePoints);

    page.CurrentX = float(HeadingX);
    page.CurrentY = float(HeadingY);
    page.setFontSize(HeadingPoints);
    page.printText(heading);
    page.endDocument();
}

QString PrintChart(const WindowState &state, const QString &dataFolder)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        const bool none = QPrinterInfo::availablePrinterNames().isEmpty();
        return SaveInstead(state, dataFolder,
            none ? QStringLiteral("no printer was found")
                 : QStringLiteral("no printer is set as the default printer"));
    }

    QPrinter printer(info, QPrinter::HighResolution);
    printer.setResolution(PrintDotsPerInch);
    printer.setDocName(ClassName(state).isEmpty() ? QStringLiteral("Seating chart") : ClassName(state));
    // QPrinter starts on A4 whatever the printer's own default is.
    const QPageSize paper = info.defaultPageSize();
    printer.setPageSize(paper.isValid() ? paper : LocalePaper());

    bool refused = false;
    bool ended = false;
    {
        PrinterSurface page(printer, PrinterFont());
        ComposeChart(state, page);
        refused = page.beginFailed();
        ended = page.endedCleanly();
    }
    const QString name = info.description().isEmpty() ? info.printerName() : info.description();
    if (refused) {
        return SaveInstead(
            state, dataFolder, QStringLiteral("the printer \"%1\" could not start the page").arg(name));
    }
    const QString refusal = JobRefusal();
    if (!ended || !refusal.isEmpty()) {
        QString reason = refusal.isEmpty() ? QStringLiteral("the printer reported an error") : refusal;
        if (!reason.endsWith(u'.'))
            reason += u'.';
        return QStringLiteral("The chart could not be printed on \"%1\": %2").arg(name, reason);
    }
    return {};
}

} // namespace plivan
