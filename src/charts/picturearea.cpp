#include "charts/picturearea.h"

#include <QPen>

PictureArea::PictureArea(QSize size, Colour background, qreal devicePixelRatio)
    : m_size(size), m_background(background), m_image(size * devicePixelRatio, QImage::Format_RGB32)
{
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_image.fill(toQColor(background));
}

PictureArea::~PictureArea()
{
    finishDrawing();
}

LineElement *PictureArea::addLineElement(Colour colour)
{
    m_elements.push_back(std::make_unique<LineElement>());
    m_elements.back()->BorderColor = colour;
    return m_elements.back().get();
}

QSizeF PictureArea::innerSize() const
{
    return QSizeF(m_size);
}

void PictureArea::eraseAll()
{
    finishDrawing();
    m_image.fill(toQColor(m_background));
}

QPainter &PictureArea::painter()
{
    if (!m_painter.isActive()) {
        m_painter.begin(&m_image);
        prepare(m_painter);
    }
    return m_painter;
}

void PictureArea::finishDrawing()
{
    if (m_painter.isActive())
        m_painter.end();
}

void PictureArea::paint(QPainter &target)
{
    finishDrawing();
    target.drawImage(QPointF(0, 0), m_image);
    target.save();
    target.setRenderHint(QPainter::Antialiasing, false);
    target.setClipRect(QRect(QPoint(0, 0), m_size), Qt::IntersectClip);
    for (const auto &element : m_elements) {
        target.setPen(QPen(toQColor(element->BorderColor), 0));
        target.drawLine(
            QLineF(toDevice({element->X1, element->Y1}), toDevice({element->X2, element->Y2})));
    }
    target.restore();
}

QImage PictureArea::picture()
{
    QImage shown(m_image.size(), QImage::Format_RGB32);
    shown.setDevicePixelRatio(m_image.devicePixelRatio());
    QPainter target(&shown);
    paint(target);
    return shown;
}
