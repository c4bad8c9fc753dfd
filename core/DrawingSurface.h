#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;
class QPaintDevice;

namespace plivan {

// The operations the chart is drawn with, on the window and on paper. Coordinates
// are in the surface's scale: twips (1/1440 inch) until setScaleInches() is
// called, inches afterwards, measured right and down from the top-left corner of
// the drawable area.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    virtual void setScaleInches() = 0;
    virtual bool isScaleInches() const = 0;
    // Later lines are `pixels` device pixels wide.
    virtual void setLineWidth(int pixels) = 0;
    // Outline of the rectangle with opposite corners (x1, y1) and (x2, y2), in black.
    virtual void drawBox(float x1, float y1, float x2, float y2) = 0;
    // Later text is drawn at `points` points in the surface's own font face.
    virtual void setFontSize(double points) = 0;
    virtual double fontSize() const = 0;
    // Width of `text` in the current font, in the surface's scale.
    virtual double textWidth(const QString &text) = 0;
    // Height of one line of text in the current font, in the surface's scale.
    virtual double lineHeight() = 0;

    // The current position is held in single precision, as positions are
    // handed over in it.
    float CurrentX = 0;
    float CurrentY = 0;
    // Draws `text` as one line with its top-left corner at (CurrentX, CurrentY),
    // then moves the current position to the start of the next line.
    virtual void printText(const QString &text) = 0;

    // Printer only, ignored by the window. A page is made in three steps:
    // beginPage() first, before anything is drawn on it; then the drawing;
    // then endDocument(), which finishes the page and sends it on.
    //
    // beginPage() turns the page to landscape and begins it. What is drawn on
    // it covers `extent` (inches): text, and box outlines `lineWidth` device
    // pixels wide centred on their edges. Where the paper's printable area
    // would cut any of it off, everything drawn on the page is moved, and
    // shrunk evenly only when moving is not enough, so that it lands inside;
    // where it fits, nothing moves. False when the device refuses to begin
    // the page: nothing is drawn on it then.
    virtual bool beginPage(const QRectF &extent, int lineWidth)
    {
        Q_UNUSED(extent)
        Q_UNUSED(lineWidth)
        return true;
    }
    virtual void endDocument() { }
};

// A surface that draws with QPainter on a paint device of known resolution.
// Subclasses say where the device comes from and when painting starts.
class PainterSurface : public DrawingSurface {
public:
    void setScaleInches() override { m_inches = true; }
    bool isScaleInches() const override { return m_inches; }
    void setLineWidth(int pixels) override { m_lineWidth = pixels; }
    void drawBox(float x1, float y1, float x2, float y2) override;
    void setFontSize(double points) override { m_pointSize = points; }
    double fontSize() const override { return m_pointSize; }
    double textWidth(const QString &text) override;
    double lineHeight() override;
    void printText(const QString &text) override;

    // Device pixels per inch of the surface.
    virtual double dotsPerInch() const = 0;
    double toPixels(double v) const { return m_inches ? v * dotsPerInch() : v * dotsPerInch() / 1440.0; }
    double fromPixels(double px) const { return m_inches ? px / dotsPerInch() : px * 1440.0 / dotsPerInch(); }

protected:
    explicit PainterSurface(const QFont &font)
        : m_baseFont(font)
    {
    }
    // The painter to draw with, or nullptr when nothing can be drawn (a page
    // not begun). Every use ends with release().
    virtual QPainter *painter() = 0;
    virtual void release() { }
    virtual QPaintDevice *device() = 0;

private:
    QFont currentFont() const;

    QFont m_baseFont;
    bool m_inches = false;
    int m_lineWidth = 1;
    double m_pointSize = 8.25;
};

// The window's surface: a backing image that the window shows in its paint
// event, so the chart survives being covered. One inch is 96 device-independent
// pixels.
class ImageSurface : public PainterSurface {
public:
    ImageSurface(QSize sizeInPixels, const QFont &font, QColor background);
    ~ImageSurface() override;

    const QImage &image() const { return m_backing; }
    // Erases everything drawn (the surface keeps its scale and settings).
    void clear();
    double dotsPerInch() const override { return 96.0; }

protected:
    QPainter *painter() override;
    void release() override;
    QPaintDevice *device() override { return &m_backing; }

private:
    QImage m_backing;
    QColor m_backgroundColor;
    std::unique_ptr<QPainter> m_activePainter;
};

} // namespace plivan
