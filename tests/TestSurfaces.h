#pragma once

// A drawing surface that records what is drawn on it, and a random source
// that hands out fixed numbers: the seating and print code without pixels
// or chance.

#include "DrawingSurface.h"
#include "RandomSource.h"
#include "SeatGrid.h"
#include "WindowState.h"

#include <QList>
#include <QRectF>
#include <QStringList>

// Every call, in order, as text: "box 0.5 0.75 2 1.9", "text 0.575 0.82 12 Ann".
// Text is measured as 0.6 em a character, a line as 1 em high.
class RecordingSurface : public plivan::DrawingSurface {
public:
    void setScaleInches() override { record(QStringLiteral("inches")), inches = true; }
    bool isScaleInches() const override { return inches; }
    void setLineWidth(int pixels) override { record(QStringLiteral("line %1").arg(pixels)); }
    void drawBox(float x1, float y1, float x2, float y2) override
    {
        boxes << QRectF(QPointF(x1, y1), QPointF(x2, y2));
        record(QStringLiteral("box %1 %2 %3 %4").arg(x1).arg(y1).arg(x2).arg(y2));
    }
    void setFontSize(double points) override { size = points; }
    double fontSize() const override { return size; }
    double textWidth(const QString &text) override
    {
        ++measures;
        return text.size() * size * 0.6 / 72.0;
    }
    double lineHeight() override { return size / 72.0; }
    void printText(const QString &text) override
    {
        record(QStringLiteral("text %1 %2 %3 %4").arg(CurrentX).arg(CurrentY).arg(size).arg(text));
        CurrentX = 0;
        CurrentY += float(size / 72.0);
    }
    bool beginPage(const QRectF &r, int lineWidth) override
    {
        record(QString::asprintf("page %g %g %g %g %d", r.left(), r.top(), r.right(), r.bottom(), lineWidth));
        return true;
    }
    void endDocument() override { record(QStringLiteral("end")); }

    void record(const QString &call) { calls << call; }

    bool inches = false;
    int measures = 0;
    double size = 0;
    QStringList calls;
    QList<QRectF> boxes;
};

// A room of rows x cols of Mrs. Tolvane's, class Period 1 Geometry chosen.
inline plivan::WindowState Room(int rows, int cols)
{
    plivan::WindowState state;
    plivan::SetRoom(state, rows, cols);
    state.NameFontSize = 12;
    state.TeacherName = QStringLiteral("Mrs. Tolvane");
    state.ClassNames = { QString(), QStringLiteral("Period 1 Geometry") };
    state.ClassIndex = 1;
    return state;
}

// Seat by seat, "-" for a free one and "?" for a seat neither free nor taken.
inline QStringList Seated(const plivan::WindowState &state)
{
    QStringList names;
    for (int s = 1; s <= state.seatCount(); ++s)
        names << (state.SeatTaken[s] == -1 ? state.SeatNames[s]
                : state.SeatTaken[s] == 0  ? QStringLiteral("-")
                                           : QStringLiteral("?"));
    return names;
}

class FixedRandom : public plivan::RandomSource {
public:
    explicit FixedRandom(QList<float> numbers)
        : numbers(std::move(numbers))
    {
    }
    void reseed() override { ++reseeds; }
    float next() override { return numbers.value(used++, 0.0f); }

    QList<float> numbers;
    int used = 0;
    int reseeds = 0;
};
