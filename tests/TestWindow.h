#pragma once

// The real window over a Plivan folder of its own, driven as a user would,
// with every message recorded instead of shown in a modal box.

#include "TestData.h"
#include "TestSurfaces.h"

#include "Form1.h"
#include "MessageBox.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

// The six buttons with their captions, where the user finds them (twips
// from the window's top-left corner; 15 to a pixel).
struct ButtonPlace {
    const char *name;
    const char *caption;
    QRect place;
};
inline const ButtonPlace Buttons[] = { { "CBRandom", "Random Seating", { 11760, 8880, 1335, 375 } },
    { "CBInOrder", "In Order Seating", { 11760, 9480, 1335, 375 } },
    { "CBPrint", "Print", { 13440, 8880, 1095, 375 } }, { "CBExit", "Exit", { 13440, 9480, 1095, 375 } },
    { "CBClassSelect", "Select Class", { 11760, 8280, 1335, 375 } },
    { "CBHelp", "Help", { 13440, 8280, 1095, 375 } } };

// Runs the event loop until a round finds nothing to deliver: every paint,
// layout and timer already due has then run. False when it never comes to
// rest.
inline bool Settle()
{
    QAbstractEventDispatcher *const events = QAbstractEventDispatcher::instance();
    for (int round = 0; round < 1000; ++round) {
        if (!events->processEvents(QEventLoop::AllEvents))
            return true;
    }
    return false;
}

struct Window {
    QTemporaryDir dir;
    QStringList messages;
    std::function<void()> onMessage; // called while a message of the open window is shown
    bool opening = false;
    // Records the messages of this window (also while it is being made) and
    // hands on those of other windows, so each Window sees its own.
    plivan::MessageBoxHandler recorder()
    {
        return [this](QWidget *parent, const QString &text) {
            if (parent != form.get() && !opening)
                return previous(parent, text);
            messages << text;
            if (form && onMessage)
                onMessage();
        };
    }
    plivan::MessageBoxHandler previous = plivan::SetMessageBoxHandler(recorder());
    std::unique_ptr<plivan::Form1> form;

    ~Window()
    {
        form.reset();
        plivan::SetMessageBoxHandler(previous);
    }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    bool write(const QString &name, const QByteArray &content) const
    {
        return WriteFile(folder() + name, content);
    }
    // A roster as comma-separated text, one name a line.
    bool roster(const QString &file, const QStringList &names) const
    {
        QByteArray content;
        for (const QString &n : names)
            content += '"' + n.toUtf8().replace("\"", "\"\"") + "\"\r\n";
        return write(file, content);
    }
    // Opens the window on a rows x cols room of Mrs. Tolvane's with these
    // classes and their rosters (class k's in k.csv), or on `settings`.
    // False when it could not be opened.
    bool open(int rows, int cols, const QList<QPair<QString, QStringList>> &classes,
        const QByteArray &settings = {})
    {
        QByteArray text = "#Teacher Name\r\nMrs. Tolvane\r\n#Rows of seats, Cols of Seats\r\n"
            + QByteArray::number(rows) + ',' + QByteArray::number(cols)
            + "\r\n#Class Names and student xls files\r\n";
        for (qsizetype k = 0; k < classes.size(); ++k) {
            text += classes.at(k).first.toUtf8() + '#' + QByteArray::number(k + 1) + ".csv\r\n";
            if (!roster(QStringLiteral("%1.csv").arg(k + 1), classes.at(k).second))
                return false;
        }
        if (!write(QStringLiteral("Plivan.txt"), settings.isEmpty() ? text : settings))
            return false;
        opening = true;
        form = std::make_unique<plivan::Form1>(folder());
        opening = false;
        form->show();
        return QTest::qWaitForWindowExposed(form.get()) && !QTest::currentTestFailed();
    }

    template <typename T = QWidget> T *control(const char *name) const
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    QListWidget *list(const char *name) const { return control<QListWidget>(name); }
    // A press on the window in the middle of the button's place; false for
    // a button that is not one of the six.
    bool click(const char *button) const
    {
        for (const auto &b : Buttons) {
            if (qstrcmp(b.name, button) == 0) {
                QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, b.place.center() / 15);
                return true;
            }
        }
        return false;
    }
    // A click on row `row` of the list, or below its last row when it has no
    // such row; false when the window has no such list.
    bool clickRow(const char *name, int row, Qt::MouseButton button = Qt::LeftButton) const
    {
        QListWidget *l = list(name);
        if (!l)
            return false;
        QTest::mouseClick(l->viewport(), button, {},
            row < l->count() ? l->visualItemRect(l->item(row)).center() : QPoint(5, 150));
        return true;
    }
    // Select Class, then a click on row `row` of the class list.
    bool choose(int row) const { return click("CBClassSelect") && clickRow("LBClasses", row); }
    // A press on the window at (x, y) inches, 96 pixels to the inch.
    void press(QPointF inches, Qt::MouseButton button = Qt::LeftButton) const
    {
        QTest::mouseClick(form->windowHandle(), button, {}, (inches * 96).toPoint());
    }
    QStringList listed(const char *name = "LBStudents") const
    {
        QStringList rows;
        for (int i = 0; i < list(name)->count(); ++i)
            rows << list(name)->item(i)->text();
        return rows;
    }
    QStringList seated() const { return Seated(form->state()); }
    // The window as it stands on screen: the platform's copy of it, once
    // queued paints have run (a null image when they never end).
    QImage onScreen() const
    {
        if (!Settle())
            return {};
        return form->screen()->grabWindow(form->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }
    // What is on screen is what the window paints afresh. The screen is read
    // first: painting afresh can mend what was stale.
    bool screenIsFresh() const
    {
        const QImage shown = onScreen();
        return shown == form->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

inline bool IsDark(const QImage &image, int x, int y)
{
    return image.valid(x, y) && qGray(image.pixel(x, y)) < 128;
}

// Whether a scan of an image at `dpi` crosses lines exactly at `expected`
// (within 2 pixels): along a row at height `at` (`across`) or down a column,
// from `from` to `to`, all in inches.
inline bool LinesAt(const QImage &image, double dpi, bool across, double at, double from, double to,
    const QList<double> &expected)
{
    QList<double> middles;
    for (int i = qRound(from * dpi), start = -1; i <= qRound(to * dpi); ++i) {
        const bool dark = across ? IsDark(image, i, qRound(at * dpi)) : IsDark(image, qRound(at * dpi), i);
        if (dark && start < 0)
            start = i;
        if (!dark && start >= 0) {
            middles << (start + i - 1) / 2.0 / dpi;
            start = -1;
        }
    }
    return middles.size() == expected.size()
        && std::equal(middles.begin(), middles.end(), expected.begin(),
            [&](double a, double b) { return qAbs(a - b) <= 2 / dpi; });
}

// The smallest rectangle that holds every dark pixel of `image` in `area`.
inline QRect InkIn(const QImage &image, const QRect &area)
{
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink |= IsDark(image, x, y) ? QRect(x, y, 1, 1) : QRect();
    return ink;
}

// For each seat of a grid whose lines lie at `xs` and `ys` (inches), row by
// row: 1 where an image at 96 dpi has ink inside the seat's box, clear of
// its outline, else 0.
inline QString InkedSeats(const QImage &image, const QList<double> &xs, const QList<double> &ys)
{
    QString inked;
    for (qsizetype r = 1; r < ys.size(); ++r) {
        for (qsizetype c = 1; c < xs.size(); ++c) {
            const QRect box = QRectF(QPointF(xs[c - 1], ys[r - 1]) * 96, QPointF(xs[c], ys[r]) * 96).toRect();
            inked += InkIn(image, box.adjusted(4, 4, -4, -4)).isEmpty() ? u'0' : u'1';
        }
    }
    return inked;
}
