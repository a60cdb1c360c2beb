#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <optional>

class QLabel;
class QWidget;

/// A label of a window design: its name, text and box, its text at the top left of the box,
/// optionally in a font and colour of its own.
QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, const QRect &box,
                 const std::optional<QFont> &font = std::nullopt,
                 const std::optional<QColor> &colour = std::nullopt);
