#include "charts/picturebox.h"

#include "charts/picturearea.h"

#include <QPainter>

PictureBox::PictureBox(QSize size, Colour background, QWidget *parent)
    : QWidget(parent), m_area(std::make_unique<PictureArea>(
                           size, background, parent ? parent->devicePixelRatioF() : 1.0))
{
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureBox::~PictureBox() = default;

void PictureBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    m_area->paint(painter);
}
