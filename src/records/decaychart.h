#pragma once

#include "records/leakfigures.h"

#include <QRectF>

#include <span>
#include <vector>

class DrawingSurface;
struct TestRecord;
struct TraceSample;

/// What a decay chart draws: the samples of one phase (as leakFigures() takes them), each as
/// its seconds from the phase's first sample and its pressure relative to the phase's
/// reference (KPa, negative for a fall); a sample without a valid pressure is NaN and breaks
/// the curve.
struct DecayCurve {
    std::vector<float> seconds;
    std::vector<float> relative;
    /// The phase's fall limit, KPa: LeakFallLimit or BathFallLimit.
    float fallLimit = 0;
};

/// The decay curve of a record's phase; empty when the phase has no samples or no reference.
DecayCurve decayCurve(const TestRecord &record, std::span<const TraceSample> trace,
                      FigurePhase phase);

/// Where a decay chart was drawn, in the surface's device units.
struct DecayChartGeometry {
    /// The plot area, framed: the top edge is `top`, the bottom edge `bottom`, the left edge
    /// the phase's first sample, the right edge its last (`seconds`).
    QRectF plot;
    double top = 0;
    double bottom = 0;
    double seconds = 0;
    /// The curve was drawn as each pixel column's minimum and maximum.
    bool byColumns = false;
};

/// Draws the decay chart over the whole surface, in device units, on its background: the
/// frame, the reference (0) and the fall limit (-fallLimit) as lines across, the labels, and
/// the curve. The vertical range is the curve's own, from its lowest value to its highest or
/// 0, whichever is higher (at least 0.1 KPa), so a 7 KPa fall fills the chart; a limit
/// outside the range is named in a label below the plot instead of drawn. Once the curve has
/// more valid samples than the plot has pixel columns, each column is drawn as one stroke
/// from its lowest to its highest sample, so the drawing costs what the width costs.
DecayChartGeometry drawDecayChart(DrawingSurface &surface, const DecayCurve &curve);
