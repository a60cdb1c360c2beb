#include "charts/printerpage.h"

#include <QPagedPaintDevice>

PrinterPage::PrinterPage(QPagedPaintDevice &device) : m_device(device)
{
    if (m_painter.begin(&m_device)) {
        prepare(m_painter);
        // Drawing outside the printable area is cut off there, as on a picture area: the
        // painter's origin is the printable area's top left, not the paper's edge.
        m_painter.setClipRect(QRectF(QPointF(0, 0), innerSize()));
    }
}

PrinterPage::~PrinterPage()
{
    if (m_painter.isActive())
        m_painter.end();
}

bool PrinterPage::endDoc()
{
    return m_painter.isActive() && m_painter.end();
}

QSizeF PrinterPage::innerSize() const
{
    return QSizeF(m_device.width(), m_device.height());
}

qreal PrinterPage::pixelSize() const
{
    return m_device.logicalDpiX() / 96.0;
}

void PrinterPage::eraseAll()
{
    // A page that is being printed cannot be taken back; no chart erases one.
}
