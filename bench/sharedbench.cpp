// The shared database under load, run by hand (never by the test command): it starts a
// throwaway PostgreSQL 15 server with the tests' fixture script and prints
//   1. eight rigs of two stations copying a ten-hour test each at the same time: eight
//      `kestrava-records sync` processes at once; wall time and rows a second on the server;
//   2. the lag of `sync --follow`: eight followers while each rig writes a second of both
//      stations every second; from a sample's local commit to its visibility on the server,
//      median and 90th percentile;
//   3. on a server holding RECORDS records, SAMPLED of them with 600 samples: the records
//      window's All rigs list opened (the child process, its JSON read, the model filled), the
//      newest 40, a filter by rig, outcome and date, and one record's CSV, each the median of
//      five runs.
//
//   kestrava-sharedbench [RECORDS [SAMPLED]]     (default 1000000 and 20000)
#include "recordfill.h"

#include "app/clock.h"
#include "records/recordcsv.h"
#include "records/recordstore.h"
#include "records/sharedreader.h"
#include "records/sharedrecordmodel.h"
#include "records/sharedstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int kRigs = 8;
constexpr int kTestSeconds = 36000; // ten hours
constexpr int kLagSeconds = 30;
constexpr int kRuns = 5;

QHash<QString, QString> g_server;

QString serverUrl(const QString &role)
{
    return QStringLiteral("postgresql://%1@:%2/kestrava?host=%3")
        .arg(role, g_server.value(QStringLiteral("port")),
             g_server.value(QStringLiteral("socket")));
}

QProcess *tool(const QStringList &arguments)
{
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(KESTRAVA_RECORDS_TOOL), arguments);
    return process;
}

bool runTool(const QStringList &arguments)
{
    std::unique_ptr<QProcess> process(tool(arguments));
    return process->waitForFinished(-1) && process->exitCode() == 0;
}

bool startServer(const QString &info)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("sh"),
                 {QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/postgres/start-server.sh"), info});
    if (!script.waitForFinished(180000) || script.exitCode() != 0)
        return false;
    QFile file(info);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n'))
        g_server.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
    return true;
}

void stopServer(const QString &info)
{
    QProcess::execute(QStringLiteral("sh"),
                      {QStringLiteral(KESTRAVA_SOURCE_DIR "/tests/postgres/stop-server.sh"), info});
}

/// Runs statements on the server as the owner; false, with the error printed, when one fails.
bool ownerExec(const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("owner"));
        db.setHostName(g_server.value(QStringLiteral("socket")));
        db.setPort(g_server.value(QStringLiteral("port")).toInt());
        db.setUserName(QStringLiteral("kestrava_owner"));
        db.setDatabaseName(QStringLiteral("kestrava"));
        ok = db.open();
        for (const QString &sql : statements) {
            QSqlQuery query(db);
            if (ok && !query.exec(sql)) {
                std::printf("  failed: %s\n", qPrintable(query.lastError().text()));
                ok = false;
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("owner"));
    return ok;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile90(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, values.size() * 9 / 10)];
}

double msOf(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return median(times);
}

void loadBench(const QTemporaryDir &folder)
{
    std::printf("1. %d rigs of two stations, a ten-hour test each (%d samples a station):\n", kRigs,
                kTestSeconds);
    QStringList paths;
    for (int r = 0; r < kRigs; ++r) {
        paths << folder.filePath(QStringLiteral("rig%1.sqlite").arg(r));
        if (MaybeFailure failure = fillRecordStore(paths.back(), 2, kTestSeconds)) {
            std::printf("  fill failed: %s\n", qPrintable(failure->reason));
            return;
        }
    }
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QProcess>> syncs;
    for (int r = 0; r < kRigs; ++r)
        syncs.emplace_back(tool({QStringLiteral("sync"), QStringLiteral("--db"), paths[r],
                                 QStringLiteral("--to"), serverUrl(QStringLiteral("kestrava_rig")),
                                 QStringLiteral("--rig"), QStringLiteral("load%1").arg(r)}));
    bool ok = true;
    for (auto &sync : syncs)
        ok = sync->waitForFinished(-1) && sync->exitCode() == 0 && ok;
    const double seconds = double(timer.elapsed()) / 1000;
    const double rows = double(kRigs) * 2 * (kTestSeconds + 1);
    std::printf("  %s: %.1f s wall time, %.0f rows a second on the server (%.0f rows)\n",
                ok ? "copied" : "FAILED", seconds, rows / seconds, rows);
}

void lagBench(const QTemporaryDir &folder)
{
    std::printf("2. sync lag under --follow, %d rigs writing both stations each second for %d s:\n",
                kRigs, kLagSeconds);
    const SystemClock clock;
    std::vector<std::unique_ptr<RecordStore>> stores;
    std::vector<std::unique_ptr<QProcess>> followers;
    std::vector<std::array<int64_t, 2>> ids;
    for (int r = 0; r < kRigs; ++r) {
        const QString path = folder.filePath(QStringLiteral("lag%1.sqlite").arg(r));
        stores.push_back(std::make_unique<RecordStore>(path, clock));
        if (stores.back()->open())
            return;
        std::array<int64_t, 2> pair{};
        for (int s = 0; s < 2; ++s) {
            RecordChange change;
            change.record.station = s;
            change.record.start = clock.now();
            const Fallible<std::vector<int64_t>> written = stores.back()->write({change});
            if (!written.ok())
                return;
            pair[size_t(s)] = written->front();
        }
        ids.push_back(pair);
        followers.emplace_back(
            tool({QStringLiteral("sync"), QStringLiteral("--db"), path, QStringLiteral("--to"),
                  serverUrl(QStringLiteral("kestrava_rig")), QStringLiteral("--rig"),
                  QStringLiteral("lag%1").arg(r), QStringLiteral("--follow"),
                  QStringLiteral("--json")}));
    }
    SharedStore server(QStringLiteral("lag"));
    if (MaybeFailure failure = server.open(serverUrl(QStringLiteral("kestrava_rig")))) {
        std::printf("  %s\n", qPrintable(failure->reason));
        return;
    }
    // (rig, station, seq) -> when committed locally.
    std::map<std::tuple<int, int, int64_t>, qint64> committed;
    std::vector<double> lags;
    QElapsedTimer timer;
    timer.start();
    int64_t second = 0;
    QTimer writer;
    writer.setInterval(1000);
    QObject::connect(&writer, &QTimer::timeout, [&] {
        for (int r = 0; r < kRigs; ++r) {
            std::vector<RecordChange> changes;
            for (int s = 0; s < 2; ++s) {
                RecordChange change;
                change.record = *stores[size_t(r)]->record(ids[size_t(r)][size_t(s)]);
                change.firstSample = second;
                TraceSample sample;
                sample.elapsed = second;
                sample.time = clock.now();
                sample.pressureValid = true;
                sample.pressure = 700;
                change.samples = {sample};
                changes.push_back(change);
            }
            if (stores[size_t(r)]->write(changes).ok())
                for (int s = 0; s < 2; ++s)
                    committed[{r, s, second}] = timer.elapsed();
        }
        ++second;
    });
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (auto it = committed.begin(); it != committed.end();) {
            const auto [r, s, seq] = it->first;
            const Fallible<RecordMark> next =
                server.recordMark(QStringLiteral("lag%1").arg(r), ids[size_t(r)][size_t(s)]);
            if (next.ok() && next->sample > seq) {
                lags.push_back(double(timer.elapsed() - it->second) / 1000);
                it = committed.erase(it);
            } else {
                ++it;
            }
        }
    });
    QEventLoop loop;
    QTimer::singleShot((kLagSeconds + 5) * 1000, &loop, &QEventLoop::quit);
    QTimer::singleShot(kLagSeconds * 1000, &writer, &QTimer::stop);
    writer.start();
    watcher.start();
    loop.exec();
    for (auto &follower : followers) {
        follower->terminate();
        follower->waitForFinished(5000);
    }
    std::printf("  %zu samples seen on the server (%zu not within 5 s): lag median %.2f s, "
                "90th percentile %.2f s (goal: median under 2 s)\n",
                lags.size(), committed.size(), median(lags), percentile90(lags));
}

void bigServerBench(int records, int sampled)
{
    std::printf("3. a server holding %d records, %d of them with 600 samples (%lld sample rows):\n",
                records, sampled, qlonglong(sampled) * 600);
    QElapsedTimer timer;
    timer.start();
    // Rigs big0..big7, records an hour apart per rig, outcomes and names varied; made inside the
    // server. The record's columns as the layout declares them, through the put function.
    const bool filled = ownerExec(
        {QStringLiteral(
             "SELECT kestrava_put_records(jsonb_agg(jsonb_build_object("
             "'rig', 'big' || (k % 8), 'id', k / 8 + 1, 'station', k % 2, "
             "'start_time', to_char(to_timestamp(1767225600 + k * 450) AT TIME ZONE 'UTC', "
             "'YYYY-MM-DD\"T\"HH24:MI:SS') || '+00:00', 'start_utc', 1767225600 + k * 450, "
             "'end_time', to_char(to_timestamp(1767225600 + k * 450 + 600) AT TIME ZONE 'UTC', "
             "'YYYY-MM-DD\"T\"HH24:MI:SS') || '+00:00', 'end_utc', 1767225600 + k * 450 + 600, "
             "'outcome', (ARRAY['completed', 'leak test failed', 'main test failed', "
             "'stopped'])[(k / 8) % 4 + 1], 'start_pressure_limit', 600, 'leak_fall_limit', 7, "
             "'leak_test_duration', 600, 'bath_fall_limit', 14, 'main_test_duration', 900, "
             "'min_bath_temp', 100, 'cal_range', 1000, 'cal_zero', 0, 'cal_span', 1000, "
             "'temp_zero', 0, 'temp_span', 100, 'leak_ref_pressure', 700, 'test_name', "
             "'Vessel ' || k, 'operator', 'Anna', 'leak_fall', (k % 7) / 10.0, 'main_fall', "
             "(k % 70) / 10.0, 'decisions_recorded', 0, 'change_seq', k / 8 + 1))) "
             "FROM generate_series(%1::bigint, %2) AS k GROUP BY k / 50000")
             .arg(0)
             .arg(records - 1),
         QStringLiteral("INSERT INTO sample (rig, record_id, seq, elapsed, time_utc, utc_offset, "
                        "pressure, bath_temp, phase) SELECT r.rig, r.id, s, s, r.start_utc + s + "
                        "1, 0, 700 - 0.01 * s, 100, 0 FROM record r CROSS JOIN "
                        "generate_series(0, 599) AS s WHERE r.rig LIKE 'big%' AND r.id <= %1")
             .arg(sampled / 8),
         QStringLiteral("ANALYZE record"), QStringLiteral("ANALYZE sample")});
    if (!filled)
        return;
    std::printf("  filled in %.0f s\n", double(timer.elapsed()) / 1000);

    const QString url = serverUrl(QStringLiteral("kestrava_rig"));
    const auto windowList = [&url](const RecordFilter &filter) {
        SharedReader reader;
        SharedRecordModel model;
        QEventLoop loop;
        QObject::connect(&reader, &SharedReader::listed, [&](const std::vector<TestRecord> &r) {
            model.setRecords(r);
            loop.quit();
        });
        QObject::connect(&reader, &SharedReader::failed, [&](const QString &reason) {
            std::printf("  failed: %s\n", qPrintable(reason));
            loop.quit();
        });
        reader.list(url, filter);
        loop.exec();
    };
    RecordFilter newest;
    newest.limit = 1000;
    std::printf("  All rigs opened (child process, 1000 newest, model filled): %.0f ms (goal "
                "under 500 ms)\n",
                msOf([&] { windowList(newest); }));
    SharedStore server(QStringLiteral("big"));
    if (MaybeFailure failure = server.open(url))
        return;
    RecordFilter forty;
    forty.limit = 40;
    RecordFilter filtered = forty;
    filtered.rig = QStringLiteral("big3");
    filtered.outcome = Outcome::LeakTestFailed;
    filtered.since = QDateTime::fromSecsSinceEpoch(1767225600 + qint64(records) * 450 / 2);
    std::printf(
        "  newest 40: query %.1f ms, through the child process %.0f ms (goal under 100 ms)\n",
        msOf([&] { (void)server.records(forty); }), msOf([&] { windowList(forty); }));
    std::printf("  rig, outcome and date filter, 40 rows: query %.1f ms, through the child process "
                "%.0f ms (goal under 100 ms)\n",
                msOf([&] { (void)server.records(filtered); }), msOf([&] { windowList(filtered); }));
    QTemporaryDir out;
    const RecordKey key{QStringLiteral("big5"), int64_t(sampled / 8 / 2)};
    const std::vector<RecordKey> keys{key};
    std::printf("  one record's CSV (600 samples): in process %.1f ms, kestrava-records export "
                "%.0f ms (goal under 200 ms)\n",
                msOf([&] {
                    (void)exportCsv(server, std::span<const RecordKey>(keys),
                                    out.filePath(QStringLiteral("a.csv")));
                }),
                msOf([&] {
                    runTool({QStringLiteral("export"), QStringLiteral("--db"), url,
                             recordKeyText(key), QStringLiteral("--csv"),
                             out.filePath(QStringLiteral("b.csv"))});
                }));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int records = arguments.size() > 1 ? arguments[1].toInt() : 1000000;
    const int sampled = arguments.size() > 2 ? arguments[2].toInt() : 20000;
    QTemporaryDir folder;
    const QString info = folder.filePath(QStringLiteral("server.info"));
    if (!startServer(info)) {
        std::printf("the server could not be started\n");
        return 1;
    }
    if (!runTool({QStringLiteral("init-shared"), QStringLiteral("--to"),
                  serverUrl(QStringLiteral("kestrava_owner"))})) {
        stopServer(info);
        return 1;
    }
    loadBench(folder);
    lagBench(folder);
    bigServerBench(records, sampled);
    stopServer(info);
    return 0;
}
