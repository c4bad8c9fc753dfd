#include "Form1.h"

#include "DataFolder.h"
#include "Heading.h"
#include "HelpText.h"
#include "MessageBox.h"
#include "PrintedChart.h"
#include "RandomSource.h"
#include "RosterImport.h"
#include "SeatGrid.h"
#include "Seating.h"
#include "SettingsFile.h"
#include "app/Version.h"

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

// The help names the settings file this system reads; on Windows the text
// stays as first written.
QString SystemHelpText()
{
#ifdef Q_OS_WIN
    return HelpText(HelpSettingsPath);
#else
    return HelpText(SettingsFilePath(DefaultDataFolder()));
#endif
}

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
    const QListWidgetItem *item = m_box.item(row);
    return item ? item->text() : QString();
}

void ListBoxStudents::setText(int row, const QString &text)
{
    if (QListWidgetItem *item = m_box.item(row))
        item->setText(text);
}

const QString Form1::Caption = QStringLiteral("Plivan   " PLIVAN_VERSION) + QString(81, QLatin1Char(' '));

Form1::Form1(const QString &dataFolder, QWidget *parent)
    : QWidget(parent)
    , m_dataFolder(dataFolder)
    , m_surface(ClientArea, font(), palette().color(QPalette::Window))
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
    m_students = std::make_unique<ListBoxStudents>(*LBStudents);
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
    Text1->setPlainText(SystemHelpText());
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

    m_random = std::make_unique<ClockRandomSource>();
    m_seating = std::make_unique<Seating>(
        m_state, *m_students, m_surface, [this](const QString &text) { ShowMessage(this, text); });

    Form_Load();
}

Form1::~Form1() = default;

void Form1::setRandomSource(std::unique_ptr<RandomSource> source)
{
    m_random = std::move(source);
}

void Form1::Form_Load()
{
    const SettingsLoad load = LoadSettings(m_dataFolder, m_state);
    for (int k = 1; k <= m_state.classCount(); ++k)
        LBClasses->addItem(m_state.ClassNames.at(k));
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
        return; // a press below the last class chooses none
    m_state.ClassIndex = row + 1;
    LBClasses->hide();
    CBClassSelect->setEnabled(true);
    CBInOrder->setEnabled(true);
    CBRandom->setEnabled(true);
    CBPrint->setEnabled(false);
    LClassTeacher->setText(Heading(m_state.ClassNames.at(m_state.ClassIndex), m_state.TeacherName));
    // The previous chart is wiped, and the empty grid stands on the window
    // while the roster is read.
    m_surface.clear();
    DrawSeatGrid(m_state, m_surface);
    repaint();
    LoadRoster(m_state.RosterFiles.at(m_state.ClassIndex));
    m_state.freeAllSeats();
}

void Form1::LoadRoster(const QString &FileName)
{
    const RosterImport import = ImportRoster(
        ResolveInFolder(m_dataFolder, FileName), m_state.seatCount(), m_state.SeatWidth, *m_students);
    LBStudents->layOutRows();
    m_state.NameFontSize = import.NameFontSize;
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
    m_seating->SeatInOrder();
    update();
    CBPrint->setEnabled(true);
}

void Form1::CBRandom_Click()
{
    m_seating->SeatAtRandom(*m_random);
    update();
    CBPrint->setEnabled(true);
}

void Form1::CBPrint_Click()
{
    const QString message = PrintChart(m_state, m_dataFolder);
    if (!message.isEmpty())
        ShowMessage(this, message);
}

void Form1::LBStudents_MouseDown()
{
    // A blank row (a name already seated) or no row at all picks nobody, and
    // takes back an earlier pick.
    const int row = LBStudents->selectedRow();
    m_state.StudentIndex = row;
    m_state.StudentPicked = row >= 0 && !m_students->text(row).isEmpty();
}

void Form1::Form_MouseDown(float X, float Y)
{
    if (!m_state.StudentPicked)
        return;
    // Before the first grid the surface is still in twips and has no seats.
    const SeatGrid grid = SeatGrid::OnWindow(m_state);
    if (const int s = m_surface.isScaleInches() ? grid.seatAt(X, Y) : 0) {
        const Seat seat = grid.seat(s);
        m_seating->SeatStudent(seat.row, seat.col);
        update();
    }
    m_state.StudentPicked = false;
}

void Form1::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_surface.image());
}

void Form1::mousePressEvent(QMouseEvent *event)
{
    // Presses on the label (which passes them on) do not reach the window.
    if (childAt(event->position().toPoint()))
        return;
    const QPointF at = event->position();
    Form_MouseDown(float(m_surface.fromPixels(at.x())), float(m_surface.fromPixels(at.y())));
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
