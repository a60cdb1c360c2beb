#pragma once

#include <QRect>

class QWidget;

/// Where a window shows the product banner: the maker mark "ZQ" (Label1(0)), the product name
/// "Kestrava" (Label2(0)) and the logo picture (Image1).
struct BannerLayout {
    /// Boxes of the two names; an empty size fits the box to its text.
    QRect mark;
    QRect name;
    /// Box of the logo; with logoNaturalSize the picture keeps its own size from the top left.
    QRect logo;
    qreal pointSize = 15.75;
    bool logoNaturalSize = false;
};

/// Adds the banner's three controls to the window: both names in Arial bold, the mark blue
/// and italic, the name black.
void addBanner(QWidget *parent, const BannerLayout &layout);
