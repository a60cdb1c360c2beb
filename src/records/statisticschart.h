#pragma once

#include "charts/columnreduction.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <span>
#include <vector>

class QPainter;
struct ProcessStatistics;

/// Where a control chart puts its points: point i of `count` at the middle of its share of the
/// plot's width, values from `low` (bottom) to `high` (top).
struct ChartFrame {
    QRectF plot;
    int count = 0;
    double low = 0;
    double high = 1;

    double xOf(int point) const;
    double yOf(double value) const;
    /// The point whose share of the width holds x; -1 outside the plot.
    int pointAt(double x) const;
};

/// A curve through evenly spaced points, in device pixels, reduced to what the plot's pixel
/// columns show: while the points are no more than twice the columns, one polyline through
/// every point; beyond that, one stroke a column over the curve's range there (the charts'
/// reduceToColumns). The cost of drawing it follows the width, not the number of points, and
/// its picture differs from the full curve by no visible line.
CurvePolylines reducedCurve(const ChartFrame &frame, std::span<const double> values);

/// Draws the polylines with the painter's pen.
void drawPolylines(QPainter &painter, const CurvePolylines &curve);

/// Where drawControlCharts() puts the points of the individuals chart in `area`.
ChartFrame individualsFrame(const QRectF &area, const ProcessStatistics &statistics);

/// The two charts of the statistics view, drawn into `area`:
/// - individuals: the points (joined, reduced by columns), the centre line, the control limits
///   (mean ± 2.66 × mean moving range) and the pass limit of each point; points that
///   break a rule marked in red with the rule's number;
/// - moving ranges: the ranges, their mean and their upper limit (3.267 × mean moving range).
/// `selected` rings one point. Returns the frame of the individuals chart, to find the point
/// under a click.
ChartFrame drawControlCharts(QPainter &painter, const QRectF &area,
                             const ProcessStatistics &statistics, const QString &unit,
                             std::optional<int> selected = std::nullopt);
