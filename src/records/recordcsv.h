#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

class RecordReader;
struct RecordDetails;
struct RecordKey;

/// The CSV layout of test traces: UTF-8, comma-separated, lines ended by CR LF, fields quoted
/// as RFC 4180 says (a field holding a comma, a quote, CR or LF is put in quotes, its quotes
/// doubled). The first line is the header kCsvHeader; then one row per sample and one per
/// decision of each record, records in the order asked, rows in the order taken (a decision
/// after the samples of its second):
///
///   record           the record's id; for a record of the shared database RIG:ID
///   station          1 or 2, as on screen
///   serial           the part's serial; empty when none was given
///   model            the part's model; empty when none was chosen
///   start            the record's start, ISO 8601 with offset: 2026-07-12T10:00:00+02:00
///   elapsed_s        whole seconds from the record's first sample; for a decision, its
///                    seconds from there with one decimal: 612.3
///   time             the sample's wall time, ISO 8601 with its offset; for a decision, to
///                    the tenth of a second: 2026-07-12T10:10:13.3+02:00
///   pressure_kpa     the station pressure in KPa; empty when not valid
///   pressure_valid   1 or 0
///   bath_temp_c      the bath temperature in °C; empty when not valid (a decision has none)
///   bath_temp_valid  1 or 0
///   phase            leak, main, post or after; for a decision, the phase it ended
///   decision         empty for a sample; for a decision, what was decided: "leak test
///                    passed", "leak test failed", "main test ended", "main test failed" or
///                    "test completed"
///
/// Numbers have dot decimals whatever the locale, in the shortest form that reads back as the
/// same 32-bit value ("699.9", "-0.25", "0").
inline constexpr char kCsvHeader[] =
    "record,station,serial,model,start,elapsed_s,time,pressure_kpa,"
    "pressure_valid,bath_temp_c,bath_temp_valid,phase,decision";

/// One field as the layout writes it.
QByteArray csvField(const QString &text);

/// The header line, then the rows of each record and its trace.
QByteArray csvHeaderLine();
void appendCsvRows(QByteArray &out, const RecordDetails &details);

/// Writes the CSV of the stored records with the keys, in that order, to the file at path,
/// replacing it atomically. The text is built in memory first (about 90 bytes a sample).
[[nodiscard]] MaybeFailure exportCsv(const RecordReader &reader, std::span<const RecordKey> keys,
                                     const QString &path);
/// The same for local records by id.
[[nodiscard]] MaybeFailure exportCsv(const RecordReader &reader, std::span<const int64_t> recordIds,
                                     const QString &path);
