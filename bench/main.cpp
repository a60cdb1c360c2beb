// Prints how long the charts take to redraw, each drawn both ways in one run: every segment,
// as the charts drew before they drew by pixel columns, and by columns as the program draws
// them now; beside them a floor (the same number of bare QPainter lines on the same image) and
// how many pixels of the two pictures differ. Figures only; nothing here passes or fails.
#include "recordbench.h"
#include "statisticsbench.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "ui/twips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 25;

double medianMs(const std::function<void()> &work)
{
    work(); // warm up caches and glyphs
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1.0e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

/// A slow pressure decay with a little noise, as a running test records it; with `lostEvery`,
/// every so many seconds a reading that was not valid (stored as 0).
void recordTest(SharedState &state, int station, int n, int lostEvery = 0)
{
    QRandomGenerator random(42);
    StationRecord &record = state.stations[size_t(station)];
    for (int k = 0; k <= n; ++k) {
        const bool lost = lostEvery > 0 && k % lostEvery == lostEvery / 2;
        record.Samples[size_t(k)] =
            lost ? 0.0f
                 : float(700.0 - 0.01 * k + 20.0 * std::sin(k / 900.0) + random.bounded(1.0));
        record.sampleValid[size_t(k)] = lost ? 0 : 1;
    }
    record.SampleCount = int16_t(n);
}

/// The floor: `count` segments through the chart's device points, one drawLine call each.
double bareLinesMs(QSize size, const SharedState &state, int station, int count, double step,
                   int width)
{
    QImage image(size, QImage::Format_RGB32);
    std::vector<QLineF> lines;
    const auto &samples = state.stations[size_t(station)].Samples;
    const double sx = size.width() / 12000.0;
    const double sy = size.height() / 12000.0;
    for (int k = 0; k < count; ++k)
        lines.emplace_back((1000 + step * k) * sx, (11000 - 10.0 * samples[size_t(k)]) * sy,
                           (1000 + step * (k + 1)) * sx,
                           (11000 - 10.0 * samples[size_t(k + 1)]) * sy);
    return medianMs([&] {
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, width == 1 ? 0 : width));
        for (const QLineF &line : lines)
            painter.drawLine(line);
    });
}

/// A chart's redraw on its picture area, drawn one way or the other.
using Redraw = std::function<void(PictureArea &, CurveDetail)>;

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

/// Times the redraw as its window shows it (the drawing, then the area painted on the window's
/// image) both ways, in turns so that both see the same load, and counts the pixels in which
/// the two pictures differ.
void compare(const char *what, PictureArea &area, const Redraw &redraw, double floor)
{
    QImage window(area.size(), QImage::Format_RGB32);
    const auto timed = [&](CurveDetail detail) {
        QElapsedTimer timer;
        timer.start();
        redraw(area, detail);
        QPainter painter(&window);
        area.paint(painter);
        painter.end();
        return double(timer.nsecsElapsed()) / 1.0e6;
    };
    std::vector<double> every;
    std::vector<double> columns;
    for (int i = 0; i <= kRuns; ++i) { // the first of each warms up caches and glyphs
        every.push_back(timed(CurveDetail::EverySegment));
        columns.push_back(timed(CurveDetail::ByColumns));
    }
    every.erase(every.begin());
    columns.erase(columns.begin());
    redraw(area, CurveDetail::EverySegment);
    const QImage everyPicture = area.picture();
    redraw(area, CurveDetail::ByColumns);
    const QImage columnsPicture = area.picture();
    qint64 differing = 0;
    for (int y = 0; y < everyPicture.height(); ++y)
        for (int x = 0; x < everyPicture.width(); ++x)
            differing += everyPicture.pixel(x, y) != columnsPicture.pixel(x, y);
    const qint64 pixels = qint64(everyPicture.width()) * everyPicture.height();
    std::printf("%-40s %8.3f ms %8.3f ms %6.2f %8.3f ms %6lld of %lld (%.4f %%)\n", what,
                median(every), median(columns), median(columns) / median(every), floor,
                static_cast<long long>(differing), static_cast<long long>(pixels),
                100.0 * double(differing) / double(pixels));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv); // the records window is one of the benchmarks
    std::printf("Kestrava chart benchmark: median of %d redraws, every segment (as before) and "
                "by pixel columns\n",
                kRuns);
    std::printf("%-40s %11s %11s %6s %11s %s\n", "chart", "every seg.", "by columns", "ratio",
                "floor", "differing pixels");

    auto state = std::make_unique<SharedState>();
    recordTest(*state, 0, 10000);
    const QSize trendSize = twipsRect(240, 240, 15975, 6735).size();
    PictureArea trend(trendSize, RGB(0, 0, 0));
    trend.ScaleHeight = kChartScale;
    trend.ScaleWidth = kChartScale;
    compare(
        "trend tick, n = 10000 (1 px)", trend,
        [&](PictureArea &area, CurveDetail detail) {
            drawTrendTick(area, chartSamplesOf(state->stations[0]), detail);
        },
        bareLinesMs(trendSize, *state, 0, 10000, 1.0, 1));
    QImage window(trendSize, QImage::Format_RGB32);
    std::printf("%-40s %8.3f ms (clearing, texts, painting on the window)\n",
                "trend tick without samples", medianMs([&] {
                    drawTrendTick(trend, ChartSamples{});
                    QPainter painter(&window);
                    trend.paint(painter);
                }));

    const QSize reportSize = twipsRect(360, 2640, 9615, 6135).size();
    PictureArea chart(reportSize, RGB(255, 255, 255));
    const Redraw report = [&](PictureArea &area, CurveDetail detail) {
        area.cls();
        drawReportChart(area, chartSamplesOf(state->stations[1]), detail);
    };
    recordTest(*state, 1, 32767);
    const double reportFloor =
        bareLinesMs(reportSize, *state, 1, 32767, double(reportScale(32767)), 2);
    compare("report chart, n = 32767 (2 px)", chart, report, reportFloor);
    recordTest(*state, 1, 32767, 100);
    compare("report chart, n = 32767, 1 s in 100 lost", chart, report, reportFloor);

    recordBenchmarks();
    statisticsBenchmarks();
    return 0;
}
