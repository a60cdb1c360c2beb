#include "station/sequencer.h"

#include "app/sharedstate.h"
#include "app/textrules.h"
#include "station/exportfile.h"

#include <algorithm>

namespace {

/// PhaseSeconds is 16-bit: a longer phase stays at the bound instead of wrapping.
int16_t saturated(qint64 seconds)
{
    return static_cast<int16_t>(std::clamp<qint64>(seconds, -32768, 32767));
}

/// One station's tick: the record, the pressure taken once for the tick and what to read.
struct StationTick {
    StationRecord &record;
    const Reading pressure;
    const TestParameters &parameters;
    const Clock &clock;
    std::vector<Decision> decisions;

    qint64 elapsedSeconds() const { return record.PhaseStartTime.secsTo(clock.now()); }

    void decide(PhaseChange change, float limit)
    {
        decisions.push_back(
            {change, clock.preciseNow(), pressure.value, record.RefPressure, limit});
    }

    /// The pressure has fallen below the phase's reference by more than the limit. The
    /// threshold is rounded to a float first, so a pressure exactly at it does not trip.
    bool fallTrips(float limit) const
    {
        const float threshold = record.RefPressure - limit;
        return threshold > pressure.value;
    }

    void endTest(const QString &message, PhaseChange change, float limit)
    {
        record.TestRunning = false;
        record.TimeCaption = QStringLiteral("Time: 00:00:00");
        record.MsgCaption = message;
        decide(change, limit);
    }

    void leakBlock()
    {
        record.PhaseSeconds = saturated(parameters.LeakTestDuration - elapsedSeconds());
        record.TimeCaption = QStringLiteral("Time Remaining: ") + clockText(record.PhaseSeconds);
        if (!pressure.valid)
            return;
        if (record.PhaseSeconds <= 0) {
            // A pass seen late (no tick in the second the countdown hit zero) shows the
            // countdown run out, not a negative remainder.
            record.PhaseSeconds = 0;
            record.TimeCaption = QStringLiteral("Time Remaining: ") + clockText(0);
            record.LeakTestPassed = true;
            record.LeakTestActive = false;
            record.MsgCaption = QStringLiteral("Leak Test Passed.");
            decide(PhaseChange::LeakPassed, parameters.LeakFallLimit);
        }
        if (fallTrips(parameters.LeakFallLimit)) {
            record.LeakTestActive = false;
            endTest(QStringLiteral("Leak Test Fail. Restart"), PhaseChange::LeakFailed,
                    parameters.LeakFallLimit);
        }
    }

    void mainBlock()
    {
        record.PhaseSeconds = saturated(elapsedSeconds());
        record.TimeCaption = QStringLiteral("Time Elapsed: ") + clockText(record.PhaseSeconds);
        if (!pressure.valid)
            return;
        if (record.PhaseSeconds >= parameters.MainTestDuration) {
            record.MainTestActive = false;
            record.PostTestActive = true;
            decide(PhaseChange::PostTestStarted, parameters.BathFallLimit);
        }
        if (fallTrips(parameters.BathFallLimit)) {
            record.MainTestActive = false;
            endTest(QStringLiteral("Leak Test Fail. Restart"), PhaseChange::MainFailed,
                    parameters.BathFallLimit);
        }
    }

    void postTestBlock()
    {
        record.PhaseSeconds = saturated(elapsedSeconds());
        record.TimeCaption = QStringLiteral("Time Elapsed: ") + clockText(record.PhaseSeconds);
        if (!pressure.valid || !fallTrips(parameters.BathFallLimit))
            return;
        record.PostTestActive = false;
        endTest(QStringLiteral("Test Complete"), PhaseChange::Completed, parameters.BathFallLimit);
    }
};

} // namespace

std::vector<Decision> sequenceStation(StationRecord &record, Reading pressure,
                                      const TestParameters &parameters, const Clock &clock)
{
    StationTick tick{record, pressure, parameters, clock, {}};
    if (!record.TestRunning)
        return {};
    // Each block acts on its own flag as it stands when reached, so one tick can carry a
    // station through two changes (a pass then a failure, a phase end then completion).
    if (record.LeakTestActive)
        tick.leakBlock();
    if (record.MainTestActive)
        tick.mainBlock();
    if (record.PostTestActive)
        tick.postTestBlock();
    return std::move(tick.decisions);
}

SequencerResult sequencerTick(SharedState &state)
{
    SequencerResult result;
    for (int s = 0; s < kStations; ++s) {
        StationRecord &record = state.stations[size_t(s)];
        std::vector<Decision> decisions = sequenceStation(
            record, stationPressure(state.readings, s), state.parameters, *state.clock);
        if (decisions.empty())
            continue;
        // The export is written within the tick that completes the test, before the next
        // station is sequenced.
        if (decisions.back().change == PhaseChange::Completed) {
            if (MaybeFailure failure = writeExportFile(state.AppPath, record))
                result.exportFailures.push_back(*failure);
        }
        result.stations.push_back({s, std::move(decisions)});
    }
    return result;
}
