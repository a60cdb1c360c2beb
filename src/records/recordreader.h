#pragma once

#include "app/failure.h"
#include "records/statistics.h"
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
    /// Found in the test name, the operator or the serial (ASCII letters in any case).
    QString text;
    QString serial;               ///< records of exactly this serial; empty for any
    std::optional<QString> model; ///< records of this part model; "" for those without one
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
    /// What statistics of the figure read of the records the filter takes, oldest first: key,
    /// start, outcome, and the figure with its limit (and for a rate the phase's duration and
    /// the part's volume); the other figures are left empty.
    virtual Fallible<std::vector<RecordFigures>> figureRecords(const RecordFilter &filter,
                                                               StatisticsFigure figure) const = 0;
};
