#include "ui/pictures.h"

#include <QIcon>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

#include <algorithm>

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

QPushButton *pictureButton(QWidget *parent, const QString &name, const QString &picture,
                           const QString &description, const QRect &box)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setGeometry(box);
    const int side = std::min(box.width(), box.height()) * 3 / 4;
    const QSize iconSize(side, side);
    button->setIcon(QIcon(svgPicture(picture, iconSize, parent->devicePixelRatioF())));
    button->setIconSize(iconSize);
    button->setToolTip(description);
    button->setAccessibleName(description);
    button->setAutoDefault(false);
    return button;
}
