#pragma once

#include "records/recordlayout.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

struct RecordFilter;

/// The record database's schema, shared by the store and the read model. The record table
/// comes from the record layout (recordlayout.h); the tables beside it are declared here.
///
/// Version 5 (current): version 4, and
///   record      the part (serial, model, model_volume_ml) and the end-to-end rates of the
///               leak and main tests (leak_rate, main_rate, KPa/min)
///   part_model  id, name (unique, not empty), volume_ml (above 0), serial_pattern ('' for
///               none)
///   indexes     record_serial on record(serial)
///
/// Version 4:
///   record      one row per test (recordlayout.h): station, start and end (ISO 8601 with
///               offset, and UTC seconds for sorting), outcome (NULL while open), the six
///               parameters, the calibration constants, the reference pressures, the phase
///               times, the names, the falls of the three phases, whether decisions are
///               kept, the change counter change_seq (a sync copies the rows above the last
///               one it copied)
///   sample      (record_id, seq) → elapsed, time_utc, utc_offset, pressure, bath_temp (NULL
///               when not valid), phase (0 leak, 1 main, 2 post, 3 after); WITHOUT ROWID
///   decision    (record_id, seq) → time_ms (UTC milliseconds, to the tenth of a second),
///               utc_offset, kind, pressure, reference, fall_limit; WITHOUT ROWID
///   link_event  record_id, time, kind, detail
///   indexes     record_start on record(start_utc), link_event_record on link_event(record_id),
///               record_change on record(change_seq)
/// Version 3 had no change counter (a migrated record takes its id as its change); version 2 had no
/// decision table, no post_fall and no decisions_recorded, and its main_fall covered the post-test
/// phase too; version 1 had no link_event table, no record_start index and no falls.
namespace recordschema {

/// The schema version this code writes: the record layout's, whose steps it follows.
inline constexpr int kVersion = recordlayout::kVersion;

/// The statements that create an empty database of the current version.
QStringList createStatements();
/// The statements that bring a database of an older version (1 to 4) to the current one; the
/// falls of its records are computed afterwards, in the same transaction.
QStringList migrationFrom(int version);

/// How an engine matches the filter's text in any case of its ASCII letters.
enum class TextMatch { Like, ILike };

/// The WHERE clause of a filter ("" when it takes everything, else " WHERE ..."), with its
/// values to bind in order. Its rig is a condition on a column `rig`, which only the shared
/// database has; its limit is not part of it.
QString whereClause(const RecordFilter &filter, QVariantList &values,
                    TextMatch match = TextMatch::Like);

/// The table of part models.
inline const QString kPartModelTable = QStringLiteral("part_model");

} // namespace recordschema
