#include "records/recordschema.h"

#include "records/recordlayout.h"
#include "records/recordreader.h"

namespace recordschema {

namespace {

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

/// What version 2 added beside the record table's columns.
QStringList version2Tables()
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

/// What version 3 added beside the record table's columns.
QStringList version3Tables()
{
    return {QStringLiteral(R"(CREATE TABLE decision (
    record_id INTEGER NOT NULL REFERENCES record (id),
    seq INTEGER NOT NULL,
    time_ms INTEGER NOT NULL,
    utc_offset INTEGER NOT NULL,
    kind TEXT NOT NULL,
    pressure REAL NOT NULL,
    reference REAL NOT NULL,
    fall_limit REAL NOT NULL,
    PRIMARY KEY (record_id, seq)
) WITHOUT ROWID)")};
}

/// What version 4 added beside the record table's column: its index, and a change for every
/// record already kept.
QStringList version4Index()
{
    return {QStringLiteral("CREATE INDEX record_change ON record (change_seq)")};
}

/// What the parts step added beside the record table's columns.
QStringList partsTables()
{
    return {QStringLiteral(R"(CREATE TABLE part_model (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE CHECK (name <> ''),
    volume_ml REAL NOT NULL CHECK (volume_ml > 0),
    serial_pattern TEXT NOT NULL DEFAULT ''
))"),
            QStringLiteral("CREATE INDEX record_serial ON record (serial)")};
}

QString setVersion()
{
    return QStringLiteral("PRAGMA user_version = %1").arg(kVersion);
}

} // namespace

QStringList createStatements()
{
    return QStringList{recordlayout::createTable(recordlayout::sqlite()), kSampleTable} +
           version2Tables() + version3Tables() + version4Index() + partsTables() +
           QStringList{setVersion()};
}

QStringList migrationFrom(int version)
{
    QStringList statements = recordlayout::migration(recordlayout::sqlite(), version);
    if (version < 2)
        statements += version2Tables();
    if (version < 3)
        statements += version3Tables();
    if (version < 4)
        statements +=
            QStringList{QStringLiteral("UPDATE record SET change_seq = id")} + version4Index();
    if (version < recordlayout::kPartsVersion)
        statements += partsTables();
    return statements + QStringList{setVersion()};
}

QString whereClause(const RecordFilter &filter, QVariantList &values, TextMatch match)
{
    QStringList terms;
    if (filter.rig) {
        terms << QStringLiteral("rig = ?");
        values << *filter.rig;
    }
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
    if (!filter.serial.isEmpty()) {
        terms << QStringLiteral("serial = ?");
        values << filter.serial;
    }
    if (filter.model) {
        terms << QStringLiteral("model = ?");
        values << *filter.model;
    }
    if (!filter.text.isEmpty()) {
        QString pattern = filter.text;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
        terms << QStringLiteral("(test_name %1 ? ESCAPE '\\' OR operator %1 ? ESCAPE '\\' OR "
                                "serial %1 ? ESCAPE '\\')")
                     .arg(match == TextMatch::Like ? QStringLiteral("LIKE")
                                                   : QStringLiteral("ILIKE"));
        values << pattern << pattern << pattern;
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

} // namespace recordschema
