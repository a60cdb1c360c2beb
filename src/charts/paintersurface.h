#pragma once

#include "charts/drawingsurface.h"

#include <QHash>
#include <QStaticText>

class QPainter;

/// The drawing operations over a QPainter, shared by the picture area and the printer page.
/// Lines are drawn without antialiasing.
class PainterSurface : public DrawingSurface {
protected:
    PainterSurface() = default;

    /// The painter on the device, active while the surface is drawn on.
    virtual QPainter &painter() = 0;

    qreal textLineHeight() override;
    void drawText(QPointF topLeft, const QString &text, Colour colour) override;
    void drawSegments(std::span<const QLineF> segments, Colour colour, qreal penWidth) override;

    /// Puts the painter's line settings in their drawing state after it was begun.
    static void prepare(QPainter &painter);

private:
    /// Texts laid out once and drawn again as they are (the same pixels as laying them out
    /// each time): the trend window writes the same sixteen every second.
    QHash<QString, QStaticText> m_texts;
};
