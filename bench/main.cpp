// Prints how long the charts take to redraw, beside a floor: the same number of bare QPainter
// lines on the same image. Figures only; nothing here passes or fails.
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

/// A slow pressure decay with a little noise, as a running test records it.
void recordTest(SharedState &state, int station, int n)
{
    QRandomGenerator random(42);
    for (int k = 0; k <= n; ++k)
        state.stations[size_t(station)].Samples[size_t(k)] =
            float(700.0 - 0.01 * k + 20.0 * std::sin(k / 900.0) + random.bounded(1.0));
    state.stations[size_t(station)].SampleCount = int16_t(n);
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

void report(const char *what, double chart, double floor)
{
    std::printf("%-34s %8.3f ms   floor %8.3f ms   ratio %5.2f\n", what, chart, floor,
                chart / floor);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv); // the records window is one of the benchmarks
    std::printf("Kestrava chart benchmark: median of %d redraws\n", kRuns);

    auto state = std::make_unique<SharedState>();
    recordTest(*state, 0, 10000);
    const QSize trendSize = twipsRect(240, 240, 15975, 6735).size();
    PictureArea trend(trendSize, RGB(0, 0, 0));
    trend.ScaleHeight = kChartScale;
    trend.ScaleWidth = kChartScale;
    // A redraw as the window shows it: the tick, then the area painted on the window's image.
    QImage window(trendSize, QImage::Format_RGB32);
    const double trendMs = medianMs([&] {
        drawTrendTick(trend, chartSamplesOf(state->stations[0]));
        QPainter painter(&window);
        trend.paint(painter);
    });
    report("trend tick, n = 10000 (1 px)", trendMs,
           bareLinesMs(trendSize, *state, 0, 10000, 1.0, 1));

    recordTest(*state, 1, 32767);
    const QSize reportSize = twipsRect(360, 2640, 9615, 6135).size();
    PictureArea chart(reportSize, RGB(255, 255, 255));
    QImage reportWindow(reportSize, QImage::Format_RGB32);
    const double reportMs = medianMs([&] {
        chart.cls();
        drawReportChart(chart, chartSamplesOf(state->stations[1]));
        QPainter painter(&reportWindow);
        chart.paint(painter);
    });
    report("report chart, n = 32767 (2 px)", reportMs,
           bareLinesMs(reportSize, *state, 1, 32767, double(reportScale(32767)), 2));

    recordBenchmarks();
    statisticsBenchmarks();
    return 0;
}
