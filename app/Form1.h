#pragma once

#include "DrawingSurface.h"
#include "StudentList.h"
#include "WindowState.h"

#include <QListWidget>
#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace plivan {

class RandomSource;
class Seating;

// A list box that reports a mouse press after the press has moved the
// selection, with any mouse button.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    using QListWidget::QListWidget;
    // The selected row, -1 when none is selected.
    int selectedRow() const;
    // Lays out rows added since the last layout now instead of at the next
    // paint. Qt drops the repaint a list asks for while it is being painted,
    // if that paint pass was already drawing part of the list: what it shows
    // then keeps the rows it had before.
    void layOutRows() { executeDelayedItemsLayout(); }

signals:
    void mousePressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The student list box as the seating code's StudentList.
class ListBoxStudents : public StudentList {
public:
    explicit ListBoxStudents(QListWidget &box)
        : m_box(box)
    {
    }
    int count() const override { return m_box.count(); }
    QString text(int row) const override;
    void setText(int row, const QString &text) override;
    void clear() override { m_box.clear(); }
    void append(const QString &text) override { m_box.addItem(text); }

private:
    QListWidget &m_box;
};

// The main window: the class and student lists, the commands, the help panel
// and the chart drawn on its surface. Each handler turns one event into calls
// on the window state and the seating, import and print code.
class Form1 : public QWidget {
    Q_OBJECT
public:
    // Reads the settings file in `dataFolder` (a path ending in a separator)
    // before the window is first shown.
    explicit Form1(const QString &dataFolder, QWidget *parent = nullptr);
    ~Form1() override;

    WindowState &state() { return m_state; }
    const WindowState &state() const { return m_state; }
    // What is drawn on the window's surface (the chart), without the controls.
    const QImage &chart() const { return m_surface.image(); }
    // Random seating draws from `source` from now on (tests fix the numbers).
    void setRandomSource(std::unique_ptr<RandomSource> source);

    static const QString Caption;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void CBClassSelect_Click();
    void LBClasses_Click();
    void CBHelp_Click();
    void CBExit_Click();
    void CBInOrder_Click();
    void CBRandom_Click();
    void CBPrint_Click();
    void LBStudents_MouseDown();
    void Form_MouseDown(float X, float Y);

    void LoadRoster(const QString &FileName);

    QString m_dataFolder;
    WindowState m_state;

    ListBox *LBStudents = nullptr;
    QPushButton *CBRandom = nullptr;
    QPushButton *CBInOrder = nullptr;
    QPushButton *CBPrint = nullptr;
    QPushButton *CBExit = nullptr;
    ListBox *LBClasses = nullptr;
    QPushButton *CBClassSelect = nullptr;
    QLabel *LClassTeacher = nullptr;
    QPushButton *CBHelp = nullptr;
    QPlainTextEdit *Text1 = nullptr;

    ImageSurface m_surface;
    std::unique_ptr<ListBoxStudents> m_students;
    std::unique_ptr<RandomSource> m_random;
    std::unique_ptr<Seating> m_seating;
};

} // namespace plivan
