#include "stationrig.h"

#include "app/textrules.h"
#include "station/exportfile.h"

#include <QFile>
#include <QTest>

#include <cmath>

using Kind = StartOutcome::Kind;
Q_DECLARE_METATYPE(Kind)

namespace {
const QString kTimeZero = QStringLiteral("Time: 00:00:00");
const QString kLeakFail = QStringLiteral("Leak Test Fail. Restart");

QString remaining(const QString &clock)
{
    return QStringLiteral("Time Remaining: ") + clock;
}

QString elapsed(const QString &clock)
{
    return QStringLiteral("Time Elapsed: ") + clock;
}
} // namespace

class TestSequencer : public QObject {
    Q_OBJECT

private slots:
    void init();

    // Start and stop.
    void startChecks_data();
    void startChecks();
    void leakStartWritesTheRecord();
    void secondTestRestartsSampling();
    void mainStartAgainRestartsTheClock_data();
    void mainStartAgainRestartsTheClock();
    void stop_data();
    void stop();
    void stopThenStartBeginsALeakTest_data();
    void stopThenStartBeginsALeakTest();

    // The sequencer.
    void nominalTest_data();
    void nominalTest();
    void fallTest_data();
    void fallTest();
    void fallIsMeasuredFromThePhaseStart();
    void leakPasses_data();
    void leakPasses();
    void mainTestEnds_data();
    void mainTestEnds();
    void leakDurationChangeShowsAtOnce();
    void leakPassAndFailInOneTick();
    void mainEndAndFallInOneTick();
    void lostReadingDecidesNothing_data();
    void lostReadingDecidesNothing();
    void phaseSecondsSaturate();
    void idleAndWaitingStationsAreLeftAlone();
    void stationsAreIndependent();
    void stationZeroIsSequencedFirst();
    void exportFailureComesBackWithTheTick();

private:
    std::unique_ptr<StationRig> m_rig;
};

void TestSequencer::init()
{
    m_rig = std::make_unique<StationRig>();
    QVERIFY(m_rig->dir.isValid());
}

void TestSequencer::startChecks_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<float>("pressure");
    QTest::addColumn<float>("bath");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("failText");
    QTest::addColumn<QString>("after");

    const QString lowPressure = QStringLiteral("Pressure less than 600.0KPa");
    const QString lowBath = QStringLiteral("Temperature less than 100.0°C");
    QTest::newRow("idle, above the limit") << "idle" << 700.f << 0.f << Kind::LeakStarted << ""
                                           << "leak";
    QTest::newRow("idle, at the limit") << "idle" << 600.f << 0.f << Kind::LeakStarted << ""
                                        << "leak";
    QTest::newRow("idle, below the limit")
        << "idle" << 599.99f << 105.f << Kind::PressureTooLow << lowPressure << "idle";
    QTest::newRow("idle, no reading")
        << "idle" << 0.f << 105.f << Kind::PressureTooLow << lowPressure << "idle";
    QTest::newRow("leak test") << "leak" << 700.f << 105.f << Kind::Ignored << ""
                               << "leak";
    QTest::newRow("waiting, warm") << "waiting" << 700.f << 105.f << Kind::MainStarted << ""
                                   << "main";
    QTest::newRow("waiting, at the limit") << "waiting" << 700.f << 100.f << Kind::MainStarted << ""
                                           << "main";
    QTest::newRow("waiting, too cold")
        << "waiting" << 700.f << 99.9f << Kind::TemperatureTooLow << lowBath << "waiting";
    QTest::newRow("waiting, low pressure is no matter")
        << "waiting" << 10.f << 105.f << Kind::MainStarted << ""
        << "main";
    QTest::newRow("main test") << "main" << 700.f << 105.f << Kind::MainStarted << ""
                               << "main";
    QTest::newRow("post-test") << "post" << 700.f << 105.f << Kind::MainStarted << ""
                               << "main";
    QTest::newRow("post-test, too cold")
        << "post" << 700.f << 20.f << Kind::TemperatureTooLow << lowBath << "post";
    QTest::newRow("completed") << "completed" << 700.f << 0.f << Kind::LeakStarted << ""
                               << "leak";
    QTest::newRow("completed, low pressure")
        << "completed" << 500.f << 105.f << Kind::PressureTooLow << lowPressure << "ended";
    QTest::newRow("main failed") << "main failed" << 700.f << 0.f << Kind::LeakStarted << ""
                                 << "leak";
    QTest::newRow("pass and fail") << "pass and fail" << 700.f << 0.f << Kind::LeakStarted << ""
                                   << "leak";
}

void TestSequencer::startChecks()
{
    QFETCH(QString, stage);
    QFETCH(float, pressure);
    QFETCH(float, bath);
    QFETCH(Kind, kind);
    QFETCH(QString, failText);
    QFETCH(QString, after);

    StationRig &rig = *m_rig;
    rig.reach(1, stage);
    rig.setPressure(1, pressure);
    rig.state.readings.BathTemp = bath;
    const QString before = rig.record(1);
    const QString otherStation = rig.record(0);

    const StartOutcome outcome = rig.start(1);
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(outcome.failText, failText);
    QCOMPARE(outcome.refused(), !failText.isEmpty());
    QCOMPARE(rig.stage(1), after);
    if (kind != Kind::LeakStarted && kind != Kind::MainStarted)
        QCOMPARE(rig.record(1), before); // refused or ignored: nothing changes
    QCOMPARE(rig.record(0), otherStation);
    if (kind == Kind::LeakStarted)
        QVERIFY(!rig.state.stations[1].LeakTestPassed);
}

void TestSequencer::leakStartWritesTheRecord()
{
    StationRig &rig = *m_rig;
    rig.state.stations[0].SampleIndex = 37; // left by an earlier test
    rig.state.stations[0].SampleCount = 36;
    rig.state.stations[0].MainTestActive = true; // a stopped main test leaves its flags
    rig.state.stations[0].PostTestActive = true;
    rig.clock->set(QDateTime(QDate(2026, 1, 2), QTime(21, 5, 9)));
    rig.setPressure(0, 701.5f);

    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    const SharedState &s = rig.state;
    QVERIFY(s.stations[0].TestRunning && s.stations[0].LeakTestActive);
    QVERIFY(!s.stations[0].LeakTestPassed && !s.stations[0].MainTestActive && !s.stations[0].PostTestActive);
    QCOMPARE(s.stations[0].SampleIndex, 0);
    QCOMPARE(s.stations[0].SampleCount, int16_t(36)); // until the first sample of the new test
    QCOMPARE(s.stations[0].PhaseStartTime, rig.clock->now());
    QCOMPARE(s.stations[0].RefPressure, 701.5f);
    QCOMPARE(s.stations[0].TestStartDate, QStringLiteral("02-01-2026"));
    QCOMPARE(s.stations[0].TestStartTime, QStringLiteral("21:05:09"));
    QCOMPARE(s.stations[0].MsgCaption, QStringLiteral("Leak Test In Progress"));
    QCOMPARE(s.stations[0].TimeCaption, kTimeZero); // the sequencer writes it, not the start

    rig.tick();
    QCOMPARE(s.stations[0].TimeCaption, remaining("00:10:00"));
    rig.run(1);
    QCOMPARE(s.stations[0].SampleCount, int16_t(0));
    QCOMPARE(s.stations[0].TimeCaption, remaining("00:09:59"));
}

void TestSequencer::secondTestRestartsSampling()
{
    StationRig &rig = *m_rig;
    rig.reach(0, QStringLiteral("completed"));
    const int16_t firstCount = rig.state.stations[0].SampleCount;
    QCOMPARE(firstCount, int16_t(1499));
    rig.state.stations[0].Samples[firstCount] = 123.f;

    rig.run(3600);
    rig.setPressure(0, 650);
    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    QCOMPARE(rig.state.stations[0].TestStartDate, QStringLiteral("12-07-2026"));
    QCOMPARE(rig.state.stations[0].TestStartTime, formatTime(rig.clock->now()));
    QVERIFY(rig.state.stations[0].TestStartTime != QStringLiteral("10:00:00"));
    rig.run(2);
    QCOMPARE(rig.state.stations[0].SampleCount, int16_t(1));
    QCOMPARE(rig.state.stations[0].Samples[0], 650.f);
    QCOMPARE(rig.state.stations[0].Samples[firstCount], 123.f); // beyond the new test: left alone
}

void TestSequencer::mainStartAgainRestartsTheClock_data()
{
    QTest::addColumn<QString>("stage");
    QTest::newRow("main test") << "main";
    QTest::newRow("post-test") << "post";
}

void TestSequencer::mainStartAgainRestartsTheClock()
{
    QFETCH(QString, stage);
    StationRig &rig = *m_rig;
    rig.reach(0, stage);
    rig.run(30);
    const auto sampleIndex = rig.state.stations[0].SampleIndex;
    const QString date = rig.state.stations[0].TestStartDate;
    const QString time = rig.state.stations[0].TestStartTime;

    rig.setPressure(0, 690);
    QCOMPARE(rig.start(0).kind, Kind::MainStarted);
    QCOMPARE(rig.stage(0), QStringLiteral("main"));
    QCOMPARE(rig.state.stations[0].RefPressure, 690.f);
    QCOMPARE(rig.state.stations[0].PhaseStartTime, rig.clock->now());
    rig.tick();
    QCOMPARE(rig.state.stations[0].TimeCaption, elapsed("00:00:00"));
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Main Test In Progress"));
    QCOMPARE(rig.state.stations[0].SampleIndex, sampleIndex);
    QCOMPARE(rig.state.stations[0].TestStartDate, date);
    QCOMPARE(rig.state.stations[0].TestStartTime, time);

    // The fall is now measured from 690 and the end from this press.
    rig.setPressure(0, 690 - 14);
    rig.run(899);
    QCOMPARE(rig.stage(0), QStringLiteral("main"));
    rig.run(1);
    QCOMPARE(rig.stage(0), QStringLiteral("post"));
}

void TestSequencer::stop_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<bool>("acts");
    QTest::newRow("leak test") << "leak" << true;
    QTest::newRow("waiting") << "waiting" << true;
    QTest::newRow("main test") << "main" << true;
    QTest::newRow("post-test") << "post" << true;
    QTest::newRow("idle") << "idle" << false;
    QTest::newRow("completed") << "completed" << false;
    QTest::newRow("main failed") << "main failed" << false;
}

void TestSequencer::stop()
{
    QFETCH(QString, stage);
    QFETCH(bool, acts);
    StationRig &rig = *m_rig;
    rig.reach(0, stage);
    rig.run(2);
    const QString before = rig.record(0);

    testStopPressed(rig.state, 0);
    if (!acts) {
        QCOMPARE(rig.record(0), before);
        return;
    }
    QCOMPARE(rig.stage(0), QStringLiteral("idle"));
    QCOMPARE(rig.state.stations[0].TimeCaption, kTimeZero);
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Process In Idle Mode"));

    // Nothing runs on afterwards: no sampling, no sequencing, no export.
    const auto samples = rig.state.stations[0].SampleIndex;
    rig.setPressure(0, 0);
    rig.run(2000);
    QCOMPARE(rig.state.stations[0].SampleIndex, samples);
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Process In Idle Mode"));
    QVERIFY(!QFile::exists(exportPath(rig.state)));
}

void TestSequencer::stopThenStartBeginsALeakTest_data()
{
    QTest::addColumn<QString>("stage");
    QTest::newRow("waiting") << "waiting";
    QTest::newRow("main test") << "main";
}

void TestSequencer::stopThenStartBeginsALeakTest()
{
    QFETCH(QString, stage);
    StationRig &rig = *m_rig;
    rig.reach(0, stage);
    testStopPressed(rig.state, 0);
    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    rig.run(5);
    QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:09:55"));
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Leak Test In Progress"));
}

void TestSequencer::nominalTest_data()
{
    QTest::addColumn<int>("station");
    QTest::newRow("TEST 1") << 0;
    QTest::newRow("TEST 2") << 1;
}

void TestSequencer::nominalTest()
{
    QFETCH(int, station);
    const int other = 1 - station;
    StationRig &rig = *m_rig;
    const SharedState &s = rig.state;
    const QString otherRecord = rig.record(other);

    QCOMPARE(rig.start(station).kind, Kind::LeakStarted);
    rig.tick();
    QCOMPARE(s.stations[station].TimeCaption, remaining("00:10:00"));
    QCOMPARE(s.stations[station].PhaseSeconds, int16_t(600));
    rig.run(599);
    QCOMPARE(s.stations[station].TimeCaption, remaining("00:00:01"));
    QCOMPARE(rig.stage(station), QStringLiteral("leak"));
    rig.run(1);
    QCOMPARE(s.stations[station].TimeCaption, remaining("00:00:00"));
    QCOMPARE(s.stations[station].MsgCaption, QStringLiteral("Leak Test Passed."));
    QCOMPARE(rig.stage(station), QStringLiteral("waiting"));

    rig.run(60); // waiting: texts stay, samples go on
    QCOMPARE(s.stations[station].TimeCaption, remaining("00:00:00"));
    QCOMPARE(s.stations[station].MsgCaption, QStringLiteral("Leak Test Passed."));
    QCOMPARE(s.stations[station].SampleCount, int16_t(659));

    QCOMPARE(rig.start(station).kind, Kind::MainStarted);
    QCOMPARE(s.stations[station].MsgCaption, QStringLiteral("Main Test In Progress"));
    rig.tick();
    QCOMPARE(s.stations[station].TimeCaption, elapsed("00:00:00"));
    rig.run(899);
    QCOMPARE(s.stations[station].TimeCaption, elapsed("00:14:59"));
    QCOMPARE(rig.stage(station), QStringLiteral("main"));
    rig.run(1);
    QCOMPARE(s.stations[station].TimeCaption, elapsed("00:15:00"));
    QCOMPARE(rig.stage(station), QStringLiteral("post"));
    QCOMPARE(s.stations[station].MsgCaption, QStringLiteral("Main Test In Progress"));
    rig.run(3000);
    QCOMPARE(s.stations[station].TimeCaption, elapsed("01:05:00"));
    QCOMPARE(s.stations[station].PhaseSeconds, int16_t(3900));
    QVERIFY(!QFile::exists(exportPath(s)));

    rig.setPressure(station, 685.9f); // vented: more than 14 KPa below 700
    const SequencerResult result = rig.run(1);
    QVERIFY(result.exportFailures.empty());
    QCOMPARE(s.stations[station].TimeCaption, kTimeZero);
    QCOMPARE(s.stations[station].MsgCaption, QStringLiteral("Test Complete"));
    QCOMPARE(rig.stage(station), QStringLiteral("ended"));
    const int samples = 600 + 60 + 900 + 3000 + 1;
    QCOMPARE(s.stations[station].SampleCount, int16_t(samples - 1));

    QFile file(exportPath(s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), exportText(s, int16_t(station)));
    QCOMPARE(rig.record(other), otherRecord);
}

void TestSequencer::fallTest_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<float>("drop"); // -1: one float step below the threshold; 0: at it
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("message");

    const QString leak = QStringLiteral("Leak Test In Progress");
    const QString main = QStringLiteral("Main Test In Progress");
    QTest::newRow("leak, at the threshold") << "leak" << 0.f << "leak" << leak;
    QTest::newRow("leak, below it") << "leak" << -1.f << "idle" << kLeakFail;
    QTest::newRow("leak, a rise") << "leak" << 50.f << "leak" << leak;
    QTest::newRow("main, at the threshold") << "main" << 0.f << "main" << main;
    QTest::newRow("main, below it") << "main" << -1.f << "ended" << kLeakFail;
    QTest::newRow("main, a rise") << "main" << 50.f << "main" << main;
    QTest::newRow("post, at the threshold") << "post" << 0.f << "post" << main;
    QTest::newRow("post, below it") << "post" << -1.f << "ended" << QStringLiteral("Test Complete");
    QTest::newRow("post, a rise") << "post" << 50.f << "post" << main;
}

void TestSequencer::fallTest()
{
    QFETCH(QString, stage);
    QFETCH(float, drop);
    QFETCH(QString, after);
    QFETCH(QString, message);

    StationRig &rig = *m_rig;
    rig.state.parameters.LeakFallLimit = 7.1f;
    rig.state.parameters.BathFallLimit = 14.2f;
    rig.setPressure(0, 700.3f);
    rig.reach(0, stage);
    rig.run(1);
    const float limit = stage == QLatin1String("leak") ? 7.1f : 14.2f;
    const float threshold = 700.3f - limit;
    float pressure = threshold + drop;
    if (drop < 0)
        pressure = std::nextafter(threshold, 0.f);

    rig.setPressure(0, pressure);
    rig.run(1);
    QCOMPARE(rig.stage(0), after);
    QCOMPARE(rig.state.stations[0].MsgCaption, message);
    QCOMPARE(rig.state.stations[0].TimeCaption == kTimeZero, after != stage);
    QCOMPARE(QFile::exists(exportPath(rig.state)), message == QLatin1String("Test Complete"));
}

void TestSequencer::fallIsMeasuredFromThePhaseStart()
{
    StationRig &rig = *m_rig;
    rig.start(0);
    for (float p : {698.f, 696.f, 694.f, 693.f}) { // small steps that add up to 7
        rig.setPressure(0, p);
        rig.run(1);
        QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    }
    rig.setPressure(0, 692.9f);
    rig.run(1);
    QCOMPARE(rig.stage(0), QStringLiteral("idle"));
}

void TestSequencer::leakPasses_data()
{
    QTest::addColumn<int>("duration");
    QTest::addColumn<int>("lastTick"); // ticks every second up to this one; -1: none
    QTest::addColumn<int>("passTick"); // the next tick, seconds after the start
    QTest::addColumn<int>("lowerTo");  // duration set after lastTick; 0x7fff: unchanged
    QTest::addColumn<QString>("lastText");

    QTest::newRow("countdown at zero") << 600 << 599 << 600 << 0x7fff << "00:00:01";
    QTest::newRow("zero second missed") << 600 << 599 << 603 << 0x7fff << "00:00:01";
    QTest::newRow("calibration window across the end") << 600 << 590 << 607 << 0x7fff << "00:00:10";
    QTest::newRow("duration 0, same second") << 0 << -1 << 0 << 0x7fff << "";
    QTest::newRow("duration 0, next second") << 0 << -1 << 1 << 0x7fff << "";
    QTest::newRow("negative duration") << -5 << -1 << 0 << 0x7fff << "";
    QTest::newRow("duration lowered below the elapsed time")
        << 600 << 100 << 101 << 50 << "00:08:20";
}

void TestSequencer::leakPasses()
{
    QFETCH(int, duration);
    QFETCH(int, lastTick);
    QFETCH(int, passTick);
    QFETCH(int, lowerTo);
    QFETCH(QString, lastText);

    StationRig &rig = *m_rig;
    rig.state.parameters.LeakTestDuration = int16_t(duration);
    rig.start(0);
    if (lastTick >= 0) {
        rig.tick();
        rig.run(lastTick);
        QCOMPARE(rig.stage(0), QStringLiteral("leak"));
        QCOMPARE(rig.state.stations[0].TimeCaption, remaining(lastText));
    }
    if (lowerTo != 0x7fff)
        rig.state.parameters.LeakTestDuration = int16_t(lowerTo);
    rig.clock->advance(passTick - std::max(lastTick, 0));
    rig.tick();
    QCOMPARE(rig.stage(0), QStringLiteral("waiting"));
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Leak Test Passed."));
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:00:00")); // never a negative remainder
    rig.run(5);
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:00:00"));
}

void TestSequencer::mainTestEnds_data()
{
    QTest::addColumn<int>("duration");
    QTest::addColumn<int>("lastTick");
    QTest::addColumn<int>("endTick");
    QTest::addColumn<int>("changeTo");

    QTest::newRow("elapsed equals the duration") << 900 << 899 << 900 << 0x7fff;
    QTest::newRow("that second missed") << 900 << 899 << 902 << 0x7fff;
    QTest::newRow("calibration window across the end") << 900 << 880 << 930 << 0x7fff;
    QTest::newRow("duration 0, same second") << 0 << -1 << 0 << 0x7fff;
    QTest::newRow("duration 0, next second") << 0 << -1 << 1 << 0x7fff;
    QTest::newRow("negative duration") << -30 << -1 << 0 << 0x7fff;
    QTest::newRow("duration lowered below the elapsed time") << 900 << 300 << 301 << 100;
    QTest::newRow("duration raised") << 100 << 99 << 150 << 150;
}

void TestSequencer::mainTestEnds()
{
    QFETCH(int, duration);
    QFETCH(int, lastTick);
    QFETCH(int, endTick);
    QFETCH(int, changeTo);

    StationRig &rig = *m_rig;
    rig.reach(0, QStringLiteral("waiting"));
    rig.state.parameters.MainTestDuration = int16_t(duration);
    rig.start(0);
    if (lastTick >= 0) {
        rig.tick();
        rig.run(lastTick);
        QCOMPARE(rig.stage(0), QStringLiteral("main"));
    }
    if (changeTo != 0x7fff) {
        rig.state.parameters.MainTestDuration = int16_t(changeTo);
        if (changeTo > lastTick) { // a raised end is not reached before its time
            rig.run(changeTo - 1 - lastTick);
            QCOMPARE(rig.stage(0), QStringLiteral("main"));
            lastTick = changeTo - 1;
        }
    }
    rig.clock->advance(endTick - std::max(lastTick, 0));
    rig.tick();
    QCOMPARE(rig.stage(0), QStringLiteral("post"));
    QCOMPARE(rig.state.stations[0].TimeCaption, elapsed(clockText(endTick)));
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Main Test In Progress"));
}

void TestSequencer::leakDurationChangeShowsAtOnce()
{
    StationRig &rig = *m_rig;
    rig.start(0);
    rig.run(10);
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:09:50"));
    rig.state.parameters.LeakTestDuration = 120;
    rig.tick();
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:01:50"));
}

void TestSequencer::leakPassAndFailInOneTick()
{
    StationRig &rig = *m_rig;
    rig.start(0);
    rig.run(599);
    rig.setPressure(0, 600);
    rig.run(1);
    QCOMPARE(rig.state.stations[0].TimeCaption, kTimeZero);
    QCOMPARE(rig.state.stations[0].MsgCaption, kLeakFail);
    QCOMPARE(rig.stage(0), QStringLiteral("ended"));
    QVERIFY(!rig.state.stations[0].LeakTestActive);
    QVERIFY(!QFile::exists(exportPath(rig.state)));

    // Such a station takes a new test.
    rig.setPressure(0, 700);
    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    rig.tick();
    QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:10:00"));
}

void TestSequencer::mainEndAndFallInOneTick()
{
    StationRig &rig = *m_rig;
    rig.reach(0, QStringLiteral("main"));
    rig.run(899);
    rig.setPressure(0, 600);
    QVERIFY(rig.run(1).exportFailures.empty());
    QCOMPARE(rig.state.stations[0].TimeCaption, kTimeZero);
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Test Complete"));
    QCOMPARE(rig.stage(0), QStringLiteral("ended"));
    QVERIFY(!rig.state.stations[0].MainTestActive && !rig.state.stations[0].PostTestActive);
    QFile file(exportPath(rig.state));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), exportText(rig.state, 0));
}

void TestSequencer::lostReadingDecidesNothing_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<int>("into");      // seconds into the phase when the reading goes
    QTest::addColumn<int>("lostFor");   // seconds without a reading
    QTest::addColumn<QString>("after"); // stage once the reading is back

    QTest::newRow("leak test, across its end") << "leak" << 590 << 20 << "waiting";
    QTest::newRow("leak test, short dropout") << "leak" << 100 << 5 << "leak";
    QTest::newRow("main test, across its end") << "main" << 890 << 20 << "post";
    QTest::newRow("main test, short dropout") << "main" << 100 << 5 << "main";
    QTest::newRow("post-test") << "post" << 10 << 30 << "post";
}

void TestSequencer::lostReadingDecidesNothing()
{
    QFETCH(QString, stage);
    QFETCH(int, into);
    QFETCH(int, lostFor);
    QFETCH(QString, after);

    StationRig &rig = *m_rig;
    rig.reach(0, stage);
    rig.run(into);
    const QString message = rig.state.stations[0].MsgCaption;
    const auto samples = rig.state.stations[0].SampleIndex;

    rig.setPressure(0, 0, false);
    for (int i = 0; i < lostFor; ++i) {
        const QString time = rig.state.stations[0].TimeCaption;
        rig.run(1);
        QCOMPARE(rig.stage(0), stage);
        QCOMPARE(rig.state.stations[0].MsgCaption, message);
        QVERIFY2(rig.state.stations[0].TimeCaption != time, "the time label goes on");
    }
    QCOMPARE(rig.state.stations[0].SampleIndex, samples + lostFor);
    QCOMPARE(rig.state.stations[0].Samples[samples], 0.f); // the sampler records the lost reading as 0
    QVERIFY(!QFile::exists(exportPath(rig.state)));

    rig.setPressure(0, 700);
    rig.run(1);
    QCOMPARE(rig.stage(0), after);
    if (after == QLatin1String("post")) {
        rig.setPressure(0, 680);
        rig.run(1);
        QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Test Complete"));
    }
}

void TestSequencer::phaseSecondsSaturate()
{
    StationRig &rig = *m_rig;
    // Station 1 in a leak test without a reading, so that it cannot pass; station 0 in the
    // post-test phase.
    rig.reach(0, QStringLiteral("post"));
    rig.start(1);
    rig.setPressure(1, 0, false);
    rig.clock->advance(40000);
    rig.tick();
    QCOMPARE(rig.state.stations[0].PhaseSeconds, int16_t(32767));
    QCOMPARE(rig.state.stations[0].TimeCaption, elapsed("09:06:07"));
    QCOMPARE(rig.state.stations[1].PhaseSeconds, int16_t(-32768));
    QCOMPARE(rig.state.stations[1].TimeCaption, remaining("-09:-06:-08"));
    QCOMPARE(rig.stage(1), QStringLiteral("leak"));

    rig.setPressure(1, 700);
    rig.tick();
    QCOMPARE(rig.stage(1), QStringLiteral("waiting"));

    // A main test at the longest duration still ends once the elapsed time is held at it.
    rig.state.parameters.MainTestDuration = 32767;
    rig.start(1);
    rig.clock->advance(32766);
    rig.tick();
    QCOMPARE(rig.stage(1), QStringLiteral("main"));
    rig.clock->advance(5000);
    rig.tick();
    QCOMPARE(rig.stage(1), QStringLiteral("post"));
    QCOMPARE(rig.state.stations[1].PhaseSeconds, int16_t(32767));
}

void TestSequencer::idleAndWaitingStationsAreLeftAlone()
{
    StationRig &rig = *m_rig;
    rig.reach(1, QStringLiteral("waiting"));
    rig.state.stations[0].TimeCaption = QStringLiteral("a");
    rig.state.stations[1].TimeCaption = QStringLiteral("b");
    const QString idle = rig.record(0);
    const int16_t seconds = rig.state.stations[1].PhaseSeconds;
    rig.setPressure(0, 0);
    rig.setPressure(1, 0);
    rig.run(1000);
    QCOMPARE(rig.record(0), idle);
    QCOMPARE(rig.stage(1), QStringLiteral("waiting"));
    QCOMPARE(rig.state.stations[1].TimeCaption, QStringLiteral("b"));
    QCOMPARE(rig.state.stations[1].MsgCaption, QStringLiteral("Leak Test Passed."));
    QCOMPARE(rig.state.stations[1].PhaseSeconds, seconds);
}

void TestSequencer::stationsAreIndependent()
{
    StationRig &rig = *m_rig;
    rig.reach(1, QStringLiteral("main"));
    rig.start(0);
    rig.run(10);
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:09:50"));
    QCOMPARE(rig.state.stations[1].TimeCaption, elapsed("00:00:10"));

    rig.setPressure(1, 600); // only vessel 2 falls
    rig.run(1);
    QCOMPARE(rig.stage(1), QStringLiteral("ended"));
    QCOMPARE(rig.state.stations[1].MsgCaption, kLeakFail);
    QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    QCOMPARE(rig.state.stations[0].TimeCaption, remaining("00:09:49"));

    rig.setPressure(0, 600); // only vessel 1 falls
    rig.setPressure(1, 700);
    rig.start(1);
    rig.run(1);
    QCOMPARE(rig.stage(0), QStringLiteral("idle"));
    QCOMPARE(rig.stage(1), QStringLiteral("leak"));
    QCOMPARE(rig.state.stations[1].Samples[0], 700.f);
}

void TestSequencer::stationZeroIsSequencedFirst()
{
    StationRig &rig = *m_rig;
    rig.reach(0, QStringLiteral("post"));
    rig.reach(1, QStringLiteral("post"));
    rig.setPressure(0, 100);
    rig.setPressure(1, 200);
    QVERIFY(rig.tick().exportFailures.empty());
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Test Complete"));
    QCOMPARE(rig.state.stations[1].MsgCaption, QStringLiteral("Test Complete"));
    QFile file(exportPath(rig.state)); // the later write, station 1's, is the one left
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), exportText(rig.state, 1));
    QVERIFY(exportText(rig.state, 0) != exportText(rig.state, 1));
}

void TestSequencer::exportFailureComesBackWithTheTick()
{
    StationRig &rig = *m_rig;
    rig.state.AppPath = rig.dir.filePath(QStringLiteral("gone"));
    rig.reach(0, QStringLiteral("post"));
    rig.start(1);
    rig.run(10);
    rig.setPressure(0, 100);
    rig.setPressure(1, 100);

    // Station 0 completes with an unwritable file and station 1 fails, in the same tick.
    const SequencerResult result = rig.run(1);
    QCOMPARE(rig.state.stations[0].MsgCaption, QStringLiteral("Test Complete"));
    QCOMPARE(rig.state.stations[1].MsgCaption, kLeakFail);
    QCOMPARE(int(result.exportFailures.size()), 1);
    QCOMPARE(result.exportFailures[0].station, 0);
    QCOMPARE(result.exportFailures[0].failure.path, exportPath(rig.state));
    QVERIFY(!result.exportFailures[0].failure.reason.isEmpty());
}

QTEST_APPLESS_MAIN(TestSequencer)
#include "tst_sequencer.moc"
