#pragma once

#include "DrawingSurface.h"

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
// so the surface's inches are measured from there. The page size must be set
// before beginPage(); beginPage() sets the orientation and begins the page,
// and endDocument() ends it, which sends the document to the printer or
// writes out the file. A page still open when the surface goes is ended.
class PrinterSurface : public PainterSurface {
public:
    // `target` must outlive the surface.
    PrinterSurface(QPagedPaintDevice &target, const QFont &font);
    ~PrinterSurface() override;

    bool beginPage(const QRectF &extent, int lineWidth) override;
    void endDocument() override;
    double dotsPerInch() const override;

    // The device refused to begin the page; nothing has been drawn on it.
    bool beginFailed() const { return m_refused; }
    // endDocument() finished a begun page and the device reported success.
    bool endedCleanly() const { return m_endedOk; }

protected:
    QPainter *painter() override { return m_active.get(); }
    QPaintDevice *device() override;

private:
    QPagedPaintDevice &m_target;
    std::unique_ptr<QPainter> m_active;
    bool m_refused = false;
    bool m_endedOk = false;
};

} // namespace plivan
