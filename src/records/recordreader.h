#pragma once

#include "app/failure.h"
#include "records/testrecord.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

/// Which records a listing takes. Empty fields take every record.
struct RecordFilter {
    std::optional<int> station; ///< 0 or 1
    std::optional<Outcome> outcome;
    std::optional<QDateTime> since; ///< records that started at or after this time
    std::optional<QDateTime> until; ///< records that started before this time
    QString text; ///< found in the test name or the operator (ASCII letters in any case)
    /// Only the records of this rig (the shared database; the local store has none).
    std::optional<QString> rig;
    /// At most this many records, the newest first; 0 takes them all.
    int limit = 0;
};

/// What the records window and kestrava-records read records through: the local store or the
/// shared database of every rig.
class RecordReader {
public:
    virtual ~RecordReader() = default;
    /// The records the filter takes, newest first.
    virtual Fallible<std::vector<TestRecord>> records(const RecordFilter &filter) const = 0;
    /// The record with the key and all it holds: trace, decisions, link events. A failure
    /// ("There is no test record RIG:ID.") when there is none.
    virtual Fallible<RecordDetails> details(const RecordKey &key) const = 0;
};
