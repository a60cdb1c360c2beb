#include "test/sequencer.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

#include <algorithm>

namespace {

/// PhaseSeconds is 16-bit: a longer phase stays at the bound instead of wrapping.
int16_t saturated(qint64 seconds)
{
    return static_cast<int16_t>(std::clamp<qint64>(seconds, -32768, 32767));
}

qint64 elapsedSeconds(const SharedState &state, int s)
{
    return state.PhaseStartTime[s].secsTo(state.clock->now());
}

/// The pressure has fallen below the phase's reference by more than the limit. The threshold
/// is rounded to a float first, so a pressure exactly at it does not trip.
bool fallTrips(const SharedState &state, int s, float limit, float pressure)
{
    const float threshold = state.RefPressure[s] - limit;
    return threshold > pressure;
}

void endTest(SharedState &state, int s, const QString &message)
{
    state.TestRunning[s] = false;
    state.TimeCaption[s] = QStringLiteral("Time: 00:00:00");
    state.MsgCaption[s] = message;
}

void leakBlock(SharedState &state, int s, float pressure, bool valid)
{
    state.PhaseSeconds[s] = saturated(state.LeakTestDuration - elapsedSeconds(state, s));
    state.TimeCaption[s] = QStringLiteral("Time Remaining: ") + clockText(state.PhaseSeconds[s]);
    if (!valid)
        return;
    if (state.PhaseSeconds[s] <= 0) {
        // A pass seen late (no tick in the second the countdown hit zero) shows the countdown
        // run out, not a negative remainder.
        state.PhaseSeconds[s] = 0;
        state.TimeCaption[s] = QStringLiteral("Time Remaining: ") + clockText(0);
        state.LeakTestPassed[s] = true;
        state.LeakTestActive[s] = false;
        state.MsgCaption[s] = QStringLiteral("Leak Test Passed.");
    }
    if (fallTrips(state, s, state.LeakFallLimit, pressure)) {
        state.LeakTestActive[s] = false;
        endTest(state, s, QStringLiteral("Leak Test Fail. Restart"));
    }
}

void mainBlock(SharedState &state, int s, float pressure, bool valid)
{
    state.PhaseSeconds[s] = saturated(elapsedSeconds(state, s));
    state.TimeCaption[s] = QStringLiteral("Time Elapsed: ") + clockText(state.PhaseSeconds[s]);
    if (!valid)
        return;
    if (state.PhaseSeconds[s] >= state.MainTestDuration) {
        state.MainTestActive[s] = false;
        state.PostTestActive[s] = true;
    }
    if (fallTrips(state, s, state.BathFallLimit, pressure)) {
        state.MainTestActive[s] = false;
        endTest(state, s, QStringLiteral("Leak Test Fail. Restart"));
    }
}

void postTestBlock(SharedState &state, int s, float pressure, bool valid, SequencerResult &result)
{
    state.PhaseSeconds[s] = saturated(elapsedSeconds(state, s));
    state.TimeCaption[s] = QStringLiteral("Time Elapsed: ") + clockText(state.PhaseSeconds[s]);
    if (!valid || !fallTrips(state, s, state.BathFallLimit, pressure))
        return;
    state.PostTestActive[s] = false;
    endTest(state, s, QStringLiteral("Test Complete"));
    if (auto failure = GenerateData(state, static_cast<int16_t>(s)))
        result.exportFailures.push_back({s, *failure});
}

} // namespace

SequencerResult sequencerTick(SharedState &state)
{
    SequencerResult result;
    for (int s = 0; s < kUsedStations; ++s) {
        const float pressure = stationPressure(state, s);
        const bool valid = stationPressureValid(state, s);
        if (!state.TestRunning[s])
            continue;
        // Each block acts on its own flag as it stands when reached, so one tick can carry a
        // station through two changes (a pass then a failure, a phase end then completion).
        if (state.LeakTestActive[s])
            leakBlock(state, s, pressure, valid);
        if (state.MainTestActive[s])
            mainBlock(state, s, pressure, valid);
        if (state.PostTestActive[s])
            postTestBlock(state, s, pressure, valid, result);
    }
    return result;
}
