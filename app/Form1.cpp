#include "Form1.h"

#include "Heading.h"
#include "HelpText.h"
#include "MessageBox.h"
#include "app/Version.h"
#include "classdata/DataFolder.h"
#include "classdata/RosterImport.h"
#include "classdata/SettingsFile.h"
#include "print/PrintedChart.h"
#include "seating/RandomSource.h"
#include "seating/SeatGrid.h"
#include "seating/Seating.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>

namespace plivan {

namespace {

// Control positions are given in twips; 15 twips make one pixel at 96 dpi.
QRect Twips(int left, int top, int width, int height)
{
    return { left / 15, top / 15, width / 15, height / 15 };
}

constexpr QSize ClientArea(14715 / 15, 10050 / 15);

} // namespace

int ListBox::selectedRow() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void ListBox::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    emit mousePressed();
}

QString ListBoxStudents::text(int row) const
{
    const QListWidgetItem *item = box.item(row);
    return item ? item->text() : QString();
}

void ListBoxStudents::setText(int row, const QString &text)
{
    if (QListWidgetItem *item = box.item(row))
        item->setText(text);
}

const QString Form1::Caption = QStringLiteral("Plivan   " PLIVAN_VERSION) + QString(81, QLatin1Char(' '));

Form1::Form1(const QString &dataFolder, QWidget *parent)
    : QWidget(parent)
    , dataFolder(dataFolder)
    , surface(ClientArea, font(), palette().color(QPalette::Window))
{
    setObjectName(QStringLiteral("Form1"));
    // The controls were laid out for a narrow 8-point face; with the wider
    // faces of other systems, captions such as "In Order Seating" fit their
    // 89-pixel buttons at 7.5 points.
    QFont windowFont = font();
    windowFont.setPointSizeF(7.5);
    setFont(windowFont);
    setWindowTitle(Caption);
    setFixedSize(ClientArea);

    const auto button = [this](const char *name, const QString &caption, QRect geometry) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        return b;
    };

    LBStudents = new ListBox(this);
    students = std::make_unique<ListBoxStudents>(*LBStudents);
    LBStudents->setObjectName(QStringLiteral("LBStudents"));
    LBStudents->setAccessibleName(QStringLiteral("Students"));
    LBStudents->setGeometry(Twips(11760, 120, 2295, 7860));

    CBRandom = button("CBRandom", QStringLiteral("Random Seating"), Twips(11760, 8880, 1335, 375));
    CBInOrder = button("CBInOrder", QStringLiteral("In Order Seating"), Twips(11760, 9480, 1335, 375));
    CBPrint = button("CBPrint", QStringLiteral("Print"), Twips(13440, 8880, 1095, 375));
    CBExit = button("CBExit", QStringLiteral("Exit"), Twips(13440, 9480, 1095, 375));

    LBClasses = new ListBox(this);
    LBClasses->setObjectName(QStringLiteral("LBClasses"));
    LBClasses->setAccessibleName(QStringLiteral("Classes"));
    LBClasses->setGeometry(Twips(11760, 5760, 2295, 2400));
    LBClasses->hide();

    CBClassSelect = button("CBClassSelect", QStringLiteral("Select Class"), Twips(11760, 8280, 1335, 375));

    LClassTeacher = new QLabel(this);
    LClassTeacher->setObjectName(QStringLiteral("LClassTeacher"));
    // No accessible name: a screen reader then speaks the heading itself.
    LClassTeacher->setGeometry(Twips(360, 120, 10455, 615));
    LClassTeacher->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A class called "<b>Lab</b>" is shown as typed, not in bold.
    LClassTeacher->setTextFormat(Qt::PlainText);
    // Where the face is missing, a sans-serif of its width: the heading is
    // centred by counting characters for that width.
    QFont labelFont(QStringLiteral("MS Sans Serif"), 24, QFont::Normal);
    labelFont.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
        QStringLiteral("Arial"), QStringLiteral("Helvetica") });
    labelFont.setStyleHint(QFont::SansSerif);
    LClassTeacher->setFont(labelFont);

    CBHelp = button("CBHelp", QStringLiteral("Help"), Twips(13440, 8280, 1095, 375));

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Help"));
    Text1->setGeometry(Twips(6120, 120, 5355, 9375));
    Text1->setReadOnly(true);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->setWordWrapMode(QTextOption::WordWrap);
    Text1->setTabStopDistance(8 * Text1->fontMetrics().averageCharWidth());
    Text1->setPlainText(HelpText());
    Text1->hide();

    // The class list lies over the student list, the help panel over everything.
    LBClasses->raise();
    Text1->raise();
    QWidget *const tabOrder[]
        = { LBStudents, CBRandom, CBInOrder, CBPrint, CBExit, LBClasses, CBClassSelect, CBHelp, Text1 };
    for (std::size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(CBClassSelect, &QPushButton::clicked, this, &Form1::CBClassSelect_Click);
    connect(LBClasses, &QListWidget::itemClicked, this, &Form1::LBClasses_Click);
    connect(CBHelp, &QPushButton::clicked, this, &Form1::CBHelp_Click);
    connect(CBExit, &QPushButton::clicked, this, &Form1::CBExit_Click);
    connect(CBInOrder, &QPushButton::clicked, this, &Form1::CBInOrder_Click);
    connect(CBRandom, &QPushButton::clicked, this, &Form1::CBRandom_Click);
    connect(CBPrint, &QPushButton::clicked, this, &Form1::CBPrint_Click);
    connect(LBStudents, &ListBox::mousePressed, this, &Form1::LBStudents_MouseDown);
    // Enter on a class chooses it, as a click does.
    LBClasses->installEventFilter(this);

    random = std::make_unique<ClockRandomSource>();
    seating = std::make_unique<Seating>(
        windowState, *students, surface, [this](const QString &text) { ShowMessage(this, text); });

    Form_Load();
}

Form1::~Form1() = default;

void Form1::setRandomSource(std::unique_ptr<RandomSource> source)
{
    random = std::move(source);
}

void Form1::Form_Load()
{
    const SettingsLoad load = LoadSettings(dataFolder, windowState);
    for (int k = 1; k <= windowState.classCount(); ++k)
        LBClasses->addItem(windowState.ClassNames.at(k));
    if (!load.complete) {
        ShowMessage(this, load.message);
        return;
    }
    CBPrint->setEnabled(false);
    CBRandom->setEnabled(false);
    CBInOrder->setEnabled(false);
}

void Form1::CBClassSelect_Click()
{
    LBClasses->show();
    CBInOrder->setEnabled(false);
    CBPrint->setEnabled(false);
    CBRandom->setEnabled(false);
    CBClassSelect->setEnabled(false);
}

void Form1::LBClasses_Click()
{
    const int row = LBClasses->selectedRow();
    if (row < 0)
        return;
    windowState.ClassIndex = row + 1;
    LBClasses->hide();
    CBInOrder->setEnabled(true);
    CBRandom->setEnabled(true);
    CBClassSelect->setEnabled(true);
    LClassTeacher->setText(
        Heading(windowState.ClassNames.at(windowState.ClassIndex), windowState.TeacherName));
    Refresh();
    DrawSeatGrid(windowState, surface);
    update();
    LoadRoster(windowState.RosterFiles.at(LBClasses->selectedRow() + 1));
    windowState.freeAllSeats();
    CBPrint->setEnabled(false);
    CBRandom->setEnabled(true);
    CBInOrder->setEnabled(true);
}

void Form1::LoadRoster(const QString &FileName)
{
    const RosterImport import = plivan::LoadRoster(
        ResolveInFolder(dataFolder, FileName), windowState.seatCount(), windowState.SeatWidth, *students);
    LBStudents->layOutRows();
    windowState.NameFontSize = import.NameFontSize;
    if (!import.message.isEmpty())
        ShowMessage(this, import.message);
}

void Form1::CBHelp_Click()
{
    Text1->setVisible(!Text1->isVisible());
}

void Form1::CBExit_Click()
{
    close();
    QCoreApplication::exit(0);
}

void Form1::CBInOrder_Click()
{
    seating->SeatInOrder();
    update();
    CBPrint->setEnabled(true);
}

void Form1::CBRandom_Click()
{
    seating->SeatAtRandom(*random);
    update();
    CBPrint->setEnabled(true);
}

void Form1::CBPrint_Click()
{
    const QString message = PrintChart(windowState, dataFolder);
    if (!message.isEmpty())
        ShowMessage(this, message);
}

void Form1::LBStudents_MouseDown()
{
    windowState.StudentIndex = LBStudents->selectedRow();
    windowState.StudentPicked = true;
}

void Form1::Form_MouseDown(float X, float Y)
{
    if (!windowState.StudentPicked)
        return;
    // Before the first grid the surface is still in twips and has no seats.
    int row = 0;
    int col = 0;
    if (surface.isScaleInches() && SeatAt(windowState, X, Y, row, col)) {
        seating->SeatStudent(row, col);
        update();
    }
    windowState.StudentPicked = false;
}

void Form1::Refresh()
{
    surface.clear();
    repaint();
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, surface.image());
}

void Form1::mousePressEvent(QMouseEvent *event)
{
    // Presses on the label (which passes them on) do not reach the window.
    if (childAt(event->position().toPoint()))
        return;
    const QPointF at = event->position();
    Form_MouseDown(float(surface.fromPixels(at.x())), float(surface.fromPixels(at.y())));
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == LBClasses && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            LBClasses_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace plivan
