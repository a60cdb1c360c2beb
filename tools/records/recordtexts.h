#pragma once

#include <QString>

#include <span>

struct RecordDetails;
struct TestRecord;

/// The listing of `kestrava-records list`: a header line, then one line per record in the
/// order given, in columns aligned with blanks. A value that is missing shows as "-". With
/// `withRig` (records of the shared database) a Rig column comes first.
QString recordListText(std::span<const TestRecord> records, bool withRig = false);

/// The text of `kestrava-records show`: the record, its decisions, its figures of each phase,
/// and its link events.
QString recordText(const RecordDetails &details);
