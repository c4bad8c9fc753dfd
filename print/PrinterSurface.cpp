#include "PrinterSurface.h"

#include <QPagedPaintDevice>
#include <QPainter>

namespace plivan {

PrinterSurface::PrinterSurface(QPagedPaintDevice &target, const QFont &font)
    : PainterSurface(font)
    , target(target)
{
}

// A page still open is finished, so the device is never left painting.
PrinterSurface::~PrinterSurface()
{
    if (active)
        active->end();
}

void PrinterSurface::setLandscape()
{
    target.setPageOrientation(QPageLayout::Landscape);
}

double PrinterSurface::dotsPerInch() const
{
    return target.logicalDpiX();
}

QPaintDevice *PrinterSurface::device()
{
    return &target;
}

QPainter *PrinterSurface::painter()
{
    // A device that refused once is not asked again: a second begin on a
    // printer could send an empty job.
    if (!active && !refused && !pageStarted) {
        auto painter = std::make_unique<QPainter>();
        if (painter->begin(&target)) {
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setRenderHint(QPainter::TextAntialiasing);
            active = std::move(painter);
            pageStarted = true;
        } else {
            refused = true;
        }
    }
    return active.get();
}

void PrinterSurface::endDocument()
{
    if (!active)
        return;
    endedOk = active->end();
    active.reset();
}

} // namespace plivan
