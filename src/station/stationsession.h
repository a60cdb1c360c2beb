#pragma once

#include "app/failure.h"
#include "records/partmodels.h"
#include "records/testrecord.h"
#include "station/sequencer.h"
#include "station/stationcontrol.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class RecordStore;
class TestRecorder;
struct FlushResult;
struct SharedState;

/// One station's Start and Stop buttons, kept as a record: each start and stop goes both to
/// the station's test record and to the recorder.
class StationSession {
public:
    StationSession(int station, StationRecord &record, TestRecorder &recorder);

    /// The Start button: testStartPressed(), and an accepted start begins a record of the
    /// part (leak start) or notes the main start on it.
    [[nodiscard]] StartOutcome startPressed(const Readings &readings,
                                            const TestParameters &parameters,
                                            const CalibrationConstants &calibration,
                                            const Clock &clock, const PartChoice &part = {});
    /// The Stop button: true when it ended a running test, whose record closes as stopped.
    bool stopPressed(const Clock &clock);

private:
    int m_station;
    StationRecord &m_record;
    TestRecorder &m_recorder;
};

/// The rig's station sessions and the record store they keep, in the working folder: what
/// the main window's handlers call, so that every test becomes a record with its decisions
/// whatever window shows it. The store is written once a second, at the display tick; what
/// the user must be told about it comes back as the text of one "Records Error" box.
class StationSessions {
public:
    explicit StationSessions(SharedState &state);
    ~StationSessions();
    StationSessions(const StationSessions &) = delete;
    StationSessions &operator=(const StationSessions &) = delete;

    /// The main window's load: a database already in the folder is opened, and the records a
    /// crash left open are closed as interrupted, before anything of this run is written.
    /// Without a database nothing is made until the first test.
    std::optional<QString> begin();

    /// Start on the station; a leak start's record keeps the part (its serial and model).
    [[nodiscard]] StartOutcome startPressed(int station, const PartChoice &part = {});
    bool stopPressed(int station);
    /// The sequencing part of a scan tick: sequencerTick() (station 0 then station 1, the
    /// export file at a completion), and each station's decisions with their readings on its
    /// record.
    SequencerResult scanTick();
    /// The records part of a display tick: sample(), then the queue written. Returns the
    /// text of a "Records Error" box to show: one per run of failures, and one when the
    /// database was set aside as unreadable or had gone from the folder.
    std::optional<QString> displayTick();
    /// Every running station's one-second sample: into its record's trace (without limit),
    /// and by recordSamples() into its samples (while they have room).
    void sample();
    /// Something happened to the instrument link.
    void linkEvent(LinkEventKind kind, const QString &detail);
    /// The program ends: running tests close as interrupted and everything queued is written,
    /// however much. The text of a box (or a line) when that fails.
    std::optional<QString> end();

    /// What openStore() did.
    struct StoreOpening {
        /// Why the database cannot be had; none when it can be read.
        MaybeFailure failure;
        /// The text of a "Records Error" box to show, as displayTick() gives it.
        std::optional<QString> notice;
    };
    /// The database for reading, made now if the program has not made it yet (the records
    /// window opens it), by writing what is queued.
    [[nodiscard]] StoreOpening openStore();
    /// A record began or ended since the last call.
    bool takeRecordsChanged();

    /// The names a station's report starts with: those of the station's latest record of
    /// this run, as stored; none without one.
    std::optional<RecordNames> reportNames(int station) const;
    /// A report of the station's latest test was printed or saved with these fields: its
    /// names go to that record (the fields' design texts stand for no name).
    void reportIssued(int station, const QString &testName, const QString &operatorName);

    RecordStore &store();
    TestRecorder &recorder();

private:
    std::optional<QString> flush();
    /// The text of the box a flush's result calls for; `wasFailing`: the flush before failed.
    std::optional<QString> notice(const FlushResult &result, bool wasFailing);

    SharedState &m_state;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<TestRecorder> m_recorder;
    std::vector<StationSession> m_sessions;
    /// The store is in use: it existed at the start, or a test or the records window began.
    bool m_recording = false;
    bool m_recordsChanged = false;
    QString m_setAsideShown;
};
