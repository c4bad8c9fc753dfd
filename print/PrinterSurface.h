#pragma once

#include "app/DrawingSurface.h"

#include <QTransform>

#include <memory>

class QPageLayout;
class QPagedPaintDevice;

namespace plivan {

// The part of a page that a printer can really print on, in inches from the
// page's top-left corner. Print systems report a printer's margins as they
// are in portrait, also for a page in landscape, and turn the page onto the
// paper one way or the other: in landscape, the larger of the top and bottom
// margins is kept at both sides, and the larger of the left and right margins
// at the top and at the bottom, so the area holds either way.
QRectF PrintableArea(const QPageLayout &layout);

// Where a chart covering `chart` (inches, on the page) is drawn so that all
// of it lies inside `printable`: unmoved when it fits; else moved as little
// as will do; and only when it is larger than the area, shrunk evenly first.
// The result maps the chart's page positions to the ones it is drawn at.
QTransform PlaceInside(const QRectF &chart, const QRectF &printable);

// A page of a printer (QPrinter) or of a PDF file (QPdfWriter) as a drawing
// surface. The device's origin is the top-left corner of its printable area,
// so the surface's inches are measured from there.
//
// Nothing is started up front: the first drawing operation begins the page,
// and endDocument() ends it, which sends the document to the printer or
// writes out the file. Orientation and page size must be set before the
// first drawing operation.
class PrinterSurface : public PainterSurface {
public:
    // `target` must outlive the surface.
    PrinterSurface(QPagedPaintDevice &target, const QFont &font);
    ~PrinterSurface() override;

    void setLandscape() override;
    void endDocument() override;
    void keepInsidePrintableArea(const QRectF &extent) override;
    double dotsPerInch() const override;

    // The page was begun by a drawing operation.
    bool started() const { return pageStarted; }
    // The device refused to begin the page; nothing has been drawn on it.
    bool beginFailed() const { return refused; }
    // endDocument() finished a started page and the device reported success.
    bool endedCleanly() const { return endedOk; }

protected:
    QPainter *painter() override;
    QPaintDevice *device() override;

private:
    QPagedPaintDevice &target;
    std::unique_ptr<QPainter> active;
    QTransform placement; // in device pixels from the printable area's corner
    bool pageStarted = false;
    bool refused = false;
    bool endedOk = false;
};

} // namespace plivan
