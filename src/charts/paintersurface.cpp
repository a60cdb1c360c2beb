#include "charts/paintersurface.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>

namespace {

/// Texts kept laid out; a chart writes a few dozen.
constexpr qsizetype kKeptTexts = 64;

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
    auto laidOut = m_texts.find(text);
    if (laidOut == m_texts.end()) {
        if (m_texts.size() >= kKeptTexts)
            m_texts.clear();
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        laidOut = m_texts.insert(text, staticText);
    }
    // A static text hangs from its top-left corner.
    p.drawStaticText(topLeft, *laidOut);
}

void PainterSurface::drawSegments(std::span<const QLineF> segments, Colour colour, qreal penWidth)
{
    QPainter &p = painter();
    p.setPen(linePen(colour, penWidth));
    p.drawLines(segments.data(), int(segments.size()));
}
