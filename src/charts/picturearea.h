#pragma once

#include "charts/lineelement.h"
#include "charts/paintersurface.h"

#include <QImage>
#include <QPainter>
#include <QSize>

#include <memory>
#include <vector>

/// A picture area: a backing image that keeps what was drawn until Cls, in the area's default
/// font, with fixed line elements shown above it. A DrawWidth pixel is one logical pixel.
class PictureArea final : public PainterSurface {
public:
    /// An area of the given logical size, cleared to the background colour. The backing image
    /// holds devicePixelRatio device pixels per logical pixel, so it stays sharp on dense screens.
    PictureArea(QSize size, Colour background, qreal devicePixelRatio = 1.0);
    ~PictureArea() override;

    QSize size() const { return m_size; }
    Colour background() const { return m_background; }

    /// Adds a line element of the given colour; the pointer stays valid for the area's life.
    LineElement *addLineElement(Colour colour);
    const std::vector<std::unique_ptr<LineElement>> &lineElements() const { return m_elements; }

    /// Paints what the area shows at the painter's origin: the drawing, then the line elements.
    void paint(QPainter &target);
    /// What the area shows, as an image of its logical size times the pixel ratio.
    QImage picture();

protected:
    QSizeF innerSize() const override;
    qreal pixelSize() const override { return 1.0; }
    qreal rasterPixelsPerUnit() const override { return m_image.devicePixelRatio(); }
    void eraseAll() override;
    QPainter &painter() override;

private:
    void finishDrawing();

    QSize m_size;
    Colour m_background;
    QImage m_image;
    QPainter m_painter; // kept open between drawing calls, ended before the image is shown
    std::vector<std::unique_ptr<LineElement>> m_elements;
};
