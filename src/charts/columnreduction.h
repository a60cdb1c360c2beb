#pragma once

#include <QPointF>

#include <cstdint>
#include <span>
#include <vector>

/// A curve as separate polylines, ready for DrawingSurface::polylines: their points one after
/// another, and one past the last point of each. A polyline of one point is a reading alone
/// between two gaps, which the chart marks as it sees fit.
struct CurvePolylines {
    std::vector<QPointF> points;
    std::vector<int> ends;
};

/// Whether the point k is valid: `valid` holds a flag a point (non-zero for valid); empty, or
/// shorter than the points, counts every point past its end as valid.
inline bool isValidPoint(std::span<const uint8_t> valid, size_t k)
{
    return k >= valid.size() || valid[k] != 0;
}

/// The runs of valid points of a curve, each joined point to point: no segment touches a
/// point that is not valid.
CurvePolylines validRuns(std::span<const QPointF> points, std::span<const uint8_t> valid);

/// Where the values of a curve lie across: value k at x = first + k * step, step above 0.
struct EvenSpacing {
    double first = 0;
    double step = 1;
};

/// A curve of values reduced to what a raster of pixel columns shows, so that drawing it
/// costs what the width costs, however many values there are. Column c holds the x from
/// c * columnWidth up to (c + 1) * columnWidth. Within each run of valid values (as in
/// validRuns), every column the run crosses becomes one vertical stroke at the column's
/// middle, from the lowest to the highest value of the run there: the values in the column and
/// where the segments to the neighbouring columns cross its edges, so that steps stay joined.
/// A column where the run is level gets a level stroke across it; a segment that skips whole
/// columns is kept as it is; a lone value stays a polyline of one point. The points are
/// (x, value); a NaN value counts as below every number, where a chart whose values rise up
/// the page draws it.
CurvePolylines reduceToColumns(std::span<const float> values, std::span<const uint8_t> valid,
                               EvenSpacing x, double columnWidth);
