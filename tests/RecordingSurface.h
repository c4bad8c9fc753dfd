#pragma once

// A drawing surface that records what is drawn on it, for tests of the
// drawing code without pixels. Text is measured as 0.6 em per character.

#include "app/DrawingSurface.h"

#include <QList>
#include <QRectF>

struct DrawnText {
    QString text;
    double x = 0;
    double y = 0;
    double points = 0;
};

class RecordingSurface : public plivan::DrawingSurface {
public:
    void setScaleInches() override { inches = true; }
    bool isScaleInches() const override { return inches; }
    void setLineWidth(int pixels) override { lineWidth = pixels; }
    void drawBox(float x1, float y1, float x2, float y2) override
    {
        boxes.append(QRectF(QPointF(x1, y1), QPointF(x2, y2)));
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
        texts.append({text, CurrentX, CurrentY, size});
        CurrentX = 0;
        CurrentY += float(size / 72.0);
    }

    bool inches = false;
    int lineWidth = 1;
    int measures = 0;
    double size = 0;
    QList<QRectF> boxes;
    QList<DrawnText> texts;
};
