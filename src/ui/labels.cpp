#include "ui/labels.h"

#include <QLabel>

QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, const QRect &box,
                 const std::optional<QFont> &font, const std::optional<QColor> &colour)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(box);
    // Text at the top of its box, so labels of different heights share a baseline.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (font)
        label->setFont(*font);
    if (colour) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, *colour);
        label->setPalette(palette);
    }
    return label;
}
