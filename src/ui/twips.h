#pragma once

#include <QRect>
#include <QtGlobal>

/// Design geometry is in twips; one logical pixel is 15 twips.
constexpr int twips(int value)
{
    return (value >= 0 ? value + 7 : value - 7) / 15;
}

/// A rectangle given in twips as left, top, width, height.
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
