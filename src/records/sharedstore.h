#pragma once

#include "app/failure.h"
#include "records/recordlayout.h"
#include "records/recordreader.h"

#include <QJsonObject>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// What "Test Connection" and `kestrava-records info` tell of a shared database.
struct SharedInfo {
    QString serverVersion; ///< "15.20"
    int schemaVersion = 0; ///< 0: no Kestrava schema
    int64_t rigs = 0;
    int64_t records = 0;
};

/// The lines of `kestrava-records info` (Test Connection says the same in one line of its own,
/// connectionTestText()):
///   Server: PostgreSQL 15.20
///   Schema version: 4                       ("none: set it up with kestrava-records init-shared")
///   Rigs: 2
///   Records: 1234
QString sharedInfoText(const SharedInfo &info);
QJsonObject sharedInfoJson(const SharedInfo &info);
/// The info of such an object; empty when it is not one.
std::optional<SharedInfo> sharedInfoOf(const QJsonObject &object);

/// How far the shared database holds one rig's local store: the highest change counter of its
/// records and the highest id of its link events.
struct SyncMark {
    int64_t change = 0;
    int64_t event = 0;
    bool operator==(const SyncMark &) const = default;
};

/// Where the copy of one record goes on: the positions after the last sample and the last
/// decision of it that the server holds.
struct RecordMark {
    int64_t sample = 0;
    int64_t decision = 0;
};

/// Rows of one rig to write in one transaction: the sample, decision and link-event rows as
/// the local store gives them (recordrows::kSampleColumns...), then the records, whose rows
/// are written last so that a record's change counter on the server says that every row it
/// had is there.
struct SharedBatch {
    std::vector<QVariantList> samples;
    std::vector<QVariantList> decisions;
    std::vector<QVariantList> events;
    std::vector<TestRecord> records;
    size_t rowCount() const;
};

/// The shared database of every rig's records: a PostgreSQL database reached through Qt SQL's
/// QPSQL driver. Its tables hold the local store's rows keyed by rig and local number: record
/// (the record layout's columns and `rig`, key (rig, id)), sample and decision (key (rig,
/// record_id, seq)), link_event (key (rig, id)), and kestrava_schema (its version). Rows are
/// copied with INSERT ... ON CONFLICT DO NOTHING, so a repeated copy changes nothing; a record's
/// row, which changes while its test runs and when its names are saved, goes through the
/// function kestrava_put_records(), which writes it unless the server holds a later change of
/// it. That function runs with its owner's rights for a role that may insert into `record`, so
/// a rig's role needs no more than INSERT and SELECT.
///
/// Every statement is prepared with bound values and has a statement timeout.
class SharedStore final : public RecordReader {
public:
    /// The schema this code writes: the record layout's version, so that a column added to the
    /// layout comes with a migration of the shared database too.
    static constexpr int kSchemaVersion = recordlayout::kVersion;
    /// Seconds a statement may run before the server cancels it.
    static constexpr int kStatementTimeout = 15;

    /// A store over the Qt SQL connection `connectionName`, made by open().
    explicit SharedStore(QString connectionName);
    ~SharedStore() override;
    SharedStore(const SharedStore &) = delete;
    SharedStore &operator=(const SharedStore &) = delete;

    /// Connects to the URL's database and checks that it holds the schema of this version: a
    /// database without it, with an older one ("run kestrava-records init-shared") or a newer
    /// one fails with one line that says so.
    [[nodiscard]] MaybeFailure open(const QString &url);
    /// Connects without checking the schema (for info() and initialise()).
    [[nodiscard]] MaybeFailure connect(const QString &url);
    void close();
    /// Creates the schema, or brings an older one to this version, in one transaction; needs a
    /// role that may create tables. Returns what it did, one line.
    Fallible<QString> initialise();
    /// The server's version, the schema's, and how many rigs and records it holds.
    Fallible<SharedInfo> info() const;

    Fallible<std::vector<TestRecord>> records(const RecordFilter &filter) const override;
    Fallible<RecordDetails> details(const RecordKey &key) const override;
    Fallible<std::vector<RecordFigures>> figureRecords(const RecordFilter &filter,
                                                       StatisticsFigure figure) const override;

    /// Takes the server's lock of the rig's sync for this connection: false when another
    /// connection holds it. The lock goes with the connection.
    Fallible<bool> lockRig(const QString &rig);
    /// How far the server holds the rig's local store.
    Fallible<SyncMark> mark(const QString &rig) const;
    /// How far the server holds the rig's record, read in one statement.
    Fallible<RecordMark> recordMark(const QString &rig, int64_t recordId) const;

    /// Called each time the server answered a statement: a watchdog that ends a process whose
    /// server stopped answering (a frozen server holds a driver call for ever) takes it as
    /// progress.
    void setAnswered(std::function<void()> answered);

    /// Starts and ends the transaction a batch is written in.
    [[nodiscard]] MaybeFailure begin();
    [[nodiscard]] MaybeFailure commit();
    void rollback();
    /// Writes the rig's rows, inside a transaction begun with begin().
    [[nodiscard]] MaybeFailure write(const QString &rig, const SharedBatch &batch);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
