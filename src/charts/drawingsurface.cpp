#include "charts/drawingsurface.h"

#include "app/textrules.h"

#include <QColor>

#include <algorithm>
#include <cmath>

namespace {

/// Device coordinates are held within this distance of the area, so a sample of any size (or
/// an infinity) reaches the painter as a finite point far off the area; the part that shows
/// keeps its direction to well under a pixel.
constexpr qreal kFar = 1.0e7;

inline qreal boundedDevice(qreal value)
{
    // Written out so that a NaN, which fails every comparison, lands on the far edge too.
    if (value >= -kFar && value <= kFar)
        return value;
    return value < -kFar ? -kFar : kFar;
}

} // namespace

QColor toQColor(Colour colour)
{
    return QColor(colour & 0xff, (colour >> 8) & 0xff, (colour >> 16) & 0xff);
}

DrawingSurface::~DrawingSurface() = default;

QSizeF DrawingSurface::deviceUnitsPerUserUnit() const
{
    const QSizeF size = innerSize();
    return {ScaleWidth != 0 ? size.width() / qreal(ScaleWidth) : 1.0,
            ScaleHeight != 0 ? size.height() / qreal(ScaleHeight) : 1.0};
}

QPointF DrawingSurface::toDevice(QPointF user) const
{
    const QSizeF factor = deviceUnitsPerUserUnit();
    return {boundedDevice(user.x() * factor.width()), boundedDevice(user.y() * factor.height())};
}

qreal DrawingSurface::penWidth() const
{
    return std::max<int>(DrawWidth, 1) * pixelSize();
}

void DrawingSurface::cls()
{
    eraseAll();
    CurrentX = 0;
    CurrentY = 0;
}

void DrawingSurface::print(const QString &text)
{
    drawText(toDevice({CurrentX, CurrentY}), text, ForeColor);
    const qreal sy = ScaleHeight != 0 ? qreal(ScaleHeight) / innerSize().height() : 1.0;
    CurrentX = 0;
    CurrentY = float(CurrentY + textLineHeight() * sy);
}

void DrawingSurface::printInteger(int value)
{
    print(printFormInteger(value));
}

void DrawingSurface::line(float x1, float y1, float x2, float y2)
{
    line(x1, y1, x2, y2, ForeColor);
}

void DrawingSurface::line(float x1, float y1, float x2, float y2, Colour colour)
{
    const QLineF segment(toDevice({x1, y1}), toDevice({x2, y2}));
    drawSegments({&segment, 1}, colour, penWidth());
}

void DrawingSurface::polyline(std::span<const QPointF> points)
{
    polyline(points, ForeColor);
}

void DrawingSurface::polyline(std::span<const QPointF> points, Colour colour)
{
    const int end = int(points.size());
    drawPolylinesIn(points, {&end, 1}, colour);
}

void DrawingSurface::polylines(std::span<const QPointF> points, std::span<const int> ends,
                               Colour colour)
{
    drawPolylinesIn(points, ends, colour);
}

qreal DrawingSurface::pixelWidth() const
{
    return pixelSize() / deviceUnitsPerUserUnit().width();
}

qreal DrawingSurface::columnWidth() const
{
    return 1.0 / (deviceUnitsPerUserUnit().width() * rasterPixelsPerUnit());
}

void DrawingSurface::drawPolylinesIn(std::span<const QPointF> points, std::span<const int> ends,
                                     Colour colour)
{
    // One batch of separate segments, not a QPainter polyline: a 1-pixel polyline leaves out
    // some joint pixels that the segments drawn one by one have, and a wide one is joined at
    // the corners. Batched segments give exactly the picture of line() for each pair.
    m_segments.resize(points.size());
    const QSizeF factor = deviceUnitsPerUserUnit();
    const qreal sx = factor.width();
    const qreal sy = factor.height();
    QLineF *segment = m_segments.data();
    size_t begin = 0;
    for (const int endAt : ends) {
        const size_t end = std::clamp<size_t>(size_t(std::max(endAt, 0)), begin, points.size());
        if (end >= begin + 2) {
            const QPointF *point = points.data() + begin;
            QPointF from(boundedDevice(point->x() * sx), boundedDevice(point->y() * sy));
            for (size_t k = begin + 1; k < end; ++k, ++segment) {
                ++point;
                const QPointF to(boundedDevice(point->x() * sx), boundedDevice(point->y() * sy));
                segment->setPoints(from, to);
                from = to;
            }
        }
        begin = end;
    }
    const size_t count = size_t(segment - m_segments.data());
    if (count > 0)
        drawSegments({m_segments.data(), count}, colour, penWidth());
}
