#pragma once

#include "charts/drawingsurface.h"

/// A fixed line object of a picture area: end points in the area's user units, a colour of
/// its own, 1 pixel wide. It shows above everything drawn on the area and survives Cls.
struct LineElement {
    float X1 = 0;
    float Y1 = 0;
    float X2 = 0;
    float Y2 = 0;
    Colour BorderColor = 0;
};
