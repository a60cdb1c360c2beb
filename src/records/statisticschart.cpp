#include "records/statisticschart.h"

#include "records/statistics.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kCurve(0, 0, 160);
const QColor kCentre(0, 128, 0);
const QColor kControl(200, 120, 0);
const QColor kPassLimit(200, 0, 0);
const QColor kBreak(220, 0, 0);
constexpr double kLabelWidth = 70;

/// A frame over the values and the lines that must show, with a margin.
ChartFrame frameOver(const QRectF &plot, std::span<const double> values,
                     std::initializer_list<std::optional<double>> lines)
{
    ChartFrame frame;
    frame.plot = plot;
    frame.count = int(values.size());
    double low = values.empty() ? 0 : *std::min_element(values.begin(), values.end());
    double high = values.empty() ? 1 : *std::max_element(values.begin(), values.end());
    for (const std::optional<double> &line : lines) {
        if (line && std::isfinite(*line)) {
            low = std::min(low, *line);
            high = std::max(high, *line);
        }
    }
    const double margin = high > low ? (high - low) * 0.08 : std::max(std::abs(high), 1.0) * 0.1;
    frame.low = low - margin;
    frame.high = high + margin;
    return frame;
}

void horizontal(QPainter &painter, const ChartFrame &frame, double value, const QColor &colour,
                const QString &label, Qt::PenStyle style = Qt::DashLine)
{
    const double y = frame.yOf(value);
    painter.setPen(QPen(colour, 0, style));
    painter.drawLine(QPointF(frame.plot.left(), y), QPointF(frame.plot.right(), y));
    painter.drawText(QRectF(frame.plot.right() + 4, y - 8, kLabelWidth, 16),
                     Qt::AlignLeft | Qt::AlignVCenter, label);
}

void axes(QPainter &painter, const ChartFrame &frame, const QString &title)
{
    painter.setPen(QPen(Qt::gray, 0));
    painter.drawRect(frame.plot);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(frame.plot.left(), frame.plot.top() - 18, frame.plot.width(), 16),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    const auto scale = [&](double value) {
        painter.drawText(QRectF(frame.plot.left() - 64, frame.yOf(value) - 8, 60, 16),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(value, 'g', 4));
    };
    scale(frame.low);
    scale(frame.high);
}

void curve(QPainter &painter, const ChartFrame &frame, std::span<const double> values,
           const QColor &colour)
{
    painter.setPen(QPen(colour, 0));
    drawPolylines(painter, reducedCurve(frame, values));
}

QString limitLabel(const char *name, double value)
{
    return QStringLiteral("%1 %2").arg(QLatin1String(name), QString::number(value, 'g', 4));
}

} // namespace

double ChartFrame::xOf(int point) const
{
    return plot.left() + (point + 0.5) * plot.width() / std::max(count, 1);
}

double ChartFrame::yOf(double value) const
{
    return plot.bottom() - (value - low) / (high - low) * plot.height();
}

int ChartFrame::pointAt(double x) const
{
    if (count <= 0 || x < plot.left() || x >= plot.right())
        return -1;
    return std::clamp(int((x - plot.left()) / plot.width() * count), 0, count - 1);
}

CurvePolylines reducedCurve(const ChartFrame &frame, std::span<const double> values)
{
    CurvePolylines curve;
    const int columns = std::max(1, int(std::ceil(frame.plot.width())));
    const size_t count = values.size();
    if (count <= size_t(2 * columns)) {
        curve.points.reserve(count);
        for (size_t i = 0; i < count; ++i)
            curve.points.emplace_back(frame.xOf(int(i)), frame.yOf(values[i]));
        if (count > 0)
            curve.ends.push_back(int(count));
        return curve;
    }
    // The values as the rows they are drawn at; whole pixel columns from the device's left.
    std::vector<float> rows(count);
    for (size_t i = 0; i < count; ++i)
        rows[i] = float(frame.yOf(values[i]));
    // Each column's stroke reaches where the curve crosses into its neighbours, so the strokes
    // join as the curve does.
    return reduceToColumns(rows, {}, {frame.xOf(0), frame.plot.width() / double(count)}, 1.0);
}

void drawPolylines(QPainter &painter, const CurvePolylines &curve)
{
    int first = 0;
    for (const int end : curve.ends) {
        if (end - first == 1)
            painter.drawPoint(curve.points[size_t(first)]);
        else
            painter.drawPolyline(curve.points.data() + first, end - first);
        first = end;
    }
}

namespace {

QRectF individualsPlot(const QRectF &area)
{
    return {area.left() + 70, area.top() + 22, std::max(10.0, area.width() - 70 - kLabelWidth - 8),
            std::max(10.0, area.height() * 0.6 - 40)};
}

/// The lowest and highest pass limit of the points.
std::pair<std::optional<double>, std::optional<double>> limitRange(const ProcessStatistics &s)
{
    std::optional<double> low, high;
    for (const std::optional<double> &limit : s.limits) {
        if (!limit)
            continue;
        low = std::min(low.value_or(*limit), *limit);
        high = std::max(high.value_or(*limit), *limit);
    }
    return {low, high};
}

} // namespace

ChartFrame individualsFrame(const QRectF &area, const ProcessStatistics &s)
{
    const auto [limitLow, limitHigh] = limitRange(s);
    return frameOver(individualsPlot(area), s.values, {s.ucl, s.lcl, s.mean, limitLow, limitHigh});
}

ChartFrame drawControlCharts(QPainter &painter, const QRectF &area, const ProcessStatistics &s,
                             const QString &unit, std::optional<int> selected)
{
    painter.save();
    painter.fillRect(area, Qt::white);
    const QRectF plot = individualsPlot(area);
    const QRectF rangesPlot(plot.left(), plot.bottom() + 40, plot.width(),
                            std::max(10.0, area.bottom() - plot.bottom() - 62));

    // Individuals.
    std::vector<double> limits;
    const auto [limitLow, limitHigh] = limitRange(s);
    const ChartFrame frame = frameOver(plot, s.values, {s.ucl, s.lcl, s.mean, limitLow, limitHigh});
    axes(painter, frame, QStringLiteral("Individuals, %1").arg(unit));
    horizontal(painter, frame, s.mean, kCentre, limitLabel("mean", s.mean), Qt::SolidLine);
    horizontal(painter, frame, s.ucl, kControl, limitLabel("UCL", s.ucl));
    horizontal(painter, frame, s.lcl, kControl, limitLabel("LCL", s.lcl));
    if (limitLow && limitHigh && *limitLow == *limitHigh) {
        horizontal(painter, frame, *limitHigh, kPassLimit, limitLabel("limit", *limitHigh),
                   Qt::SolidLine);
    } else if (limitHigh) {
        // Limits that changed over the records: a line through each point's limit.
        for (const std::optional<double> &limit : s.limits)
            limits.push_back(limit.value_or(*limitHigh));
        curve(painter, frame, limits, kPassLimit);
    }
    painter.setClipRect(frame.plot.adjusted(-1, -1, 1, 1));
    curve(painter, frame, s.values, kCurve);
    painter.setPen(QPen(kBreak, 0));
    painter.setBrush(kBreak);
    // One mark a pixel column and rule: more would draw over each other.
    std::vector<int> markedColumn(5, -1);
    for (const RuleBreak &b : s.breaks) {
        const QPointF at(frame.xOf(b.point), frame.yOf(s.values[size_t(b.point)]));
        const int column = int(at.x());
        int &marked = markedColumn[size_t(std::clamp(b.rule, 0, 4))];
        if (column == marked)
            continue;
        marked = column;
        painter.drawEllipse(at, 3, 3);
        painter.drawText(QRectF(at.x() - 20, at.y() - 20, 40, 14), Qt::AlignCenter,
                         QString::number(b.rule));
    }
    if (selected && *selected >= 0 && *selected < frame.count) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 2));
        painter.drawEllipse(QPointF(frame.xOf(*selected), frame.yOf(s.values[size_t(*selected)])),
                            6, 6);
    }
    painter.setClipping(false);

    // Moving ranges, under their points.
    ChartFrame ranges = frameOver(rangesPlot, s.movingRanges, {0.0, s.mrUcl});
    ranges.low = 0; // a range is never below 0
    ranges.count = frame.count;
    axes(painter, ranges, QStringLiteral("Moving range, %1").arg(unit));
    horizontal(painter, ranges, s.meanMovingRange, kCentre, limitLabel("mean", s.meanMovingRange),
               Qt::SolidLine);
    horizontal(painter, ranges, s.mrUcl, kControl, limitLabel("UCL", s.mrUcl));
    painter.setClipRect(ranges.plot.adjusted(-1, -1, 1, 1));
    // The range i lies between points i and i + 1: on a frame one point shorter, shifted.
    ChartFrame between = ranges;
    between.count = std::max(1, frame.count - 1);
    between.plot.setLeft(ranges.plot.left() + ranges.plot.width() / std::max(frame.count, 1) / 2);
    between.plot.setRight(ranges.plot.right() - ranges.plot.width() / std::max(frame.count, 1) / 2);
    curve(painter, between, s.movingRanges, kCurve);
    painter.restore();
    return frame;
}
