#pragma once

#include "records/leakfigures.h"

#include <QRectF>
#include <QString>

#include <optional>
#include <span>
#include <vector>

class DrawingSurface;
struct RecordDetails;

/// What a decay chart draws: the readings of one phase (as leakFigures() takes them), each as
/// its seconds from the phase's reference and its pressure relative to the reference (KPa,
/// negative for a fall); a second without a valid reading is NaN and makes a gap.
struct DecayCurve {
    /// What the phase is called in the chart: "leak test", "main test" or "post-test".
    QString phaseName;
    /// The phase ran (it has a reference); a phase that did not run draws no curve.
    bool ran = false;
    std::vector<float> seconds;
    std::vector<float> relative;
    /// The phase's fall limit, KPa: LeakFallLimit or BathFallLimit.
    float fallLimit = 0;
    /// The reading that decided the phase, as a point of the curve; empty without one.
    std::optional<float> decidingSecond;
    std::optional<float> decidingRelative;
};

/// The decay curve of a record's phase, its deciding reading at its end.
DecayCurve decayCurve(const RecordDetails &details, FigurePhase phase);

/// Where a decay chart was drawn, in the surface's device units.
struct DecayChartGeometry {
    /// The plot area, framed: the top edge stands for `top` KPa, the bottom edge for
    /// `bottom`, the left edge for 0 s, the right edge for `seconds`.
    QRectF plot;
    double top = 0;
    double bottom = 0;
    double seconds = 0;
    /// The curve was drawn as each pixel column's lowest and highest reading.
    bool byColumns = false;
    /// Gaps marked, as spans of seconds.
    std::vector<std::pair<double, double>> gaps;
};

/// Draws the decay chart over the whole surface, in device units, on its background: the
/// frame, the reference (0) and the fall limit (-fallLimit) as lines across, the axis labels
/// with their units (KPa, s), and the curve. The vertical range always holds the reference,
/// the limit and every reading, with a margin of a tenth of the range above and below, so a
/// flat curve stands clear of the frame. A run of seconds without a valid reading (or with no
/// sample at all) is a gap in the curve, marked by a light band across the plot; a reading
/// alone between two gaps still shows. A phase that did not run shows "No <phase>" instead
/// of a curve and a limit. Once the curve has more valid readings than the plot has pixel
/// columns, each column is drawn as one stroke through its lowest and highest reading, so
/// the drawing costs what the width costs.
DecayChartGeometry drawDecayChart(DrawingSurface &surface, const DecayCurve &curve);
