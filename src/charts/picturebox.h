#pragma once

#include "charts/drawingsurface.h"

#include <QWidget>

#include <memory>

class PictureArea;

/// The widget that shows a picture area. Whoever draws on the area calls update() after.
class PictureBox final : public QWidget {
    Q_OBJECT

public:
    /// A box of the given logical size whose area is cleared to the background colour.
    PictureBox(QSize size, Colour background, QWidget *parent);
    ~PictureBox() override;

    PictureArea &area() { return *m_area; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<PictureArea> m_area;
};
