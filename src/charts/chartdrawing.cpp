#include "charts/chartdrawing.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

#include <QPointF>

#include <algorithm>
#include <array>
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

void drawChart(DrawingSurface &surface, std::span<const float> store, const ChartStyle &style,
               const TimeAxis &axis)
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
    const int segments = std::min<qsizetype>(axis.segments, qsizetype(store.size()) - 1);
    if (segments <= 0)
        return;
    const float *samples = store.data();
    std::vector<QPointF> points(size_t(segments) + 1);
    QPointF *point = points.data();
    const double step = axis.step;
    for (int k = 0; k <= segments; ++k, ++point) {
        // x as the chart's 32-bit float, y in float arithmetic like the sample itself.
        point->setX(double(float(1000.0 + step * k)));
        point->setY(double(11000.0f - 10.0f * samples[k]));
    }
    if (style.curveWidth > 0)
        surface.DrawWidth = style.curveWidth;
    if (style.curveColour)
        surface.polyline(points, *style.curveColour);
    else
        surface.polyline(points);
}

void drawTrendTick(DrawingSurface &surface, const ChartSamples &samples)
{
    surface.cls();
    ChartStyle style;
    style.drawGrid = false;
    style.labelTop = 10750;
    style.pressureTextColour = kCyan;
    style.timeTextColour = kGreen;
    style.curveColour = kYellow;
    drawChart(surface, samples.store, style, trendTimeAxis(samples.n));
}

namespace {

void drawReport(DrawingSurface &surface, const ChartSamples &samples, float labelTop)
{
    ChartStyle style;
    style.drawGrid = true;
    style.labelTop = labelTop;
    style.curveWidth = 2;
    drawChart(surface, samples.store, style, reportTimeAxis(samples.n));
}

} // namespace

void drawReportChart(DrawingSurface &surface, const ChartSamples &samples)
{
    surface.ScaleHeight = kChartScale;
    surface.ScaleWidth = kChartScale;
    surface.ForeColor = kBlack;
    drawReport(surface, samples, 10750);
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
    drawReport(surface, samples, 10950);
}

ChartSamples chartSamplesOf(const StationRecord &record)
{
    return {record.Samples, record.SampleCount};
}
