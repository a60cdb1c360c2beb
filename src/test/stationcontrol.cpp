#include "test/stationcontrol.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {

void leakStart(SharedState &state, int s, float pressure)
{
    const QDateTime now = state.clock->now();
    state.TestRunning[s] = true;
    state.SampleIndex[s] = 0;
    state.PhaseStartTime[s] = now;
    state.MsgCaption[s] = QStringLiteral("Leak Test In Progress");
    state.LeakTestActive[s] = true;
    state.LeakTestPassed[s] = false;
    state.MainTestActive[s] = false;
    state.PostTestActive[s] = false;
    state.RefPressure[s] = pressure;
    state.TestStartDate[s] = formatDate(now);
    state.TestStartTime[s] = formatTime(now);
}

void mainStart(SharedState &state, int s, float pressure)
{
    state.PhaseStartTime[s] = state.clock->now();
    state.MsgCaption[s] = QStringLiteral("Main Test In Progress");
    state.MainTestActive[s] = true;
    state.PostTestActive[s] = false;
    state.RefPressure[s] = pressure;
}

} // namespace

StartOutcome testStartPressed(SharedState &state, int station)
{
    using Kind = StartOutcome::Kind;
    const float pressure = stationPressure(state, station);

    // A station that is not running starts a new test, also after a completed test or a
    // failed main test, which leave LeakTestPassed set.
    if (!state.TestRunning[station]) {
        if (pressure < state.StartPressureLimit)
            return {Kind::PressureTooLow, QStringLiteral("Pressure less than ") +
                                              formatOneDecimal(state.StartPressureLimit) +
                                              QStringLiteral("KPa")};
        leakStart(state, station, pressure);
        return {Kind::LeakStarted, {}};
    }

    if (!state.LeakTestPassed[station])
        return {Kind::Ignored, {}};
    if (state.BathTemp < state.MinBathTemp)
        return {Kind::TemperatureTooLow, QStringLiteral("Temperature less than ") +
                                             formatOneDecimal(state.MinBathTemp) +
                                             QStringLiteral("°C")};
    mainStart(state, station, pressure);
    return {Kind::MainStarted, {}};
}

void testStopPressed(SharedState &state, int station)
{
    if (!state.TestRunning[station])
        return;
    state.TestRunning[station] = false;
    state.LeakTestPassed[station] = false;
    state.TimeCaption[station] = QStringLiteral("Time: 00:00:00");
    state.MsgCaption[station] = QStringLiteral("Process In Idle Mode");
}
