#include "charts/chartdrawing.h"

#include "app/sharedstate.h"
#include "app/textrules.h"
#include "charts/columnreduction.h"

#include <QPointF>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr Colour kCyan = RGB(0, 255, 255);
constexpr Colour kGreen = RGB(0, 255, 0);
constexpr Colour kYellow = RGB(255, 255, 0);
constexpr Colour kBlack = RGB(0, 0, 0);

/// The last sample the trend draws: the span table ends at 10000 seconds.
constexpr int kTrendLastSample = 10000;

struct SpanRow {
    int upTo; // the row holds n up to and including this bound
    int32_t step;
    const char *endLabel;
};

constexpr std::array<SpanRow, 7> kSpanTable{{
    {10, 1000, "00:00:10"},
    {50, 200, "00:00:50"},
    {100, 100, "00:01:40"},
    {500, 20, "00:08:20"},
    {1000, 10, "00:16:40"},
    {5000, 2, "01:23:20"},
    {10000, 1, "02:46:40"},
}};

void printAt(DrawingSurface &surface, float x, float y, const QString &text)
{
    surface.CurrentX = x;
    surface.CurrentY = y;
    surface.print(text);
}

void setColour(DrawingSurface &surface, const std::optional<Colour> &colour)
{
    if (colour)
        surface.ForeColor = *colour;
}

void drawGrid(DrawingSurface &surface)
{
    for (int i = 0; i <= 10; ++i) {
        const float at = float(1000 + 1000 * i);
        surface.line(1000, at, 11000, at);
        surface.line(at, 1000, at, 11000);
    }
}

/// Draws the polylines with one device call; a polyline of one point, a reading alone between
/// two gaps, as a short dash across it, one curve width each way.
void drawPolylines(DrawingSurface &surface, const CurvePolylines &curve, Colour colour)
{
    const double reach = std::max<int>(surface.DrawWidth, 1) * surface.pixelWidth();
    std::vector<QPointF> drawn;
    std::vector<int> ends;
    drawn.reserve(curve.points.size() + curve.ends.size());
    ends.reserve(curve.ends.size());
    int begin = 0;
    for (const int end : curve.ends) {
        if (end - begin == 1) {
            const QPointF &alone = curve.points[size_t(begin)];
            drawn.emplace_back(alone.x() - reach, alone.y());
            drawn.emplace_back(alone.x() + reach, alone.y());
        } else {
            drawn.insert(drawn.end(), curve.points.begin() + begin, curve.points.begin() + end);
        }
        ends.push_back(int(drawn.size()));
        begin = end;
    }
    surface.polylines(drawn, ends, colour);
}

} // namespace

TimeAxis trendTimeAxis(int n)
{
    // Strict comparisons: n equal to a bound stays in that bound's row.
    const auto row = std::find_if(kSpanTable.begin(), kSpanTable.end(),
                                  [n](const SpanRow &r) { return !(n > r.upTo); });
    const SpanRow &chosen = row != kSpanTable.end() ? *row : kSpanTable.back();
    TimeAxis axis;
    axis.endLabel = QString::fromLatin1(chosen.endLabel);
    axis.step = float(chosen.step);
    axis.segments = std::clamp(n, 0, kTrendLastSample);
    return axis;
}

float reportScale(int n)
{
    return 10000.0f / float(n);
}

TimeAxis reportTimeAxis(int n)
{
    TimeAxis axis;
    axis.endLabel = clockText(n);
    if (n > 0) {
        axis.step = reportScale(n);
        axis.segments = n;
    }
    return axis;
}

void drawChart(DrawingSurface &surface, const ChartSamples &samples, const ChartStyle &style,
               const TimeAxis &axis, CurveDetail detail)
{
    if (style.drawGrid)
        drawGrid(surface);

    for (int i = 0; i <= 10; ++i) {
        setColour(surface, style.pressureTextColour);
        surface.CurrentX = 500;
        surface.CurrentY = style.labelTop - float(1000 * i);
        surface.printInteger(i * 100);
    }
    setColour(surface, style.pressureTextColour);
    printAt(surface, 100, 100, QStringLiteral("Pressure"));
    setColour(surface, style.pressureTextColour);
    printAt(surface, 200, 400, QStringLiteral("KPa"));
    setColour(surface, style.timeTextColour);
    printAt(surface, 5900, 11250, QStringLiteral("Time"));
    setColour(surface, style.timeTextColour);
    printAt(surface, 700, 11250, QStringLiteral("00:00:00"));
    setColour(surface, style.timeTextColour);
    printAt(surface, 10700, 11250, axis.endLabel);

    // Never past the end of the store, whatever the count says.
    const int segments = std::min<qsizetype>(axis.segments, qsizetype(samples.store.size()) - 1);
    if (segments <= 0)
        return;
    if (style.curveWidth > 0)
        surface.DrawWidth = style.curveWidth;
    const Colour colour = style.curveColour.value_or(surface.ForeColor);
    const std::span<const float> drawn = samples.store.first(size_t(segments) + 1);
    const std::span<const uint8_t> valid =
        style.gapsForInvalid ? samples.valid.first(std::min(samples.valid.size(), drawn.size()))
                             : std::span<const uint8_t>();
    const double columnWidth = surface.columnWidth();
    const double step = axis.step;
    // The device's pixel columns that the curve crosses; once the samples outnumber them the
    // curve is drawn column by column, so that it costs what the width costs.
    const double columns =
        std::floor((1000.0 + step * segments) / columnWidth) - std::floor(1000.0 / columnWidth) + 1;
    if (detail == CurveDetail::ByColumns && double(drawn.size()) > columns) {
        CurvePolylines curve = reduceToColumns(drawn, valid, {1000.0, step}, columnWidth);
        for (QPointF &point : curve.points)
            point.setY(11000.0 - 10.0 * point.y());
        drawPolylines(surface, curve, colour);
        return;
    }
    std::vector<QPointF> points(drawn.size());
    QPointF *point = points.data();
    for (int k = 0; k <= segments; ++k, ++point) {
        // x as the chart's 32-bit float, y in float arithmetic like the sample itself.
        point->setX(double(float(1000.0 + step * k)));
        point->setY(double(11000.0f - 10.0f * drawn[size_t(k)]));
    }
    if (valid.empty())
        surface.polyline(points, colour);
    else
        drawPolylines(surface, validRuns(points, valid), colour);
}

void drawTrendTick(DrawingSurface &surface, const ChartSamples &samples, CurveDetail detail)
{
    surface.cls();
    ChartStyle style;
    style.drawGrid = false;
    style.labelTop = 10750;
    style.pressureTextColour = kCyan;
    style.timeTextColour = kGreen;
    style.curveColour = kYellow;
    drawChart(surface, samples, style, trendTimeAxis(samples.n), detail);
}

namespace {

void drawReport(DrawingSurface &surface, const ChartSamples &samples, float labelTop,
                CurveDetail detail)
{
    ChartStyle style;
    style.drawGrid = true;
    style.labelTop = labelTop;
    style.curveWidth = 2;
    style.gapsForInvalid = true;
    drawChart(surface, samples, style, reportTimeAxis(samples.n), detail);
}

} // namespace

void drawReportChart(DrawingSurface &surface, const ChartSamples &samples, CurveDetail detail)
{
    surface.ScaleHeight = kChartScale;
    surface.ScaleWidth = kChartScale;
    surface.ForeColor = kBlack;
    drawReport(surface, samples, 10750, detail);
}

void drawReportPage(DrawingSurface &surface, const ChartSamples &samples,
                    const ReportHeader &header)
{
    surface.ScaleHeight = kChartScale;
    surface.ScaleWidth = kChartScale;
    surface.ForeColor = kBlack;
    printAt(surface, 5000, 400, header.testName);
    printAt(surface, 8000, 400, QStringLiteral("Operator: ") + header.operatorName);
    printAt(surface, 5000, 800, header.date);
    printAt(surface, 8000, 800, header.time);
    if (!header.serial.isEmpty())
        printAt(surface, 1500, 400, QStringLiteral("Serial: ") + header.serial);
    if (!header.model.isEmpty())
        printAt(surface, 1500, 800, QStringLiteral("Model: ") + header.model);
    drawReport(surface, samples, 10950, CurveDetail::ByColumns);
}

ChartSamples chartSamplesOf(const StationRecord &record)
{
    return {record.Samples, record.SampleCount, record.sampleValid};
}
