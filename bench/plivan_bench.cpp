// Plivan's benchmark: start-up, roster imports, a class choice, random
// seating and a printed page, each timed over repeated runs and set against
// its baseline from the same run; peak memory where it matters.
//
//   plivan_bench [--repeat N] [--rosters DIR] [--examples DIR] [--all-fixtures]
//   plivan_bench --import FILE --seats N
//
// Start-up is measured on Qt's offscreen platform and, when DISPLAY names an
// X server (e.g. under xvfb-run), on X11 too; every other case runs offscreen.
// Every case runs in a child process of its own (this program again), so
// that the child's peak resident memory (its VmHWM, which it reports at the
// end) belongs to that case alone. The second form imports one workbook as the program does for a room
// of N seats and prints the list it gives, one entry a line ("Empty" rows
// included), for whole-process comparisons from the shell.

#include "Form1.h"
#include "MessageBox.h"
#include "PrintedChart.h"
#include "PrinterSurface.h"
#include "RandomSource.h"
#include "RosterImport.h"
#include "SeatGrid.h"
#include "Seating.h"
#include "ShownProbe.h"
#include "StudentList.h"
#include "WindowState.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace plivan::bench {

namespace {

using Clock = std::chrono::steady_clock;

double ElapsedNs(Clock::time_point from)
{
    return std::chrono::duration<double, std::nano>(Clock::now() - from).count();
}

long long MonotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Sample(double ns)
{
    std::printf("sample %.0f\n", ns);
}

// ---------------------------------------------------------------------------
// Child side: one case, its samples on standard output.

const QStringList ClassNames = { QStringLiteral("Period 1 Geometry") };

// A Plivan folder with a settings file for a room of rows x cols and one
// class whose roster is a copy of `roster`.
QString MakeFolder(const QTemporaryDir &dir, const QString &roster, int rows, int cols)
{
    const QString folder = dir.path() + QLatin1Char('/');
    const QString name = QStringLiteral("roster.") + QFileInfo(roster).suffix();
    QFile::copy(roster, folder + name);
    QFile settings(folder + QStringLiteral("Plivan.txt"));
    if (settings.open(QIODevice::WriteOnly)) {
        settings.write("#Teacher Name\r\nMrs. Tolvane\r\n#Rows of seats, Cols of Seats\r\n"
            + QByteArray::number(rows) + ',' + QByteArray::number(cols)
            + "\r\n#Class Names and student xls files\r\n" + ClassNames.first().toUtf8() + '#' + name.toUtf8()
            + "\r\n");
    }
    return folder;
}

void Press(Form1 &form, const char *button)
{
    QTest::mouseClick(form.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

void ClickClass(Form1 &form, int row)
{
    auto *classes = form.findChild<QListWidget *>(QStringLiteral("LBClasses"));
    const QRect rect = classes->visualItemRect(classes->item(row));
    QTest::mouseClick(classes->viewport(), Qt::LeftButton, {}, rect.center());
}

// Imports `file` `repeat` times, and `against` (when given) as often in
// alternation, so that both meet the same state of the machine.
int ChildImport(const QString &file, const QString &against, int seats, int repeat)
{
    // The window's seat width for six columns.
    const float seatWidth = WindowSeatWidth(6);
    const auto once = [&](const QString &path, double &ns) {
        StringStudentList list;
        const auto start = Clock::now();
        const RosterImport import = ImportRoster(path, seats, seatWidth, list);
        ns = ElapsedNs(start);
        if (!import.message.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(import.message));
        return import.message.isEmpty();
    };
    for (int i = 0; i <= repeat; ++i) {
        double ns = 0;
        double baseNs = 0;
        if (!once(file, ns) || (!against.isEmpty() && !once(against, baseNs)))
            return 1;
        if (i == 0) // the first run warms the file cache and the allocator
            continue;
        Sample(ns);
        if (!against.isEmpty())
            std::printf("base %.0f\n", baseNs);
    }
    return 0;
}

int ChildClassChoice(const QString &roster, int repeat)
{
    QTemporaryDir dir;
    const QString folder = MakeFolder(dir, roster, 5, 6);
    SetMessageBoxHandler(
        [](QWidget *, const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    Form1 form(folder);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    for (int i = 0; i <= repeat; ++i) {
        Press(form, "CBClassSelect");
        QCoreApplication::processEvents();
        // From the click on the class to the chart and list on screen.
        const auto start = Clock::now();
        ClickClass(form, 0);
        QCoreApplication::processEvents();
        const double ns = ElapsedNs(start);
        if (form.state().ClassIndex != 1)
            return 1;
        if (i > 0)
            Sample(ns);
    }
    return 0;
}

// The whole program with one roster: window, class choice, random seating and
// a print (saved as a PDF, as no printer is reachable). Only its peak memory
// is of interest.
int ChildProgram(const QString &roster)
{
    QTemporaryDir dir;
    const QString folder = MakeFolder(dir, roster, 5, 10);
    SetMessageBoxHandler([](QWidget *, const QString &) {});
    Form1 form(folder);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;
    Press(form, "CBClassSelect");
    QCoreApplication::processEvents();
    ClickClass(form, 0);
    QCoreApplication::processEvents();
    Press(form, "CBRandom");
    QCoreApplication::processEvents();
    Press(form, "CBPrint");
    QCoreApplication::processEvents();
    // The class was chosen, and the chart saved as a PDF beside the roster.
    const bool printed = !QDir(folder).entryList({ QStringLiteral("*.pdf") }).isEmpty();
    return form.state().ClassIndex == 1 && printed ? 0 : 1;
}

QStringList FiftyNames()
{
    QStringList names;
    const char *first[] = { "Ana", "Ben", "Chloe", "Dev", "Ella", "Finn", "Grace", "Hugo", "Ivy", "Jonah" };
    const char *last[] = { "Lima", "Carter", "Nguyen", "Patel", "Brooks" };
    for (const char *l : last)
        for (const char *f : first)
            names.append(QLatin1String(f) + QLatin1Char(' ') + QLatin1String(l));
    return names;
}

void FullRoom(WindowState &state, int rows, int cols)
{
    SetRoom(state, rows, cols);
    state.TeacherName = QStringLiteral("Mrs. Tolvane");
    state.ClassNames = QStringList { QString(), ClassNames.first() };
    state.RosterFiles = QStringList { QString(), QStringLiteral("roster.xls") };
    state.ClassIndex = 1;
}

int ChildRandom(int repeat)
{
    WindowState state;
    FullRoom(state, 5, 10);
    const QStringList names = FiftyNames();
    int widest = 0;
    for (const QString &name : names)
        widest = std::max(widest, NameMeasure(name));
    state.NameFontSize = NameFontSizeFor(widest, state.SeatWidth);
    ImageSurface surface(QSize(981, 670), QApplication::font(), Qt::white);
    DrawSeatGrid(state, surface);
    ClockRandomSource random;
    for (int i = 0; i <= repeat; ++i) {
        StringStudentList list(names);
        state.freeAllSeats();
        Seating seating(state, list, surface,
            [](const QString &text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
        const auto start = Clock::now();
        seating.SeatAtRandom(random);
        const double ns = ElapsedNs(start);
        if (seating.NextFreeSeat() != 0)
            return 1;
        if (i > 0)
            Sample(ns);
    }
    return 0;
}

void PdfPrinter(QPrinter &printer, const QString &path)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::Letter));
}

// One page of a full 5 x 6 chart, composed on a PDF printer.
double PrintChartPage(WindowState &state, const QString &path)
{
    const auto start = Clock::now();
    {
        QPrinter printer(QPrinter::HighResolution);
        PdfPrinter(printer, path);
        PrinterSurface page(printer, QApplication::font());
        ComposeChart(state, page);
    }
    return ElapsedNs(start);
}

// The print baseline: a bare QPrinter page, one box and one line of text.
double PrintBarePage(const QString &path)
{
    const auto start = Clock::now();
    {
        QPrinter printer(QPrinter::HighResolution);
        PdfPrinter(printer, path);
        printer.setPageOrientation(QPageLayout::Landscape);
        QPainter painter(&printer);
        painter.setFont(QApplication::font());
        const int dpi = printer.resolution();
        painter.drawRect(dpi / 2, dpi * 3 / 4, dpi * 3 / 2, dpi * 7 / 5);
        painter.drawText(QPoint(dpi, dpi), QStringLiteral("Period 1 Geometry - Mrs. Tolvane"));
        painter.end();
    }
    return ElapsedNs(start);
}

// The chart's page and the bare page in alternation.
int ChildPrint(int repeat)
{
    WindowState state;
    FullRoom(state, 5, 6);
    const QStringList names = FiftyNames();
    for (int seat = 1; seat <= state.seatCount(); ++seat) {
        state.SeatNames[seat] = names.at(seat - 1);
        state.SeatTaken[seat] = -1;
    }
    state.NameFontSize = 12;
    QTemporaryDir dir;
    for (int i = 0; i <= repeat; ++i) {
        const QString chart = dir.filePath(QStringLiteral("chart%1.pdf").arg(i));
        const QString bare = dir.filePath(QStringLiteral("bare%1.pdf").arg(i));
        const double chartNs = PrintChartPage(state, chart);
        const double bareNs = PrintBarePage(bare);
        if (QFileInfo(chart).size() == 0 || QFileInfo(bare).size() == 0)
            return 1;
        if (i == 0)
            continue;
        Sample(chartNs);
        std::printf("base %.0f\n", bareNs);
    }
    return 0;
}

int RunCase(const QString &name, const QStringList &args, int repeat, int argc, char *argv[])
{
    if (name == QLatin1String("import")) {
        QCoreApplication app(argc, argv);
        return ChildImport(args.value(0), args.value(2), args.value(1).toInt(), repeat);
    }
    QApplication app(argc, argv);
    if (name == QLatin1String("classchoice"))
        return ChildClassChoice(args.value(0), repeat);
    if (name == QLatin1String("program"))
        return ChildProgram(args.value(0));
    if (name == QLatin1String("random"))
        return ChildRandom(repeat);
    if (name == QLatin1String("print"))
        return ChildPrint(repeat);
    return 2;
}

int RunChild(const QString &name, const QStringList &args, int repeat, int argc, char *argv[])
{
    const int status = RunCase(name, args, repeat, argc, argv);
    PrintPeak();
    return status;
}

// ---------------------------------------------------------------------------
// Parent side: children, figures and the table.

struct Run {
    std::vector<double> samples; // nanoseconds
    std::vector<double> base; // the baseline's, measured in alternation
    double cpuNs = 0; // processor time a probe reported
    long maxRssKiB = 0;
    bool ok = false;
};

// Runs `program` with `args` and the extra environment `env`, collecting the
// "sample" lines it prints; a "shown <ns>" line becomes a sample measured
// from `start` (the moment before the process was spawned).
Run Spawn(const QString &program, const QStringList &args, const QStringList &env)
{
    Run run;
    int out[2];
    if (pipe(out) != 0)
        return run;
    std::vector<std::string> argStore { program.toStdString() };
    for (const QString &a : args)
        argStore.push_back(a.toStdString());
    std::vector<char *> argv;
    for (std::string &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char **e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string key = entry.substr(0, entry.find('=') + 1);
        const bool replaced = std::any_of(
            env.begin(), env.end(), [&key](const QString &v) { return v.toStdString().rfind(key, 0) == 0; });
        if (!replaced)
            envStore.push_back(entry);
    }
    for (const QString &v : env)
        envStore.push_back(v.toStdString());
    std::vector<char *> envp;
    for (std::string &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    pid_t pid = 0;
    const long long start = MonotonicNs();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return run;
    }
    std::string output;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, std::size_t(n));
    close(out[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.maxRssKiB = usage.ru_maxrss; // replaced by the child's own "peak" line
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    for (const QString &line : QString::fromStdString(output).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("sample ")))
            run.samples.push_back(line.mid(7).toDouble());
        else if (line.startsWith(QLatin1String("shown ")))
            run.samples.push_back(double(line.mid(6).toLongLong() - start));
        else if (line.startsWith(QLatin1String("base ")))
            run.base.push_back(line.mid(5).toDouble());
        else if (line.startsWith(QLatin1String("cpu ")))
            run.cpuNs = line.mid(4).toDouble();
        else if (line.startsWith(QLatin1String("peak ")))
            run.maxRssKiB = line.mid(5).toLong();
    }
    if (!run.ok)
        std::fprintf(stderr, "%s %s failed\n", qPrintable(program), qPrintable(args.join(u' ')));
    return run;
}

struct Figures {
    double median = 0;
    double low = 0;
    double high = 0;
    long maxRssKiB = 0;
    bool ok = false;
    bool timed = false;
};

Figures Summarise(std::vector<double> samples, long maxRssKiB, bool ok)
{
    Figures f;
    f.ok = ok && !samples.empty();
    f.maxRssKiB = maxRssKiB;
    if (samples.empty())
        return f;
    f.timed = true;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    f.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    f.low = samples.front();
    f.high = samples.back();
    return f;
}

QString Time(double ns)
{
    if (ns < 1e6)
        return QStringLiteral("%1 µs").arg(ns / 1e3, 0, 'f', ns < 1e4 ? 1 : 0);
    return QStringLiteral("%1 ms").arg(ns / 1e6, 0, 'f', ns < 1e8 ? 2 : 0);
}

QString Memory(long kib)
{
    return QStringLiteral("%1 MB").arg(double(kib) / 1024, 0, 'f', 1);
}

struct Row {
    QString name;
    Figures figures;
    QString baseline; // the baseline's row name, empty when none
    double ratio = 0; // median / baseline median
    QString memory; // peak memory, or its difference from the baseline's
    QString goal;
    std::optional<bool> met;
};

void PrintTable(const std::vector<Row> &rows)
{
    std::printf("| Case | Median | Spread (min–max) | Against | Ratio | Peak memory | Goal | Met |\n");
    std::printf("|---|---:|---:|---|---:|---:|---|---|\n");
    for (const Row &r : rows) {
        const Figures &f = r.figures;
        const QString spread = f.timed ? Time(f.low) + QStringLiteral(" – ") + Time(f.high) : QString();
        const QString ratio
            = r.baseline.isEmpty() ? QStringLiteral("–") : QStringLiteral("%1").arg(r.ratio, 0, 'f', 2);
        const QString met = !f.ok ? QStringLiteral("failed")
            : !r.met              ? QStringLiteral("")
            : *r.met              ? QStringLiteral("yes")
                                  : QStringLiteral("**no**");
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s |\n", qPrintable(r.name),
            f.timed ? qPrintable(Time(f.median)) : "–", qPrintable(spread),
            r.baseline.isEmpty() ? "–" : qPrintable(r.baseline), qPrintable(ratio), qPrintable(r.memory),
            qPrintable(r.goal), qPrintable(met));
    }
}

// Rosters made at bench time from LibreOffice's own 25-name files, where a
// file of 100,000 rows would be too large to keep with the fixtures (7 to
// 9 MB of markup): the file with everything from its first `first` tag to
// its last `last` tag repeated `times` times.
bool WriteRepeatedRows(
    const QString &from, const QString &to, QByteArrayView first, QByteArrayView last, int times)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray whole = in.readAll();
    const qsizetype start = whole.indexOf(first), end = whole.lastIndexOf(last);
    if (start < 0 || end < start)
        return false;
    const QByteArray rows = whole.mid(start, end + last.size() - start);
    out.write(whole.left(start));
    for (int i = 0; i < times; ++i)
        out.write(rows);
    out.write(whole.mid(end + last.size()));
    return out.error() == QFileDevice::NoError;
}

// A text file as Excel's "Unicode Text" writes it: UTF-16 LE with its byte
// order mark.
bool WriteUtf16(const QString &from, const QString &to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        return false;
    const QString text = QChar(0xFEFF) + QString::fromUtf8(in.readAll());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        const char bytes[2] = { char(unit & 0xFF), char(unit >> 8) };
        out.write(bytes, 2);
    }
    return out.error() == QFileDevice::NoError;
}

struct Options {
    int repeat = 21;
    QString rosters;
    QString examples;
    bool allFixtures = false;
};

class Bench {
public:
    explicit Bench(Options options)
        : options(std::move(options))
    {
    }

    Figures child(const QString &name, const QStringList &args, const QStringList &env = {})
    {
        const Run run = Spawn(QCoreApplication::applicationFilePath(),
            QStringList {
                QStringLiteral("--child"), name, QStringLiteral("--repeat"), QString::number(options.repeat) }
                + args,
            env);
        return Summarise(run.samples, run.maxRssKiB, run.ok);
    }

    Run childRun(const QString &name, const QStringList &args, const QStringList &env = {})
    {
        return Spawn(QCoreApplication::applicationFilePath(),
            QStringList {
                QStringLiteral("--child"), name, QStringLiteral("--repeat"), QString::number(options.repeat) }
                + args,
            env);
    }

    // A fixture, or a roster made at bench time ("generated/...").
    QString roster(const QString &name) const
    {
        if (name.startsWith(u"generated/"))
            return generated.filePath(name.mid(10));
        return options.rosters + QLatin1Char('/') + name;
    }

    void generateRosters()
    {
        WriteRepeatedRows(roster(QStringLiteral("basic.lo.xml")),
            roster(QStringLiteral("generated/rows-100000.lo.xml")), "<Row", "</Row>", 4000);
        WriteRepeatedRows(roster(QStringLiteral("basic.lo.html")),
            roster(QStringLiteral("generated/rows-100000.lo.html")), "<tr", "</tr>", 4000);
        WriteUtf16(
            roster(QStringLiteral("basic.lo.csv")), roster(QStringLiteral("generated/basic.utf16.txt")));
    }

    Figures import(const QString &file)
    {
        return child(QStringLiteral("import"), { roster(file), QStringLiteral("30") });
    }

    void imports(std::vector<Row> &rows)
    {
        generateRosters();
        struct Small {
            const char *label;
            const char *file;
        };
        const Small small[] = {
            { ".xls, 25 names (LibreOffice)", "basic.lo.xls" },
            { ".xls, 25 names (xlwt)", "basic.xlwt.xls" },
            { ".xls, 25 names (Gnumeric)", "basic.gnumeric.xls" },
            { ".xls, 25 names (Gnumeric, BIFF5)", "basic.gnumeric95.xls" },
            { ".xlsx, 25 names (LibreOffice)", "basic.lo.xlsx" },
            { ".xlsx, 25 names (openpyxl)", "basic.openpyxl.xlsx" },
            { ".ods, 25 names (LibreOffice)", "basic.lo.ods" },
            { ".fods, flat OpenDocument, 25 names (LibreOffice)", "basic.lo.fods" },
            { ".xlsb, 25 names (script)", "basic.script.xlsb" },
            { ".csv, 25 names", "basic.lo.csv" },
            { ".xls, 25 names (Excel 4.0 worksheet, script)", "basic.script.biff4.xls" },
            { ".txt, UTF-16, 25 names (LibreOffice's .csv as Unicode Text)", "generated/basic.utf16.txt" },
            { "XML Spreadsheet 2003, 25 names (LibreOffice)", "basic.lo.xml" },
            { "web page, 25 names (LibreOffice)", "basic.lo.html" },
            { ".slk, SYLK, 25 names (LibreOffice)", "basic.lo.slk" },
            { ".dif, DIF, 25 names (LibreOffice)", "basic.lo.dif" },
        };
        std::map<QString, std::pair<QString, Figures>> measured;
        for (const Small &s : small) {
            const Figures f = import(QLatin1String(s.file));
            measured[QLatin1String(s.file)] = { QLatin1String(s.label), f };
            Row r { QStringLiteral("Import ") + QLatin1String(s.label), f, {}, 0, Memory(f.maxRssKiB),
                QStringLiteral("< 1 ms"), f.median < 1e6 };
            rows.push_back(r);
        }
        // Locked with the default password. The .xlsx key derivations are
        // set by the format and the file: 50,000 SHA-1 rounds (Standard),
        // 100,000 SHA-512 rounds (Agile); no goal is set for those.
        const struct {
            const char *label;
            const char *file;
            bool rounds;
        } locked[] = {
            { ".xls, 25 names, default password (LibreOffice, RC4)", "basic.lo-velvet.xls", false },
            { ".xls, 25 names, default password (CryptoAPI RC4)", "basic.script-velvet-cryptoapi.xls",
                false },
            { ".xls, 25 names, default password (XOR)", "basic.script-velvet-xor.xls", false },
            { ".xlsx, 25 names, default password (LibreOffice, Standard)", "basic.lo-velvet.xlsx", true },
            { ".xlsx, 25 names, default password (Agile, SHA-512)", "basic.script-velvet-agile.xlsx", true },
        };
        for (const auto &l : locked) {
            const Figures f = import(QLatin1String(l.file));
            rows.push_back({ QStringLiteral("Import ") + QLatin1String(l.label), f, {}, 0,
                Memory(f.maxRssKiB), l.rounds ? QString() : QStringLiteral("< 1 ms"),
                l.rounds ? std::optional<bool>() : std::optional<bool>(f.median < 1e6) });
        }
        struct Large {
            const char *label;
            const char *file;
            const char *against;
        };
        const Large large[] = {
            { ".xls, 65,536 rows (xlwt)", "rows-65536.xlwt.xls", "basic.xlwt.xls" },
            { ".xls, 65,536 rows (Excel 4.0 worksheet, script)", "rows-65536.script.biff4.xls",
                "basic.script.biff4.xls" },
            { ".xlsx, 100,000 rows (LibreOffice)", "rows-100000.lo.xlsx", "basic.lo.xlsx" },
            { ".xlsx, 100,000 rows (openpyxl)", "rows-100000.openpyxl.xlsx", "basic.openpyxl.xlsx" },
            { ".ods, 100,000 rows (LibreOffice)", "rows-100000.lo.ods", "basic.lo.ods" },
            { "XML Spreadsheet 2003, 100,000 rows (LibreOffice's, rows repeated)",
                "generated/rows-100000.lo.xml", "basic.lo.xml" },
            { "web page, 100,000 rows (LibreOffice's, rows repeated)", "generated/rows-100000.lo.html",
                "basic.lo.html" },
            { ".xls, stray cell at IV65536 (LibreOffice)", "far-cell.lo.xls", "basic.lo.xls" },
            { ".xls, stray cell at IV65536 (Gnumeric)", "far-cell.gnumeric.xls", "basic.gnumeric.xls" },
            { ".xls, stray cell at IV65536 (xlwt)", "far-cell.xlwt.xls", "basic.xlwt.xls" },
            { ".xlsx, stray cell at XFD1048576 (LibreOffice)", "far-cell-big.lo.xlsx", "basic.lo.xlsx" },
            { ".ods, stray cell at AMJ1048576 (LibreOffice)", "far-cell-big.lo.ods", "basic.lo.ods" },
            { ".xlsb, 100,000 rows (script)", "rows-100000.script.xlsb", "basic.script.xlsb" },
            { ".xlsb, stray cell at AMJ1048576 (script)", "far-cell-big.script.xlsb", "basic.script.xlsb" },
        };
        for (const Large &l : large) {
            if (!QFileInfo::exists(roster(QLatin1String(l.file))))
                continue;
            // Timed in alternation with its baseline in one process; peak
            // memory from a process that imports the large file alone.
            const Run paired = childRun(QStringLiteral("import"),
                { roster(QLatin1String(l.file)), QStringLiteral("30"), roster(QLatin1String(l.against)) });
            const Figures alone = import(QLatin1String(l.file));
            Figures f = Summarise(paired.samples, alone.maxRssKiB, paired.ok && alone.ok);
            const Figures pairedBase = Summarise(paired.base, 0, paired.ok);
            const auto &[label, base] = measured.at(QLatin1String(l.against));
            const double ratio = pairedBase.median > 0 ? f.median / pairedBase.median : 0;
            const long moreKiB = f.maxRssKiB - base.maxRssKiB;
            Row r { QStringLiteral("Import ") + QLatin1String(l.label), f,
                QStringLiteral("import ") + label
                    + QStringLiteral(" (%1 alongside)").arg(Time(pairedBase.median)),
                ratio,
                QStringLiteral("%1 (%2%3)")
                    .arg(
                        Memory(f.maxRssKiB), moreKiB >= 0 ? QStringLiteral("+") : QString(), Memory(moreKiB)),
                QStringLiteral("≤ 1.5×, ≤ +5 MB"), ratio <= 1.5 && moreKiB <= 5 * 1024 };
            rows.push_back(r);
        }
    }

    // Start-up on each platform: wall time from the moment before the process
    // is spawned to the window on screen, and the processor time the process
    // used up to then.
    void startUp(std::vector<Row> &rows, const QString &home, const QString &platform)
    {
        const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
        const QStringList env { QStringLiteral("HOME=") + home,
            QStringLiteral("QT_QPA_PLATFORM=") + platform };
        std::vector<double> program, bare, programCpu, bareCpu;
        long programRss = 0, bareRss = 0;
        bool ok = true;
        // Interleaved, so that a change in the machine's load meets both alike;
        // the first pair warms the file cache.
        for (int i = 0; i <= options.repeat; ++i) {
            const Run p = Spawn(dir + QStringLiteral("plivan_startup_probe"), {}, env);
            const Run b = Spawn(dir + QStringLiteral("plivan_bare_window"), {}, env);
            ok = ok && p.ok && b.ok && p.samples.size() == 1 && b.samples.size() == 1;
            if (!ok)
                break;
            if (i == 0)
                continue;
            program.push_back(p.samples.front());
            bare.push_back(b.samples.front());
            programCpu.push_back(p.cpuNs);
            bareCpu.push_back(b.cpuNs);
            programRss = std::max(programRss, p.maxRssKiB);
            bareRss = std::max(bareRss, b.maxRssKiB);
        }
        const auto add = [&](const QString &what, const std::vector<double> &plivan,
                             const std::vector<double> &baseline, bool withMemory) {
            const Figures base = Summarise(baseline, bareRss, ok);
            const Figures f = Summarise(plivan, programRss, ok);
            const double ratio = base.median > 0 ? f.median / base.median : 0;
            rows.push_back(
                { QStringLiteral("Start-up, %1, %2: bare window, ten controls").arg(platform, what), base, {},
                    0, withMemory ? Memory(bareRss) : QString(), {}, {} });
            rows.push_back({ QStringLiteral("Start-up, %1, %2: Plivan, example folder").arg(platform, what),
                f, QStringLiteral("bare window"), ratio, withMemory ? Memory(programRss) : QString(),
                QStringLiteral("≤ 1.3×"), ratio <= 1.3 });
        };
        add(QStringLiteral("to window shown"), program, bare, true);
        add(QStringLiteral("processor time"), programCpu, bareCpu, false);
    }

    void classChoice(std::vector<Row> &rows)
    {
        const struct {
            const char *label;
            const char *file;
        } cases[]
            = { { ".xls, 25 names", "basic.lo.xls" }, { ".xlsx, 100,000 rows", "rows-100000.lo.xlsx" } };
        for (const auto &c : cases) {
            if (!QFileInfo::exists(roster(QLatin1String(c.file))))
                continue;
            const Figures f = child(QStringLiteral("classchoice"), { roster(QLatin1String(c.file)) });
            rows.push_back(
                { QStringLiteral("Class choice, click to chart on screen (%1)").arg(QLatin1String(c.label)),
                    f, {}, 0, Memory(f.maxRssKiB), QStringLiteral("< 10 ms"), f.median < 10e6 });
        }
    }

    void seatingAndPrint(std::vector<Row> &rows)
    {
        const QStringList noPrinter { QStringLiteral("CUPS_SERVER=/nonexistent/plivan-bench.sock") };
        const Figures random = child(QStringLiteral("random"), {});
        rows.push_back({ QStringLiteral("Random seating, 50 names into 50 seats"), random, {}, 0,
            Memory(random.maxRssKiB), {}, {} });
        const Run print = childRun(QStringLiteral("print"), {}, noPrinter);
        const Figures bare = Summarise(print.base, 0, print.ok);
        const Figures page = Summarise(print.samples, print.maxRssKiB, print.ok);
        const double ratio = bare.median > 0 ? page.median / bare.median : 0;
        rows.push_back(
            { QStringLiteral("Bare QPrinter page to PDF (one box, one line)"), bare, {}, 0, {}, {}, {} });
        rows.push_back({ QStringLiteral("Printed chart, full 5 × 6 room, to PDF"), page,
            QStringLiteral("bare QPrinter page, in alternation"), ratio, Memory(page.maxRssKiB),
            QStringLiteral("≤ 1.5×"), ratio <= 1.5 });
    }

    // Peak memory of the whole program (window, class choice, random
    // seating, print) for each roster fixture in a 50-seat room.
    void wholeProgram(std::vector<Row> &rows)
    {
        QStringList files;
        if (options.allFixtures) {
            files = QDir(options.rosters)
                        .entryList(
                            { QStringLiteral("*.xls"), QStringLiteral("*.xlsx"), QStringLiteral("*.xlsb"),
                                QStringLiteral("*.ods"), QStringLiteral("*.csv"), QStringLiteral("*.txt"),
                                QStringLiteral("*.xml"), QStringLiteral("*.htm"), QStringLiteral("*.html"),
                                QStringLiteral("*.slk"), QStringLiteral("*.dif") },
                            QDir::Files, QDir::Name);
        } else {
            files = QStringList { QStringLiteral("basic.lo.xls"), QStringLiteral("rows-65536.xlwt.xls"),
                QStringLiteral("rows-100000.lo.xlsx"), QStringLiteral("rows-100000.lo.ods"),
                QStringLiteral("generated/rows-100000.lo.xml"),
                QStringLiteral("generated/rows-100000.lo.html"), QStringLiteral("far-cell.lo.xls"),
                QStringLiteral("far-cell-big.lo.xlsx"), QStringLiteral("long-strings.lo.xls") };
        }
        const QStringList noPrinter { QStringLiteral("CUPS_SERVER=/nonexistent/plivan-bench.sock") };
        long highest = 0;
        QString highestFile;
        int count = 0;
        bool ok = true;
        for (const QString &file : files) {
            if (!QFileInfo::exists(roster(file)))
                continue;
            const Run run = Spawn(QCoreApplication::applicationFilePath(),
                { QStringLiteral("--child"), QStringLiteral("program"), roster(file) }, noPrinter);
            ok = ok && run.ok;
            ++count;
            if (run.maxRssKiB > highest) {
                highest = run.maxRssKiB;
                highestFile = file;
            }
        }
        Figures f;
        f.ok = ok && count > 0;
        f.maxRssKiB = highest;
        rows.push_back({ QStringLiteral("Whole program, peak over %1 fixtures (highest: %2)")
                             .arg(count)
                             .arg(highestFile),
            f, {}, 0, Memory(highest), QStringLiteral("< 80 MB"), highest < 80 * 1024 });
    }

    Options options;
    QTemporaryDir generated; // rosters made at bench time
};

QString ProcessorModel()
{
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

int RunBench(const Options &options)
{
    QTemporaryDir home;
    if (!QDir().mkpath(home.path() + QStringLiteral("/Plivan")))
        return 1;
    for (const QString &name : QDir(options.examples + QStringLiteral("/Plivan")).entryList(QDir::Files))
        QFile::copy(options.examples + QStringLiteral("/Plivan/") + name,
            home.path() + QStringLiteral("/Plivan/") + name);

    Bench bench(options);
    std::vector<Row> rows;
    bench.startUp(rows, home.path(), QStringLiteral("offscreen"));
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        bench.startUp(rows, home.path(), QStringLiteral("xcb"));
    bench.imports(rows);
    bench.classChoice(rows);
    bench.seatingAndPrint(rows);
    bench.wholeProgram(rows);

    std::printf("Plivan benchmark, %s, %s, %s, Qt %s, %ld processors; %d runs per figure "
                "after one warm-up run.\n\n",
        qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)),
        qPrintable(QSysInfo::prettyProductName()), qPrintable(ProcessorModel()), qVersion(),
        sysconf(_SC_NPROCESSORS_ONLN), options.repeat);
    PrintTable(rows);
    return 0;
}

int RunImport(const QString &file, int seats)
{
    StringStudentList list;
    const RosterImport import = ImportRoster(file, seats, WindowSeatWidth(6), list);
    for (const QString &row : list.rows)
        std::printf("%s\n", row.toUtf8().constData());
    if (!import.message.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(import.message));
        return 1;
    }
    return 0;
}

} // namespace

} // namespace plivan::bench

int main(int argc, char *argv[])
{
    using namespace plivan::bench;
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    Options options;
    options.rosters = QStringLiteral(PLIVAN_ROSTERS);
    options.examples = QStringLiteral(PLIVAN_EXAMPLES);
    QString child, importFile;
    int seats = 30;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const QString next = args.value(i + 1);
        if (a == QLatin1String("--child"))
            child = next, ++i;
        else if (a == QLatin1String("--repeat"))
            options.repeat = std::max(1, next.toInt()), ++i;
        else if (a == QLatin1String("--rosters"))
            options.rosters = next, ++i;
        else if (a == QLatin1String("--examples"))
            options.examples = next, ++i;
        else if (a == QLatin1String("--all-fixtures"))
            options.allFixtures = true;
        else if (a == QLatin1String("--import"))
            importFile = next, ++i;
        else if (a == QLatin1String("--seats"))
            seats = next.toInt(), ++i;
        else if (!child.isEmpty())
            rest.append(a);
        else {
            std::fprintf(stderr,
                "usage: plivan_bench [--repeat N] [--rosters DIR] [--examples DIR] "
                "[--all-fixtures]\n       plivan_bench --import FILE --seats N\n");
            return 2;
        }
    }
    if (!child.isEmpty())
        return RunChild(child, rest, options.repeat, argc, argv);
    if (!importFile.isEmpty()) {
        QCoreApplication app(argc, argv);
        if (seats < 0 || seats > plivan::MaxSeats) {
            std::fprintf(stderr, "--seats must lie between 0 and %d\n", plivan::MaxSeats);
            return 2;
        }
        return RunImport(importFile, seats);
    }
    // Everything but the start-up on X11 runs on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RunBench(options);
}
