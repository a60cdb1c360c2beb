#pragma once

#include "app/failure.h"

#include <QDateTime>

#include <vector>

class Clock;
struct Reading;
struct SharedState;
struct StationRecord;
struct TestParameters;

/// What a sequencer tick did to a station, in the order it happened. One tick can bring more
/// than one: a leak pass and a failure, or the main phase's end, its fall test and at once
/// the completion (PostTestStarted, MainFailed, Completed); the last change tells the end.
enum class PhaseChange {
    LeakPassed,      ///< the leak countdown ran out: waiting for the main start
    LeakFailed,      ///< the pressure fell too far in the leak phase: the test ended
    PostTestStarted, ///< the main test's duration was reached
    MainFailed,      ///< the pressure fell too far in the main phase: the test ended
    Completed,       ///< the post-test fall completed the test
};

/// A change with the reading that made it: the evidence a record keeps of each decision.
struct Decision {
    PhaseChange change = PhaseChange::LeakPassed;
    /// When the block that decided read the clock, to the millisecond.
    QDateTime time;
    /// The station pressure of the tick, KPa.
    float pressure = 0;
    /// The phase's reference pressure (RefPressure), KPa.
    float reference = 0;
    /// The fall limit the phase is judged on (LeakFallLimit or BathFallLimit), KPa.
    float limit = 0;

    /// The reference minus the pressure, KPa: positive for a fall.
    double fall() const { return double(reference) - double(pressure); }
};

/// Advances one running station by one tick: its leak, main and post-test blocks in that
/// order, writing its time and status captions. The leak phase passes once its countdown is
/// 0 or less, the main phase ends once the elapsed seconds reach MainTestDuration, and a tick
/// at which the station's pressure reading is invalid only writes the time caption. Returns
/// the decisions in the order they were taken; a station that is not running is left alone.
std::vector<Decision> sequenceStation(StationRecord &record, Reading pressure,
                                      const TestParameters &parameters, const Clock &clock);

/// The decisions of one station in a tick.
struct StationChanges {
    int station = 0;
    std::vector<Decision> decisions;
};

/// What a sequencer tick leaves for the window to act on once the tick is over.
struct SequencerResult {
    std::vector<StationChanges> stations;
    /// Export files that a completion in this tick could not write.
    std::vector<Failure> exportFailures;
};

/// The sequencing part of a scan tick: sequenceStation() for station 0 then station 1. A
/// completion writes the export file at once; a failed write is returned rather than shown,
/// so both stations are sequenced on time.
SequencerResult sequencerTick(SharedState &state);
