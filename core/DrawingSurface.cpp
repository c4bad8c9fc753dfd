#include "DrawingSurface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

namespace plivan {

QFont PainterSurface::currentFont() const
{
    QFont font = m_baseFont;
    if (m_pointSize > 0)
        font.setPointSizeF(m_pointSize);
    return font;
}

void PainterSurface::drawBox(float x1, float y1, float x2, float y2)
{
    QPainter *p = painter();
    if (!p)
        return;
    p->setPen(QPen(Qt::black, m_lineWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p->setBrush(Qt::NoBrush);
    p->drawRect(QRectF(QPointF(toPixels(x1), toPixels(y1)), QPointF(toPixels(x2), toPixels(y2))));
    release();
}

double PainterSurface::textWidth(const QString &text)
{
    const QFontMetricsF metrics(currentFont(), device());
    return fromPixels(metrics.horizontalAdvance(text));
}

double PainterSurface::lineHeight()
{
    return fromPixels(QFontMetricsF(currentFont(), device()).height());
}

void PainterSurface::printText(const QString &text)
{
    const QFont font = currentFont();
    const QFontMetricsF metrics(font, device());
    // A size of 0 points or less draws nothing, as no text can be that small.
    if (m_pointSize > 0 && !text.isEmpty()) {
        if (QPainter *p = painter()) {
            p->setFont(font);
            p->setPen(Qt::black);
            p->drawText(QPointF(toPixels(CurrentX), toPixels(CurrentY) + metrics.ascent()), text);
            release();
        }
    }
    CurrentX = 0;
    CurrentY += float(fromPixels(metrics.height()));
}

ImageSurface::ImageSurface(QSize sizeInPixels, const QFont &font, QColor background)
    : PainterSurface(font)
    , m_backing(sizeInPixels, QImage::Format_ARGB32_Premultiplied)
    , m_backgroundColor(background)
{
    // 96 dots per inch, so that font point sizes map to pixels as on the screen.
    const int dotsPerMeter = qRound(96.0 / 0.0254);
    m_backing.setDotsPerMeterX(dotsPerMeter);
    m_backing.setDotsPerMeterY(dotsPerMeter);
    clear();
}

ImageSurface::~ImageSurface() = default;

void ImageSurface::clear()
{
    m_backing.fill(m_backgroundColor);
}

QPainter *ImageSurface::painter()
{
    m_activePainter = std::make_unique<QPainter>(&m_backing);
    m_activePainter->setRenderHint(QPainter::TextAntialiasing);
    return m_activePainter.get();
}

void ImageSurface::release()
{
    m_activePainter.reset();
}

} // namespace plivan
