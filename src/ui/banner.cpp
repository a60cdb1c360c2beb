#include "ui/banner.h"

#include "ui/designfont.h"
#include "ui/labels.h"
#include "ui/pictures.h"

#include <QLabel>

namespace {

void fitToText(QLabel *label, const QRect &box)
{
    if (box.size().isEmpty())
        label->adjustSize();
}

} // namespace

void addBanner(QWidget *parent, const BannerLayout &layout)
{
    QLabel *mark = addLabel(parent, QStringLiteral("Label1(0)"), QStringLiteral("ZQ"), layout.mark,
                            designFont(QStringLiteral("Arial"), layout.pointSize, true, true),
                            QColor(Qt::blue));
    fitToText(mark, layout.mark);
    QLabel *name =
        addLabel(parent, QStringLiteral("Label2(0)"), QStringLiteral("Kestrava"), layout.name,
                 designFont(QStringLiteral("Arial"), layout.pointSize, true), QColor(Qt::black));
    fitToText(name, layout.name);

    const QString logo = QStringLiteral(":/logo.svg");
    auto *image = new QLabel(parent);
    image->setObjectName(QStringLiteral("Image1"));
    const QSize size = layout.logoNaturalSize ? svgNaturalSize(logo) : layout.logo.size();
    image->setGeometry(QRect(layout.logo.topLeft(), size));
    image->setPixmap(svgPicture(logo, size, parent->devicePixelRatioF()));
}
