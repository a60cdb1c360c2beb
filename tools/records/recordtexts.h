#pragma once

#include <QString>

#include <span>

struct RecordedLinkEvent;
struct TestRecord;
struct TraceSample;

/// The listing of `kestrava-records list`: a header line, then one line per record in the
/// order given, in columns aligned with blanks. A value that is missing shows as "-".
QString recordListText(std::span<const TestRecord> records);

/// The text of `kestrava-records show`: the record, its leak figures from the trace, and its
/// link events.
QString recordText(const TestRecord &record, std::span<const TraceSample> trace,
                   std::span<const RecordedLinkEvent> events);
