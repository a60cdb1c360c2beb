#pragma once

#include "app/failure.h"
#include "records/partmodels.h"
#include "records/testrecord.h"
#include "station/sequencer.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class RecordStore;

/// What a flush did.
struct FlushResult {
    /// Why the queue could not be written; it is kept for the next flush.
    MaybeFailure failure;
    /// The database file had gone from its path (deleted, moved or replaced): a new database
    /// was started there and the open records were written into it whole.
    bool restarted = false;
    /// The log of the file that had gone could not be written into it and is kept beside the
    /// path (RecordStore::closeGoneFile()); told whatever became of the rest of the flush.
    MaybeFailure logKept;
};

/// Keeps the record store in step with the station tests. It queues everything in memory and
/// writes the queue in one transaction at each flush(), once a second. A failed flush keeps the
/// queue for the next one, so a full disk or a locked database loses nothing while the program
/// runs, and a crash loses at most what came after the last flush. The open records are kept
/// whole in memory until they close, so that a database file that goes away while the program
/// runs is noticed at the next flush and the open records are written whole into a new one.
///
/// A record begins with the leak start and stays open until its test ends; a call for a
/// station without an open record is ignored.
class TestRecorder {
public:
    explicit TestRecorder(RecordStore &store);
    ~TestRecorder();
    TestRecorder(const TestRecorder &) = delete;
    TestRecorder &operator=(const TestRecorder &) = delete;

    /// A leak start was accepted: a new record from the station's start (PhaseStartTime), its
    /// reference pressure, the parameters and calibration constants now in force, and the
    /// part it tests (its serial, its model with the model's volume now).
    void leakStarted(int station, const StationRecord &record, const TestParameters &parameters,
                     const CalibrationConstants &calibration, const PartChoice &part = {});
    /// A main start was accepted (a restart replaces the earlier main start and post-test time).
    void mainStarted(int station, const StationRecord &record);
    /// What a sequencer tick decided for the station, with the readings that decided it: the
    /// phase times, and the outcome told by the last decision that ends a test.
    void decided(int station, std::span<const Decision> decisions);
    /// The Stop button ended a running test.
    void stopped(int station, const QDateTime &now);
    /// The one-second sample of a running station, taken at every display tick whether or not
    /// the export store is full. Its phase comes from the station's flags.
    void sampled(int station, const StationRecord &record, Reading pressure, Reading bathTemp,
                 const QDateTime &now);
    /// Something happened to the link: the event goes to every open record.
    void linkEvent(LinkEventKind kind, const QString &detail, const QDateTime &now);
    /// The names of a report issued for the station's latest record of this run (printed or
    /// saved): they go to that record, if there is one.
    void namesIssued(int station, const RecordNames &names);
    /// The names of the station's latest record of this run: as stored when it is stored (the
    /// records window may have changed them), else as this run gave them. Empty when the
    /// station has no record this run or the store cannot be read.
    std::optional<RecordNames> latestNames(int station) const;
    /// Stores the names of a record, through the store, and keeps them for the record if it
    /// is one of this run's.
    [[nodiscard]] MaybeFailure setNames(int64_t recordId, const RecordNames &names);
    /// The part models of the store.
    Fallible<std::vector<PartModel>> partModels() const;
    /// Stores a part model through the store (RecordStore::savePartModel); a renamed model's
    /// name changes on this run's records too. Returns the model's id.
    Fallible<int64_t> savePartModel(const PartModel &model);
    /// Deletes a part model that no record uses.
    [[nodiscard]] MaybeFailure deletePartModel(int64_t id);

    /// The program ends normally: tests still running are closed as interrupted. A flush()
    /// without a sample budget should follow.
    void programEnding(const QDateTime &now);

    /// Samples one flush writes at the most. After an outage the queue is caught up a few
    /// hundred samples a second, each flush taking a few milliseconds, instead of one long
    /// write that would hold up the user-interface thread.
    static constexpr size_t kSamplesPerFlush = 500;

    /// Opens the store if it is not open (closing the records an earlier run left open, before
    /// anything of this run is written), then writes what is queued in one transaction: every
    /// record row, decision and link event, and up to `sampleBudget` samples, oldest first.
    /// A database file that went from its path is closed first and a new one opened there.
    FlushResult flush(size_t sampleBudget = kSamplesPerFlush);
    /// The last flush failed.
    bool failing() const { return m_failing; }

    /// The id of the station's latest record of this run once stored.
    std::optional<int64_t> latestRecordId(int station) const;

private:
    struct Entry;
    Entry *openEntry(int station);
    Entry *latestEntry(int station);
    const Entry *latestEntry(int station) const;
    static void close(Entry &entry, Outcome outcome, const QDateTime &now);
    /// The database file went away: the open records (and those not yet written whole) are
    /// written anew, whole, into the next database; the others stay in the file that went.
    void restartEntries();

    RecordStore &m_store;
    std::vector<Entry> m_entries; // oldest first
    bool m_recovered = false;
    bool m_failing = false;
};
