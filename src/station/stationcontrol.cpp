#include "station/stationcontrol.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {

void leakStart(StationRecord &record, float pressure, const Clock &clock)
{
    const QDateTime now = clock.now();
    record.TestRunning = true;
    record.SampleIndex = 0;
    record.PhaseStartTime = now;
    record.MsgCaption = QStringLiteral("Leak Test In Progress");
    record.LeakTestActive = true;
    record.LeakTestPassed = false;
    record.MainTestActive = false;
    record.PostTestActive = false;
    record.RefPressure = pressure;
    record.TestStartDate = formatDate(now);
    record.TestStartTime = formatTime(now);
}

void mainStart(StationRecord &record, float pressure, const Clock &clock)
{
    record.PhaseStartTime = clock.now();
    record.MsgCaption = QStringLiteral("Main Test In Progress");
    record.MainTestActive = true;
    record.PostTestActive = false;
    record.RefPressure = pressure;
}

StartOutcome refused(StartOutcome::Kind kind, const QString &text)
{
    return {kind, Failure{text, {}}};
}

} // namespace

StartOutcome testStartPressed(StationRecord &record, Reading pressure, Reading bathTemp,
                              const TestParameters &parameters, const Clock &clock)
{
    using Kind = StartOutcome::Kind;
    const bool leakPhaseRunning = record.TestRunning && !record.LeakTestPassed;
    if (leakPhaseRunning)
        return {Kind::Ignored, std::nullopt};
    // Both starts keep the pressure as the phase's reference: a lost reading would stand
    // there as 0, and the test could then neither fail nor complete.
    if (!pressure.valid)
        return refused(Kind::NoPressure, QStringLiteral("No pressure reading"));

    // A station that is not running starts a new test, also after a completed test or a
    // failed main test, which leave LeakTestPassed set.
    if (!record.TestRunning) {
        if (pressure.value < parameters.StartPressureLimit)
            return refused(Kind::PressureTooLow,
                           QStringLiteral("Pressure less than ") +
                               formatOneDecimal(parameters.StartPressureLimit) +
                               QStringLiteral("KPa"));
        leakStart(record, pressure.value, clock);
        return {Kind::LeakStarted, std::nullopt};
    }

    if (!bathTemp.valid)
        return refused(Kind::NoTemperature, QStringLiteral("No temperature reading"));
    if (bathTemp.value < parameters.MinBathTemp)
        return refused(Kind::TemperatureTooLow, QStringLiteral("Temperature less than ") +
                                                    formatOneDecimal(parameters.MinBathTemp) +
                                                    QStringLiteral("°C"));
    mainStart(record, pressure.value, clock);
    return {Kind::MainStarted, std::nullopt};
}

bool testStopPressed(StationRecord &record)
{
    if (!record.TestRunning)
        return false;
    record.TestRunning = false;
    record.LeakTestPassed = false;
    record.TimeCaption = QStringLiteral("Time: 00:00:00");
    record.MsgCaption = QStringLiteral("Process In Idle Mode");
    return true;
}
