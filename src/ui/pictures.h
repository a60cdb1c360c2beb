#pragma once

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>

/// Renders an SVG resource to a pixmap of the given logical size, sharp on high-DPI screens.
QPixmap svgPicture(const QString &resource, QSize size, qreal devicePixelRatio = 1.0);

/// The natural size of an SVG resource.
QSize svgNaturalSize(const QString &resource);

class QPushButton;
class QWidget;

/// A button that shows an SVG picture instead of a caption. It carries no text, so the
/// description is its tooltip and its accessible name.
QPushButton *pictureButton(QWidget *parent, const QString &name, const QString &picture,
                           const QString &description, const QRect &box);
