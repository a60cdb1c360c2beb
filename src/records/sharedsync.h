#pragma once

#include "app/failure.h"
#include "records/sharedstore.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>

class RecordStore;

/// What a sync copied.
struct SyncCount {
    int64_t records = 0;
    int64_t samples = 0;
    int64_t decisions = 0;
    int64_t events = 0;
};

/// Copies one rig's local store to the shared database: every record row that changed since
/// the server's copy (in the order of the local change counter), the samples and decisions
/// after the last ones the server holds, and the link events after the last one it holds. The
/// rows go in transactions of at most about kBatchRows rows, a record's row after its samples
/// and decisions, so that what the server holds always says where to go on: a copy killed at
/// any moment, or one whose transaction the server lost, is taken up again from there by the
/// next, and a row already copied is never copied twice (the server's keys would refuse it).
class SharedSync {
public:
    /// Rows in one transaction, about.
    static constexpr size_t kBatchRows = 5000;

    /// Copies `local` (open) into `server` (open, with the rig's lock taken) as rig `rig`.
    SharedSync(const RecordStore &local, SharedStore &server, QString rig);

    /// Reads how far the server holds the rig. Fails when the local store holds fewer changes
    /// than the server has copied: then it is not the store the server's copy came from.
    [[nodiscard]] MaybeFailure start();
    /// Copies everything the server lacks; what it copied.
    Fallible<SyncCount> copy();
    /// How many local records changed after the server's copy.
    Fallible<int64_t> waiting() const;

private:
    [[nodiscard]] MaybeFailure commitBatch(SharedBatch &batch, int64_t change);
    [[nodiscard]] MaybeFailure copyRecord(const TestRecord &record, SharedBatch &batch,
                                          int64_t &change, SyncCount &count);

    const RecordStore &m_local;
    SharedStore &m_server;
    QString m_rig;
    SyncMark m_mark;
};

/// The state a sync reports, one line of JSON each time it changes.
struct SyncState {
    enum class Kind { UpToDate, Waiting, Unreachable };
    Kind kind = Kind::UpToDate;
    int64_t waiting = 0; ///< records not yet on the server
    QDateTime since;     ///< unreachable since
    QString reason;      ///< why unreachable, one line
    bool operator==(const SyncState &) const = default;
};

QJsonObject syncStateJson(const SyncState &state);
/// The state of such an object; empty for anything else.
std::optional<SyncState> syncStateOf(const QJsonObject &object);
/// The records window's line: "Shared database: up to date", "Shared database: 3 records
/// waiting", "Shared database: unreachable since 10:04:31: connection refused".
QString syncStateText(const SyncState &state);

/// The pause before the next attempt after `failures` failures in a row: 1 s after the first,
/// doubled at each further one, at most 30 s.
int retryPauseSeconds(int failures);
