#pragma once

#include "app/clock.h"
#include "app/config.h"
#include "app/sharedstate.h"
#include "station/livedisplay.h"
#include "station/sequencer.h"
#include "station/stationcontrol.h"

#include <QDebug>
#include <QStringList>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>

/// A fresh program state for station tests: a manual clock at 12-07-2026 10:00:00, the default
/// parameters, both pressures 700 KPa and the bath 105 °C, all valid, and a temporary working
/// folder. Start and stop go to one station's record with its readings and the parameters, as
/// the main window hands them; time moves only through run().
class StationRig {
public:
    /// A reading the instrument did not give.
    static constexpr float kLost = std::numeric_limits<float>::quiet_NaN();
    static inline const QDateTime kStart{QDate(2026, 7, 12), QTime(10, 0, 0)};

    StationRig()
    {
        auto manual = std::make_unique<ManualClock>(kStart);
        clock = manual.get();
        state.clock = std::move(manual);
        applyConfigDefaults(state);
        state.AppPath = dir.path();
        setPressure(0, 700);
        setPressure(1, 700);
        setBath(105);
    }

    StationRecord &record(int s) { return state.stations[size_t(s)]; }
    const StationRecord &record(int s) const { return state.stations[size_t(s)]; }

    /// Sets a station pressure as the device link would: a lost reading (kLost) stands as 0.
    void setPressure(int s, float pressure)
    {
        Readings &r = state.readings;
        set(s == 0 ? r.Pressure1 : r.Pressure2, s == 0 ? r.Pressure1Valid : r.Pressure2Valid,
            pressure);
    }
    void setBath(float temp) { set(state.readings.BathTemp, state.readings.BathTempValid, temp); }

    StartOutcome start(int s)
    {
        return testStartPressed(record(s), stationPressure(state.readings, s),
                                bathTemperature(state.readings), state.parameters, *clock);
    }
    bool stop(int s) { return testStopPressed(record(s)); }

    SequencerResult tick() { return sequencerTick(state); }

    /// Seconds of the running program: each second the clock moves on, the sampler records
    /// and a scan tick runs. Returns what all those ticks did.
    SequencerResult run(int seconds)
    {
        SequencerResult all;
        for (int i = 0; i < seconds; ++i) {
            clock->advance(1);
            recordSamples(state);
            SequencerResult one = tick();
            all.stations.insert(all.stations.end(), one.stations.begin(), one.stations.end());
            all.exportFailures.insert(all.exportFailures.end(), one.exportFailures.begin(),
                                      one.exportFailures.end());
        }
        return all;
    }

    /// Brings an idle station to a stage: "idle", "leak", "waiting", "main", "post" or
    /// "completed", at the station's present pressure.
    void reach(int s, const QString &stage)
    {
        const TestParameters &p = state.parameters;
        const QStringList stages{"idle", "leak", "waiting", "main", "post", "completed"};
        const qsizetype target = stages.indexOf(stage);
        Q_ASSERT(target >= 0);
        if (target >= 1)
            start(s);
        if (target >= 2)
            run(p.LeakTestDuration);
        if (target >= 3)
            start(s);
        if (target >= 4)
            run(p.MainTestDuration);
        if (target >= 5) {
            const Reading pressure = stationPressure(state.readings, s);
            setPressure(s, pressure.value - p.BathFallLimit - 1);
            tick();
            setPressure(s, pressure.value);
        }
    }

    /// The station state told by its flags: idle, leak, waiting, main, post or ended (after
    /// the leak pass); anything else names the odd combination.
    QString stage(int s) const
    {
        const StationRecord &r = record(s);
        if (!r.TestRunning)
            return r.LeakTestPassed ? QStringLiteral("ended") : QStringLiteral("idle");
        if (int(r.LeakTestActive) + int(r.MainTestActive) + int(r.PostTestActive) > 1)
            return QStringLiteral("two phases");
        if (!r.LeakTestPassed)
            return r.LeakTestActive ? QStringLiteral("leak") : QStringLiteral("no phase");
        if (r.MainTestActive)
            return QStringLiteral("main");
        if (r.PostTestActive)
            return QStringLiteral("post");
        return r.LeakTestActive ? QStringLiteral("leak after pass") : QStringLiteral("waiting");
    }

    /// Every field of a station's record but its samples, to show that nothing changed.
    static QString fields(const StationRecord &r)
    {
        QString text;
        QDebug(&text) << r.TestRunning << r.LeakTestActive << r.LeakTestPassed << r.MainTestActive
                      << r.PostTestActive << r.SampleIndex << r.SampleCount << r.PhaseStartTime
                      << r.PhaseSeconds << r.RefPressure << r.TestStartDate << r.TestStartTime
                      << r.TimeCaption << r.MsgCaption;
        return text;
    }

    QTemporaryDir dir;
    SharedState state;
    ManualClock *clock = nullptr;

private:
    static void set(float &value, bool &valid, float reading)
    {
        valid = !std::isnan(reading);
        value = valid ? reading : 0.0f;
    }
};
