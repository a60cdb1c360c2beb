// Record store figures: the cost of a second's flush, of a CSV export, of the decay chart,
// the database's size per test, and the list of many records. Figures only.
#include "recordbench.h"

#include "recordfill.h"

#include "app/clock.h"
#include "app/sharedstate.h"
#include "charts/picturearea.h"
#include "records/decaychart.h"
#include "records/recordcsv.h"
#include "records/recordlistmodel.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"
#include "ui/main/recordswindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

const QDateTime kStart = QDateTime::fromSecsSinceEpoch(1783843200);

struct Spread {
    double median = 0, p90 = 0, max = 0;
};

Spread spreadOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back()};
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1.0e6;
}

double medianMs(int runs, const std::function<void()> &work)
{
    work();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(msSince(timer));
    }
    return spreadOf(times).median;
}

bool exec(const RecordStore &store, const QString &sql)
{
    QSqlQuery query(QSqlDatabase::database(store.connectionName()));
    return query.exec(sql);
}

qint64 checkpointedSize(const RecordStore &store)
{
    exec(store, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return QFileInfo(store.path()).size();
}

/// Flushes of one sample on each of two running stations.
Spread flushes(ManualClock &clock, TestRecorder &recorder, StationRecord &station, int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        clock.advance(1);
        for (int s = 0; s < 2; ++s)
            recorder.sampled(s, station, {700.f - 0.01f * float(i), true}, {100.5f, true},
                             clock.now());
        QElapsedTimer timer;
        timer.start();
        if (MaybeFailure failure = recorder.flush().failure) {
            std::printf("  flush failed: %s\n", qPrintable(failure->reason));
            return {};
        }
        times.push_back(msSince(timer));
    }
    return spreadOf(times);
}

/// What this disk takes to make a 4 KB write durable: the floor under a FULL commit.
Spread syncFloor(const QString &folder)
{
    QFile file(folder + QStringLiteral("/sync-floor"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const QByteArray page(4096, 'x');
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer timer;
        timer.start();
        file.write(page);
        file.flush();
        if (::fdatasync(file.handle()) != 0)
            return {};
        times.push_back(msSince(timer));
    }
    return spreadOf(times);
}

void appendBenchmark(const QString &folder)
{
    ManualClock clock(kStart);
    RecordStore store(folder + QStringLiteral("/append.sqlite"), clock);
    TestRecorder recorder(store);
    StationRecord station;
    station.TestRunning = true;
    station.LeakTestActive = true;
    station.PhaseStartTime = kStart;
    station.RefPressure = 700;
    recorder.leakStarted(0, station, {}, {});
    recorder.leakStarted(1, station, {}, {});
    if (MaybeFailure failure = recorder.flush().failure) {
        std::printf("  cannot open the store: %s\n", qPrintable(failure->reason));
        return;
    }
    const int count = 300;
    const Spread full = flushes(clock, recorder, station, count);
    // The same on this connection with the log synced only at checkpoints, for comparison.
    exec(store, QStringLiteral("PRAGMA synchronous = NORMAL"));
    const Spread normal = flushes(clock, recorder, station, count);
    std::printf("flush of one second (2 stations), %d flushes:\n", count);
    std::printf("  synchronous=FULL   (used)  median %6.3f ms   p90 %6.3f ms   max %6.3f ms\n",
                full.median, full.p90, full.max);
    std::printf("  synchronous=NORMAL         median %6.3f ms   p90 %6.3f ms   max %6.3f ms\n",
                normal.median, normal.p90, normal.max);
    const Spread floor = syncFloor(folder);
    std::printf("  floor: 4 KB write + fdatasync median %6.3f ms   p90 %6.3f ms   max %6.3f ms\n",
                floor.median, floor.p90, floor.max);
}

void traceBenchmarks(const QString &folder)
{
    ManualClock clock(kStart);
    RecordStore store(folder + QStringLiteral("/trace.sqlite"), clock);
    if (store.open())
        return;
    const qint64 empty = checkpointedSize(store);

    const int n = 36000;
    std::vector<RecordChange> changes(1);
    changes[0].record.start = kStart;
    changes[0].record.outcome = Outcome::Completed;
    changes[0].record.end = kStart.addSecs(n);
    for (int k = 0; k < n; ++k) {
        TraceSample sample;
        sample.elapsed = k;
        sample.time = kStart.addSecs(k + 1);
        sample.pressure = 700.f - 0.0001f * float(k) + 0.05f * float((k * 7919) % 10);
        sample.pressureValid = true;
        sample.bathTemp = 100.f + 0.01f * float(k % 100);
        sample.bathTempValid = true;
        sample.phase = k < 600 ? TracePhase::Leak : TracePhase::Main;
        changes[0].samples.push_back(sample);
    }
    QElapsedTimer timer;
    timer.start();
    const Fallible<std::vector<int64_t>> ids = store.write(changes);
    if (!ids.ok()) {
        std::printf("  write failed: %s\n", qPrintable(ids.failure()->reason));
        return;
    }
    const double writeMs = msSince(timer);
    const qint64 bytes = checkpointedSize(store) - empty;
    std::printf("ten-hour test (36000 samples): %.0f KB in the database, %.1f bytes a sample; "
                "written in one transaction in %.0f ms\n",
                double(bytes) / 1024, double(bytes) / n, writeMs);

    const int64_t id = ids->front();
    RecordDetails details;
    details.record = changes[0].record;
    details.record.id = id;
    const double readMs = medianMs(5, [&] { details.trace = *store.trace(id); });
    QByteArray text;
    const double formatMs = medianMs(5, [&] {
        text = csvHeaderLine();
        appendCsvRows(text, details);
    });
    const QString csv = folder + QStringLiteral("/trace.csv");
    const double exportMs = medianMs(5, [&] { (void)exportCsv(store, {&id, 1}, csv); });
    std::printf("CSV export of 36000 samples: %.1f ms (median of 5; trace read %.1f ms, "
                "formatting %.1f ms), %.0f KB\n",
                exportMs, readMs, formatMs, double(QFileInfo(csv).size()) / 1024);
}

DecayCurve decayOf(int n)
{
    DecayCurve curve;
    curve.ran = true;
    curve.fallLimit = 5;
    for (int k = 0; k < n; ++k) {
        curve.seconds.push_back(float(k));
        curve.relative.push_back(-7.f * float(k) / float(n) + 0.2f * std::sin(float(k) / 50));
    }
    return curve;
}

void chartBenchmark()
{
    std::printf("decay chart redraw (median of 25, drawn and painted on the window's image):\n");
    for (const QSize size : {QSize(1200, 600), QSize(600, 300)}) {
        for (const int n : {1000, 100000, 1000000}) {
            if (size.width() == 600 && n != 100000)
                continue;
            const DecayCurve curve = decayOf(n);
            PictureArea area(size, RGB(255, 255, 255));
            QImage window(size, QImage::Format_RGB32);
            const double ms = medianMs(25, [&] {
                drawDecayChart(area, curve);
                QPainter painter(&window);
                area.paint(painter);
            });
            std::printf("  %4d x %3d, n = %7d   %7.3f ms\n", size.width(), size.height(), n, ms);
        }
    }
}

void listBenchmark(const QString &folder)
{
    const QString path = folder + QStringLiteral("/many.sqlite");
    QElapsedTimer timer;
    timer.start();
    if (MaybeFailure failure = fillRecordStore(path, 10000, 600)) {
        std::printf("  fill failed: %s\n", qPrintable(failure->reason));
        return;
    }
    const double fillMs = msSince(timer);
    ManualClock clock(kStart);
    RecordStore store(path, clock, RecordStore::Mode::ReadOnly);
    timer.restart();
    if (store.open())
        return;
    RecordListModel model(store.connectionName());
    QString seen;
    for (int row = 0; row < 40; ++row)
        for (int column = 0; column < RecordListModel::ColumnCount; ++column)
            seen += model.index(row, column).data().toString();
    const double openMs = msSince(timer);
    timer.restart();
    model.sort(RecordListModel::MainFall, Qt::DescendingOrder);
    for (int row = 0; row < 40; ++row)
        seen += model.index(row, RecordListModel::MainFall).data().toString();
    const double sortMs = msSince(timer);
    std::printf("10000 records of 600 samples: filled in %.1f s (%.0f MB); list model open with "
                "40 rows shown %.1f ms, sorted by main fall %.1f ms\n",
                fillMs / 1000, double(QFileInfo(path).size()) / 1048576, openMs, sortMs);

    // The records window as the main window opens it over the program's store: built (its
    // list, and the newest record's details and decay chart) and shown, its first rows painted.
    RecordStore writer(path, clock);
    if (writer.open())
        return;
    TestRecorder recorder(writer);
    WindowHandover handover;
    std::vector<double> windowMs;
    for (int run = 0; run < 5; ++run) {
        timer.restart();
        RecordsWindow window(recorder, path, clock, handover, folder, nullptr);
        window.show();
        QApplication::processEvents();
        windowMs.push_back(msSince(timer));
    }
    const double first = windowMs.front();
    std::sort(windowMs.begin(), windowMs.end());
    std::printf("records window over the 10000 records, opened and shown: %.1f ms (median of 5; "
                "the first %.1f ms)\n",
                windowMs[2], first);
}

} // namespace

void recordBenchmarks()
{
    std::printf("\nKestrava record store benchmark\n");
    QTemporaryDir dir;
    if (!dir.isValid())
        return;
    // The records window reads the user's settings: these, not the real ones.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    appendBenchmark(dir.path());
    traceBenchmarks(dir.path());
    chartBenchmark();
    listBenchmark(dir.path());
}
