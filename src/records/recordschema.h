#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

struct RecordFilter;

/// The record database's schema, shared by the store and the read model.
///
/// Version 2 (current):
///   record      one row per test: station (0/1), start and end (ISO 8601 with offset, and
///               UTC seconds for sorting), outcome (NULL while open), the six parameters,
///               the calibration constants, the reference pressures, the phase times, the
///               names, and the leak and main falls as summary columns
///   sample      (record_id, seq) → elapsed, time_utc, utc_offset, pressure, bath_temp (NULL
///               when not valid), phase (0 leak, 1 main, 2 post, 3 after); WITHOUT ROWID
///   link_event  record_id, time, kind, detail
///   indexes     record_start on record(start_utc), link_event_record on link_event(record_id)
/// Version 1 had no link_event table, no record_start index and no leak_fall/main_fall.
namespace recordschema {

/// The statements that create an empty database of the current version.
QStringList createStatements();
/// The statements that bring a version-1 database to version 2 (the falls of its records
/// are computed afterwards, in the same transaction).
QStringList migrationFromVersion1();

/// The columns of a record row, in the order recordFromRow() and the writes expect.
QString recordColumns();

/// The WHERE clause of a filter ("" when it takes everything, else " WHERE ..."), with its
/// values to bind in order.
QString whereClause(const RecordFilter &filter, QVariantList &values);

} // namespace recordschema
