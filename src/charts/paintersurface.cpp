#include "charts/paintersurface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

#include <optional>

namespace {

/// The part of the segment inside the rectangle (Liang-Barsky), or nothing.
std::optional<QLineF> clipped(const QLineF &segment, const QRectF &box)
{
    const qreal dx = segment.dx();
    const qreal dy = segment.dy();
    qreal t0 = 0;
    qreal t1 = 1;
    const qreal p[4] = {-dx, dx, -dy, dy};
    const qreal q[4] = {segment.x1() - box.left(), box.right() - segment.x1(),
                        segment.y1() - box.top(), box.bottom() - segment.y1()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const qreal t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return QLineF(segment.pointAt(t0), segment.pointAt(t1));
}

QPen linePen(Colour colour, qreal width)
{
    // Square ends reach half the width past each end point, so wide segments drawn one by one
    // meet without gaps (round ends look the same at these widths and stroke far slower).
    return QPen(toQColor(colour), width <= 1.0 ? 0.0 : width, Qt::SolidLine, Qt::SquareCap,
                Qt::BevelJoin);
}

} // namespace

void PainterSurface::prepare(QPainter &painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
}

qreal PainterSurface::textLineHeight()
{
    QPainter &p = painter();
    return QFontMetricsF(p.font(), p.device()).height();
}

void PainterSurface::drawText(QPointF topLeft, const QString &text, Colour colour)
{
    QPainter &p = painter();
    p.setPen(toQColor(colour));
    const QFontMetricsF metrics(p.font(), p.device());
    p.drawText(QPointF(topLeft.x(), topLeft.y() + metrics.ascent()), text);
}

void PainterSurface::drawSegments(std::span<const QLineF> segments, Colour colour, qreal penWidth)
{
    QPainter &p = painter();
    p.setPen(linePen(colour, penWidth));
    if (penWidth <= 1.0) {
        // Cosmetic lines are clipped by the painter itself.
        p.drawLines(segments.data(), int(segments.size()));
        return;
    }
    // Wide lines are stroked as paths, which only behave for points near the area: cut each
    // segment to the area grown by a margin wider than the pen, which leaves what shows as it is.
    const QSizeF size = innerSize();
    const qreal margin = penWidth * 4 + 8;
    const QRectF box(-margin, -margin, size.width() + 2 * margin, size.height() + 2 * margin);
    m_clipped.clear();
    for (const QLineF &segment : segments) {
        if (box.contains(segment.p1()) && box.contains(segment.p2()))
            m_clipped.push_back(segment);
        else if (const auto part = clipped(segment, box))
            m_clipped.push_back(*part);
    }
    if (!m_clipped.empty())
        p.drawLines(m_clipped.data(), int(m_clipped.size()));
}
