#include "PrinterSurface.h"

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace plivan {

QRectF PrintableArea(const QPageLayout &layout)
{
    // In points, which Qt keeps unrounded; its inches are rounded to 0.01.
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    QMarginsF margins = layout.margins(QPageLayout::Point);
    if (layout.orientation() == QPageLayout::Landscape) {
        const double sides = std::max(margins.top(), margins.bottom());
        const double ends = std::max(margins.left(), margins.right());
        margins = QMarginsF(sides, ends, sides, ends);
    }
    const QRectF area = paper.marginsRemoved(margins);
    return { area.topLeft() / 72, area.size() / 72 };
}

QTransform PlaceInside(const QRectF &chart, const QRectF &printable)
{
    if (printable.contains(chart) || chart.isEmpty() || printable.isEmpty())
        return {};
    const double scale
        = std::min({ 1.0, printable.width() / chart.width(), printable.height() / chart.height() });
    const QRectF scaled(chart.topLeft() * scale, chart.size() * scale);
    // The least move that brings each side in; a shrunk chart fits exactly.
    const auto shift = [](double low, double high, double areaLow, double areaHigh) {
        return std::clamp(0.0, areaLow - low, std::max(areaLow - low, areaHigh - high));
    };
    const double dx = shift(scaled.left(), scaled.right(), printable.left(), printable.right());
    const double dy = shift(scaled.top(), scaled.bottom(), printable.top(), printable.bottom());
    return QTransform(scale, 0, 0, scale, dx, dy);
}

PrinterSurface::PrinterSurface(QPagedPaintDevice &target, const QFont &font)
    : PainterSurface(font)
    , m_target(target)
{
}

PrinterSurface::~PrinterSurface()
{
    if (m_active)
        m_active->end();
}

double PrinterSurface::dotsPerInch() const
{
    return m_target.logicalDpiX();
}

QPaintDevice *PrinterSurface::device()
{
    return &m_target;
}

bool PrinterSurface::beginPage(const QRectF &extent, int lineWidth)
{
    // A device that refused is not asked again: a second begin on a printer
    // could send an empty job.
    if (m_active || m_refused)
        return bool(m_active);
    m_target.setPageOrientation(QPageLayout::Landscape);
    // Where the chart goes on the paper, worked out for the page as turned.
    const QPageLayout layout = m_target.pageLayout();
    const double dpi = dotsPerInch();
    const double halfLine = lineWidth / 2.0 / dpi;
    const QPointF corner = layout.paintRect(QPageLayout::Point).topLeft() / 72;
    const QRectF chart = extent.adjusted(-halfLine, -halfLine, halfLine, halfLine).translated(corner);
    // From the printable area's corner and back, in device pixels.
    const QTransform placement = QTransform::fromScale(dpi, dpi).inverted()
        * QTransform::fromTranslate(corner.x(), corner.y()) * PlaceInside(chart, PrintableArea(layout))
        * QTransform::fromTranslate(-corner.x(), -corner.y()) * QTransform::fromScale(dpi, dpi);

    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(&m_target)) {
        m_refused = true;
        return false;
    }
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->setTransform(placement);
    m_active = std::move(painter);
    return true;
}

void PrinterSurface::endDocument()
{
    if (!m_active)
        return;
    m_endedOk = m_active->end();
    m_active.reset();
}

} // namespace plivan
