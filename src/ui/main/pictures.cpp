#include "ui/main/pictures.h"

#include <QPainter>
#include <QSvgRenderer>

QPixmap svgPicture(const QString &resource, QSize size, qreal devicePixelRatio)
{
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QSize svgNaturalSize(const QString &resource)
{
    return QSvgRenderer(resource).defaultSize();
}
