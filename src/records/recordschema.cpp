#include "records/recordschema.h"

#include "records/recordstore.h"

namespace recordschema {

namespace {

const QString kRecordTableV1 = QStringLiteral(R"(CREATE TABLE record (
    id INTEGER PRIMARY KEY,
    station INTEGER NOT NULL CHECK (station IN (0, 1)),
    start_time TEXT NOT NULL,
    start_utc INTEGER NOT NULL,
    end_time TEXT,
    end_utc INTEGER,
    outcome TEXT CHECK (outcome IN ('completed', 'leak test failed', 'main test failed',
                                    'stopped', 'interrupted')),
    start_pressure_limit REAL NOT NULL,
    leak_fall_limit REAL NOT NULL,
    leak_test_duration INTEGER NOT NULL,
    bath_fall_limit REAL NOT NULL,
    main_test_duration INTEGER NOT NULL,
    min_bath_temp REAL NOT NULL,
    cal_range REAL NOT NULL,
    cal_zero REAL NOT NULL,
    cal_span REAL NOT NULL,
    temp_zero REAL NOT NULL,
    temp_span REAL NOT NULL,
    leak_ref_pressure REAL NOT NULL,
    main_ref_pressure REAL,
    leak_pass_time TEXT,
    main_start_time TEXT,
    post_test_time TEXT,
    test_name TEXT NOT NULL DEFAULT '',
    operator TEXT NOT NULL DEFAULT ''
))");

const QString kSampleTable = QStringLiteral(R"(CREATE TABLE sample (
    record_id INTEGER NOT NULL REFERENCES record (id),
    seq INTEGER NOT NULL,
    elapsed INTEGER NOT NULL,
    time_utc INTEGER NOT NULL,
    utc_offset INTEGER NOT NULL,
    pressure REAL,
    bath_temp REAL,
    phase INTEGER NOT NULL CHECK (phase BETWEEN 0 AND 3),
    PRIMARY KEY (record_id, seq)
) WITHOUT ROWID)");

/// What version 2 adds to version 1, the falls apart.
QStringList version2Additions()
{
    return {
        QStringLiteral(R"(CREATE TABLE link_event (
    id INTEGER PRIMARY KEY,
    record_id INTEGER NOT NULL REFERENCES record (id),
    time TEXT NOT NULL,
    kind TEXT NOT NULL,
    detail TEXT NOT NULL DEFAULT ''
))"),
        QStringLiteral("CREATE INDEX link_event_record ON link_event (record_id)"),
        QStringLiteral("CREATE INDEX record_start ON record (start_utc)"),
    };
}

const QString kFallColumns[] = {QStringLiteral("leak_fall REAL"), QStringLiteral("main_fall REAL")};

} // namespace

QStringList createStatements()
{
    // A new database is made as version 1 and migrated, so that both take the same path.
    return QStringList{kRecordTableV1, kSampleTable} + migrationFromVersion1();
}

QStringList migrationFromVersion1()
{
    QStringList statements;
    for (const QString &column : kFallColumns)
        statements << QStringLiteral("ALTER TABLE record ADD COLUMN ") + column;
    return statements + version2Additions() +
           QStringList{QStringLiteral("PRAGMA user_version = 2")};
}

QString recordColumns()
{
    return QStringLiteral(
        "id, station, start_time, start_utc, end_time, end_utc, outcome, start_pressure_limit, "
        "leak_fall_limit, leak_test_duration, bath_fall_limit, main_test_duration, "
        "min_bath_temp, cal_range, cal_zero, cal_span, temp_zero, temp_span, leak_ref_pressure, "
        "main_ref_pressure, leak_pass_time, main_start_time, post_test_time, test_name, "
        "operator, leak_fall, main_fall");
}

QString whereClause(const RecordFilter &filter, QVariantList &values)
{
    QStringList terms;
    if (filter.station) {
        terms << QStringLiteral("station = ?");
        values << *filter.station;
    }
    if (filter.outcome) {
        terms << QStringLiteral("outcome = ?");
        values << outcomeText(*filter.outcome);
    }
    if (filter.since) {
        terms << QStringLiteral("start_utc >= ?");
        values << filter.since->toSecsSinceEpoch();
    }
    if (filter.until) {
        terms << QStringLiteral("start_utc < ?");
        values << filter.until->toSecsSinceEpoch();
    }
    if (!filter.text.isEmpty()) {
        QString pattern = filter.text;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
        terms << QStringLiteral("(test_name LIKE ? ESCAPE '\\' OR operator LIKE ? ESCAPE '\\')");
        values << pattern << pattern;
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

} // namespace recordschema
