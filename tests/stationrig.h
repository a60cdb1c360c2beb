#pragma once

#include "app/clock.h"
#include "app/config.h"
#include "app/sharedstate.h"
#include "station/sequencer.h"
#include "station/stationcontrol.h"
#include "station/livedisplay.h"

#include <QTemporaryDir>

#include <memory>

/// A fresh program state for station tests: a manual clock at 12-07-2026 10:00:00, the default
/// parameters, both pressures 700 KPa and the bath 105 °C, all valid, and a temporary working
/// folder. Time moves only through run().
class StationRig {
public:
    StationRig()
    {
        auto manual = std::make_unique<ManualClock>(kStart);
        clock = manual.get();
        state.clock = std::move(manual);
        applyConfigDefaults(state);
        state.AppPath = dir.path();
        setPressure(0, 700);
        setPressure(1, 700);
        state.readings.BathTemp = 105;
        state.readings.BathTempValid = true;
    }

    static inline const QDateTime kStart{QDate(2026, 7, 12), QTime(10, 0, 0)};

    /// Sets a station pressure as the device link would: an invalid reading stands as 0.
    void setPressure(int s, float pressure, bool valid = true)
    {
        (s == 0 ? state.readings.Pressure1 : state.readings.Pressure2) = valid ? pressure : 0.0f;
        (s == 0 ? state.readings.Pressure1Valid : state.readings.Pressure2Valid) = valid;
    }

    SequencerResult tick() { return sequencerTick(state); }

    /// Seconds of the running program: each second the clock moves on, the sampler records
    /// and a scan tick runs. Returns the export failures of all those ticks.
    SequencerResult run(int seconds)
    {
        SequencerResult all;
        for (int i = 0; i < seconds; ++i) {
            clock->advance(1);
            recordSamples(state);
            const SequencerResult one = tick();
            all.exportFailures.insert(all.exportFailures.end(), one.exportFailures.begin(),
                                      one.exportFailures.end());
        }
        return all;
    }

    StartOutcome start(int s) { return testStartPressed(state, s); }

    /// Brings an idle station to a stage: "leak", "waiting", "main", "post", "completed",
    /// "main failed" or "pass and fail" (leak pass and leak failure in one tick).
    void reach(int s, const QString &stage)
    {
        const float pressure = stationPressure(state, s);
        if (stage == QLatin1String("idle"))
            return;
        start(s);
        if (stage == QLatin1String("pass and fail")) {
            run(state.parameters.LeakTestDuration - 1);
            setPressure(s, pressure - state.parameters.LeakFallLimit - 1);
            run(1);
            setPressure(s, pressure);
            return;
        }
        if (stage == QLatin1String("leak"))
            return;
        run(state.parameters.LeakTestDuration);
        if (stage == QLatin1String("waiting"))
            return;
        start(s);
        if (stage == QLatin1String("main failed")) {
            run(1);
            setPressure(s, pressure - state.parameters.BathFallLimit - 1);
            tick();
            setPressure(s, pressure);
            return;
        }
        if (stage == QLatin1String("main"))
            return;
        run(state.parameters.MainTestDuration);
        if (stage == QLatin1String("post"))
            return;
        setPressure(s, pressure - state.parameters.BathFallLimit - 1);
        tick();
        setPressure(s, pressure);
    }

    /// The station state told by its flags: idle, leak, waiting, main, post or ended (after
    /// the leak pass).
    QString stage(int s) const
    {
        if (!state.stations[s].TestRunning)
            return state.stations[s].LeakTestPassed ? QStringLiteral("ended") : QStringLiteral("idle");
        const int phases = int(state.stations[s].LeakTestActive) + int(state.stations[s].MainTestActive) +
                           int(state.stations[s].PostTestActive);
        if (phases > 1)
            return QStringLiteral("two phases");
        if (!state.stations[s].LeakTestPassed)
            return state.stations[s].LeakTestActive ? QStringLiteral("leak") : QStringLiteral("no phase");
        if (state.stations[s].MainTestActive)
            return QStringLiteral("main");
        if (state.stations[s].PostTestActive)
            return QStringLiteral("post");
        return state.stations[s].LeakTestActive ? QStringLiteral("leak after pass")
                                       : QStringLiteral("waiting");
    }

    /// Every field of a station's record and its captions, to show that nothing changed.
    QString record(int s) const
    {
        return QStringList{QString::number(state.stations[s].TestRunning),
                           QString::number(state.stations[s].LeakTestActive),
                           QString::number(state.stations[s].LeakTestPassed),
                           QString::number(state.stations[s].MainTestActive),
                           QString::number(state.stations[s].PostTestActive),
                           QString::number(state.stations[s].SampleIndex),
                           QString::number(state.stations[s].SampleCount),
                           state.stations[s].PhaseStartTime.toString(Qt::ISODate),
                           QString::number(state.stations[s].PhaseSeconds),
                           QString::number(state.stations[s].RefPressure),
                           state.stations[s].TestStartDate,
                           state.stations[s].TestStartTime,
                           state.stations[s].TimeCaption,
                           state.stations[s].MsgCaption}
            .join(QStringLiteral(" | "));
    }

    QTemporaryDir dir;
    SharedState state;
    ManualClock *clock = nullptr;
};
