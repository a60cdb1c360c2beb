#pragma once

#include "charts/paintersurface.h"

#include <QPainter>

class QPagedPaintDevice;

/// A printer page (a QPrinter, or a QPdfWriter for a PDF file): the user scale lies over the
/// printable area, text is in the device's default font and a DrawWidth pixel is 1/96 inch.
/// The page is begun on construction; endDoc() completes it and hands the document on.
class PrinterPage final : public PainterSurface {
public:
    explicit PrinterPage(QPagedPaintDevice &device);
    ~PrinterPage() override;

    /// Whether the device accepted the page; drawing on a page that is not active does nothing.
    bool isActive() const { return m_painter.isActive(); }
    /// Ends the document. Returns false when the device did not take it.
    bool endDoc();

protected:
    QSizeF innerSize() const override;
    qreal pixelSize() const override;
    void eraseAll() override;
    QPainter &painter() override { return m_painter; }

private:
    QPagedPaintDevice &m_device;
    QPainter m_painter;
};
