#pragma once

#include "records/statistics.h"
#include "records/testrecord.h"

#include <QByteArray>
#include <QJsonObject>

#include <optional>

/// Records as JSON, for `kestrava-records --json`, whose output the program reads from a child
/// process. A record is an object of its columns by name (recordlayout::toJson()) with its
/// rig; its details add "trace" (one array a sample: elapsed, time_utc, utc_offset, pressure
/// or null, bath_temp or null, phase), "decisions" (time_ms, utc_offset, kind, pressure,
/// reference, fall_limit) and "events" (time, kind, detail).
namespace recordjson {

QJsonObject recordObject(const TestRecord &record);
TestRecord recordOf(const QJsonObject &object);

QJsonObject detailsObject(const RecordDetails &details);
/// The details of such an object; empty when it lacks one of its parts.
std::optional<RecordDetails> detailsOf(const QJsonObject &object);

/// What statistics of the figure read of a record (RecordReader::figureRecords), by the names
/// of the record's columns: "id", "rig", "start_utc", "utc_offset", "outcome" (null while
/// running), and the figure's own: its value (leak_fall, main_fall, leak_rate or main_rate;
/// null when there is none) and limit (leak_fall_limit or bath_fall_limit), and for a rate
/// the phase's duration (leak_test_duration or main_test_duration) and model_volume_ml.
QJsonObject figuresObject(const RecordFigures &record, StatisticsFigure figure);
/// The figures of such an object, whichever figure it holds; empty without an id.
std::optional<RecordFigures> figuresOf(const QJsonObject &object);

/// The object as one line of compact JSON, ended by a line break.
QByteArray line(const QJsonObject &object);
/// The object of such a line; empty for a line that is not a JSON object.
std::optional<QJsonObject> objectOf(const QByteArray &line);

} // namespace recordjson
