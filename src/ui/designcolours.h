#pragma once

#include <QColor>

/// The dark blue of the station panels and the calibration value labels.
inline const QColor kPanelBlue(0, 0, 192);
