#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

/// Renders an SVG resource to a pixmap of the given logical size, sharp on high-DPI screens.
QPixmap svgPicture(const QString &resource, QSize size, qreal devicePixelRatio = 1.0);

/// The natural size of an SVG resource.
QSize svgNaturalSize(const QString &resource);
