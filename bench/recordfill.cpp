#include "recordfill.h"

#include "app/clock.h"
#include "records/recordstore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr qint64 kFirstStart = 1767225600; // 2026-01-01 00:00 UTC

const char kRecords[] = R"(
WITH RECURSIVE n(k) AS (SELECT %1 UNION ALL SELECT k + 1 FROM n WHERE k + 1 < %2)
INSERT INTO record (station, start_time, start_utc, end_time, end_utc, outcome,
    start_pressure_limit, leak_fall_limit, leak_test_duration, bath_fall_limit,
    main_test_duration, min_bath_temp, cal_range, cal_zero, cal_span, temp_zero, temp_span,
    leak_ref_pressure, main_ref_pressure, leak_pass_time, main_start_time, post_test_time,
    test_name, operator, leak_fall, main_fall, leak_rate, main_rate, serial, model,
    model_volume_ml)
SELECT k % 2,
    strftime('%Y-%m-%dT%H:%M:%S', %3 + k * 3600, 'unixepoch') || '+00:00', %3 + k * 3600,
    strftime('%Y-%m-%dT%H:%M:%S', %3 + k * 3600 + %4, 'unixepoch') || '+00:00',
    %3 + k * 3600 + %4,
    CASE k % 4 WHEN 0 THEN 'completed' WHEN 1 THEN 'leak test failed'
               WHEN 2 THEN 'main test failed' ELSE 'stopped' END,
    600, 7, 600, 14, 900, 100, 1000, 0, 1000, 0, 100,
    700 + (k % 50) / 10.0, 699.0, NULL, NULL, NULL,
    'Vessel ' || k,
    CASE k % 4 WHEN 0 THEN 'Anna' WHEN 1 THEN 'Bob' WHEN 2 THEN 'Carl' ELSE 'Dana' END,
    (k % 7) / 10.0, 1.0 + ((k * k * 31 + k * 17) % 997) / 4985.0, (k % 7) / 100.0,
    (1.0 + ((k * k * 31 + k * 17) % 997) / 4985.0) / 15.0, 'SN-' || k, 'Valve', 250
FROM n)";

// The leak phase is the first 30 % of a trace, then 10 % after the pass, 50 % main, 10 % post.
const char kSamples[] = R"(
WITH RECURSIVE s(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM s WHERE k + 1 < %1)
INSERT INTO sample (record_id, seq, elapsed, time_utc, utc_offset, pressure, bath_temp, phase)
SELECT r.id, s.k, s.k, r.start_utc + s.k + 1, 0, r.leak_ref_pressure - 0.01 * s.k,
    100.0 + (s.k % 10) / 100.0,
    CASE WHEN s.k * 10 < %1 * 3 THEN 0 WHEN s.k * 10 < %1 * 4 THEN 3
         WHEN s.k * 10 < %1 * 9 THEN 1 ELSE 2 END
FROM record r CROSS JOIN s WHERE r.id > %2)";

} // namespace

MaybeFailure fillRecordStore(const QString &path, int records, int samplesPerRecord)
{
    ManualClock clock(QDateTime::fromSecsSinceEpoch(kFirstStart));
    RecordStore store(path, clock);
    if (MaybeFailure failure = store.open())
        return failure;
    QSqlDatabase db = QSqlDatabase::database(store.connectionName());
    QSqlQuery query(db);
    const auto fail = [&](const QString &doing) {
        const Failure failure{doing + QStringLiteral(": ") + query.lastError().text(), path};
        query.exec(QStringLiteral("ROLLBACK"));
        return failure;
    };
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(QStringLiteral("cannot begin"));
    if (!query.exec(QStringLiteral("SELECT count(*), coalesce(max(id), 0) FROM record")) ||
        !query.next())
        return fail(QStringLiteral("cannot count"));
    const qint64 existing = query.value(0).toLongLong();
    const qint64 lastId = query.value(1).toLongLong();
    if (!query.exec(QString::fromLatin1(kRecords)
                        .arg(existing)
                        .arg(existing + records)
                        .arg(kFirstStart)
                        .arg(samplesPerRecord)))
        return fail(QStringLiteral("cannot add records"));
    if (samplesPerRecord > 0 &&
        !query.exec(QString::fromLatin1(kSamples).arg(samplesPerRecord).arg(lastId)))
        return fail(QStringLiteral("cannot add samples"));
    // Each new record its own change, as the store gives it, so that a sync copies them.
    if (!query.exec(QStringLiteral("UPDATE record SET change_seq = id WHERE id > %1").arg(lastId)))
        return fail(QStringLiteral("cannot number the changes"));
    if (!query.exec(QStringLiteral("COMMIT")))
        return fail(QStringLiteral("cannot commit"));
    return std::nullopt;
}
