#pragma once

#include "app/DrawingSurface.h"

#include <memory>

class QPagedPaintDevice;

namespace plivan {

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
    bool pageStarted = false;
    bool refused = false;
    bool endedOk = false;
};

} // namespace plivan
