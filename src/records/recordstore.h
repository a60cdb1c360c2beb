#pragma once

#include "app/failure.h"
#include "records/partmodels.h"
#include "records/recordreader.h"
#include "records/recordschema.h"
#include "records/statistics.h"
#include "records/testrecord.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class Clock;

/// What one write brings to one record: the record itself, the samples, decisions and link
/// events that follow on its stored ones, and whether its names change.
struct RecordChange {
    /// Inserted when its id is 0 (names included), otherwise its row is updated, names apart.
    TestRecord record;
    /// Writes testName and operatorName of a stored record.
    bool writeNames = false;
    /// The position in the trace of the first of the samples (0 for the first sample).
    int64_t firstSample = 0;
    std::vector<TraceSample> samples;
    /// The position among the record's decisions of the first of these.
    int64_t firstDecision = 0;
    std::vector<Decision> decisions;
    std::vector<RecordedLinkEvent> events;
};

/// The test-record database: one SQLite file in WAL mode with synchronous=FULL (a commit
/// survives a power cut), its schema version in PRAGMA user_version. A record is a row of
/// table `record` (its columns declared in recordlayout.h); its trace is in `sample`, its
/// decisions in `decision`, its link events in `link_event`.
///
/// Everything runs on the calling thread and returns at once: a database that another
/// connection holds locked fails after a busy timeout of a few milliseconds, never a wait.
class RecordStore final : public RecordReader {
public:
    /// The schema this code writes; older versions are migrated when opened for writing.
    static constexpr int kSchemaVersion = recordschema::kVersion;
    /// Milliseconds a statement waits for another connection's lock before it fails.
    static constexpr int kBusyTimeoutMs = 5;
    /// The database file's name in the working folder.
    static inline const QString kFileName = QStringLiteral("kestrava-records.sqlite");
    /// Title of the message box that reports a failed write.
    static inline const QString kErrorTitle = QStringLiteral("Records Error");

    enum class Mode {
        ReadWrite,
        /// Reads only, never creating, migrating or setting aside anything: safe beside the
        /// program that writes the database.
        ReadOnly,
    };

    /// A store over the database file at path; nothing is opened yet. The clock names the
    /// file an unreadable database is set aside to.
    RecordStore(QString path, const Clock &clock, Mode mode = Mode::ReadWrite);
    ~RecordStore() override;
    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    /// Opens the database. For writing, a missing file is created with the current schema and
    /// a version-1 database is migrated in place. A file that is not a database of this
    /// program is set aside as "<name>.unreadable-<yyyyMMdd-hhmmss>" (with "-2", "-3"... when
    /// that name is taken; its -wal and -shm files go with it) and a new database is started.
    /// Fails, changing nothing, when the file cannot be opened or written (a folder, a locked
    /// or read-only file, a full disk) or has a newer schema; a later call tries again.
    [[nodiscard]] MaybeFailure open();
    bool isOpen() const;
    /// Closes the database; what SQLite still holds in its log goes into the file it opened.
    void close();
    /// The file the store opened is no longer at its path: deleted, moved away or replaced by
    /// another file. Writes would go on into the file that is gone. False when not open.
    bool fileGone() const;
    /// Closes a database whose file has gone from its path: what its log still holds is
    /// written into that file (wherever it went), and the log and index left at the path,
    /// which belong to it, are removed so that a new database there starts clean. A log that
    /// could not be written into the file is kept beside the path as
    /// "<name>.gone-<yyyyMMdd-hhmmss>-wal" rather than lost; the returned failure says so.
    [[nodiscard]] MaybeFailure closeGoneFile();
    QString path() const;
    /// Where the last open() set an unreadable file aside; empty when it did not.
    QString setAsidePath() const;
    /// The Qt SQL connection of an open store, for a read model over the same database; such
    /// a model must go before the store is closed or destroyed.
    QString connectionName() const;

    /// Writes the changes in one transaction: all of them, or on a failure none. Returns the
    /// id of each change's record, in order: the stored one, or for an insert the new one.
    Fallible<std::vector<int64_t>> write(const std::vector<RecordChange> &changes);
    /// Stores the test name and operator of a record, in its own transaction.
    [[nodiscard]] MaybeFailure setNames(int64_t recordId, const QString &testName,
                                        const QString &operatorName);
    /// Closes every open record as interrupted, in one transaction: its end is the time of its
    /// last sample (its start without samples) and its falls come from its trace and
    /// decisions. Returns how many it closed. For the start of the program, before its first
    /// write.
    Fallible<int> closeOpenRecords();

    /// The records the filter takes, newest first; none for a filter that names a rig.
    Fallible<std::vector<TestRecord>> records(const RecordFilter &filter) const override;
    /// The record with the id; a failure when there is none.
    Fallible<TestRecord> record(int64_t id) const;
    /// The record with the id and all it holds: trace, decisions, link events.
    Fallible<RecordDetails> details(int64_t id) const;
    /// The same for a key without a rig; a key with a rig names no local record.
    Fallible<RecordDetails> details(const RecordKey &key) const override;
    /// A record's trace in the order it was taken.
    Fallible<std::vector<TraceSample>> trace(int64_t recordId) const;
    /// A record's decisions in the order they were taken.
    Fallible<std::vector<Decision>> decisions(int64_t recordId) const;
    /// A record's link events in the order they happened.
    Fallible<std::vector<RecordedLinkEvent>> events(int64_t recordId) const;

    /// For a copy of the store (a sync), in the order of their change: the records whose row
    /// changed after the change counter `change`, at most `limit` of them.
    Fallible<std::vector<TestRecord>> changedSince(int64_t change, int limit) const;
    /// How many records changed after `change`.
    Fallible<int64_t> countChangedSince(int64_t change) const;
    /// The highest change counter and the highest link-event id; 0 in an empty store.
    Fallible<std::pair<int64_t, int64_t>> lastChange() const;
    /// A record's sample rows (recordrows::kSampleColumns) from position `fromSeq`, at most
    /// `limit`, in order.
    Fallible<std::vector<QVariantList>> sampleRows(int64_t recordId, int64_t fromSeq,
                                                   int limit) const;
    /// A record's decision rows (recordrows::kDecisionColumns) from position `fromSeq`.
    Fallible<std::vector<QVariantList>> decisionRows(int64_t recordId, int64_t fromSeq) const;
    /// The link-event rows (recordrows::kEventColumns) after the id, at most `limit`, in order.
    Fallible<std::vector<QVariantList>> eventRows(int64_t afterId, int limit) const;
    /// The part models, by name.
    Fallible<std::vector<PartModel>> partModels() const;
    /// Inserts the model (id 0) or updates the stored one; a renamed model's records take its
    /// new name in the same transaction. Returns its id. The database refuses an empty or
    /// taken name and a volume that is not above 0 (check them first with partModelFrom()).
    Fallible<int64_t> savePartModel(const PartModel &model);
    /// Deletes a part model; refused while a record names it.
    [[nodiscard]] MaybeFailure deletePartModel(int64_t id);
    /// The newest record of a serial; none when it was never tested.
    Fallible<std::optional<TestRecord>> latestOfSerial(const QString &serial) const;
    /// What statistics of the figure read of the records the filter takes, oldest first: id,
    /// start, outcome, and the figure with its limit (and for a rate the phase's duration and
    /// the part's volume); the other figures are left empty.
    Fallible<std::vector<RecordFigures>> figureRecords(const RecordFilter &filter,
                                                       StatisticsFigure figure) const override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

/// Text of the "Records Error" box: names the database and the reason.
QString recordsErrorText(const Failure &failure);
