// The statistics view over many records: how long it takes to open, and what the reduction of
// its charts to pixel columns saves. Figures only.
#include "statisticsbench.h"

#include "recordfill.h"

#include "app/clock.h"
#include "records/recordstore.h"
#include "records/statistics.h"
#include "records/statisticschart.h"
#include "records/statisticsview.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 5;

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1.0e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

/// The view opened over the store's records as the records window opens it: the records
/// read, the statistics taken and the view drawn once at the window's size.
void openView(const RecordStore &store, int count)
{
    std::vector<double> total, read, taken, drawn;
    StatisticsView view;
    view.resize(1300, 420);
    QImage image(view.size(), QImage::Format_RGB32);
    for (int run = 0; run <= kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        double readMs = 0;
        view.setSource([&](StatisticsFigure figure) {
            Fallible<std::vector<RecordFigures>> records = store.figureRecords({}, figure);
            readMs = ms(timer);
            return records;
        });
        const double takenMs = ms(timer);
        view.render(&image);
        const double allMs = ms(timer);
        if (run == 0)
            continue; // warm-up
        read.push_back(readMs);
        taken.push_back(takenMs - readMs);
        drawn.push_back(allMs - takenMs);
        total.push_back(allMs);
    }
    std::printf("statistics view over %6d records: opened in %7.1f ms (goal under 200 ms; "
                "read %.1f, statistics %.1f, drawn %.1f; median of %d)\n",
                count, median(total), median(read), median(taken), median(drawn), kRuns);
}

/// The individuals curve drawn through every point, and reduced by columns, on one image.
void chartDrawing(const RecordStore &store)
{
    Fallible<std::vector<RecordFigures>> records =
        store.figureRecords({}, StatisticsFigure::MainFall);
    if (!records.ok())
        return;
    const Fallible<ProcessStatistics> s =
        processStatistics(*records, StatisticsFigure::MainFall, RateUnit::KpaPerMinute);
    if (!s.ok())
        return;
    QElapsedTimer timer;
    timer.start();
    for (int run = 0; run < kRuns; ++run)
        (void)processStatistics(*records, StatisticsFigure::MainFall, RateUnit::KpaPerMinute);
    std::printf("statistics of %zu records alone: %.1f ms, %zu rule breaks\n", records->size(),
                ms(timer) / kRuns, s->breaks.size());
    QImage image(900, 260, QImage::Format_RGB32);
    const ChartFrame frame = individualsFrame(QRectF(image.rect()), *s);
    const auto timed = [&](const std::function<CurvePolylines()> &points) {
        std::vector<double> times;
        for (int run = 0; run <= kRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            const CurvePolylines curve = points();
            QPainter painter(&image);
            painter.setPen(QPen(Qt::black, 0));
            drawPolylines(painter, curve);
            if (run > 0)
                times.push_back(ms(timer));
        }
        return median(times);
    };
    const double every = timed([&] {
        CurvePolylines all;
        all.points.reserve(s->values.size());
        for (size_t i = 0; i < s->values.size(); ++i)
            all.points.emplace_back(frame.xOf(int(i)), frame.yOf(s->values[i]));
        all.ends.push_back(int(all.points.size()));
        return all;
    });
    const double reduced = timed([&] { return reducedCurve(frame, s->values); });
    std::printf("individuals curve of %zu points, %d px wide: every point %.2f ms, by columns "
                "%.2f ms\n",
                s->values.size(), int(frame.plot.width()), every, reduced);
}

} // namespace

void statisticsBenchmarks()
{
    std::printf("\nKestrava statistics benchmark\n");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("statistics.sqlite"));
    int filled = 0;
    for (const int count : {10000, 100000}) {
        if (MaybeFailure failure = fillRecordStore(path, count - filled, 0)) {
            std::printf("  fill failed: %s\n", qPrintable(failure->reason));
            return;
        }
        filled = count;
        const SystemClock clock;
        RecordStore store(path, clock, RecordStore::Mode::ReadOnly);
        if (MaybeFailure failure = store.open()) {
            std::printf("  cannot open the store: %s\n", qPrintable(failure->reason));
            return;
        }
        openView(store, count);
        if (count == 100000)
            chartDrawing(store);
    }
}
