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
const QString kLeakRunning = QStringLiteral("Leak Test In Progress");
const QString kMainRunning = QStringLiteral("Main Test In Progress");
const QString kComplete = QStringLiteral("Test Complete");
constexpr float kLost = StationRig::kLost;

QString remaining(const QString &clock)
{
    return QStringLiteral("Time Remaining: ") + clock;
}

QString elapsed(const QString &clock)
{
    return QStringLiteral("Time Elapsed: ") + clock;
}

QByteArray exportFile(const StationRig &rig)
{
    QFile file(exportPath(rig.state.AppPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no export file>");
}

bool exportExists(const StationRig &rig)
{
    return QFile::exists(exportPath(rig.state.AppPath));
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
    void stop_data();
    void stop();

    // The sequencer.
    void nominalTest_data();
    void nominalTest();
    void fallTest_data();
    void fallTest();
    void fallIsMeasuredFromThePhaseStart();
    void phaseEnds_data();
    void phaseEnds();
    void lostReadingDecidesNothing_data();
    void lostReadingDecidesNothing();
    void phaseSecondsSaturate();
    void stationZeroIsSequencedFirst();

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
    QTest::addColumn<float>("pressure"); // kLost: no valid reading
    QTest::addColumn<float>("bath");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("failText");
    QTest::addColumn<QString>("after");

    const char *lowPressure = "Pressure less than 600.0KPa";
    const char *lowBath = "Temperature less than 100.0°C";
    const char *noPressure = "No pressure reading";
    const char *noBath = "No temperature reading";
    struct Row {
        const char *name, *stage;
        float pressure, bath;
        Kind kind;
        const char *failText, *after;
    };
    const Row rows[] = {
        {"idle, above the limit", "idle", 700, 105, Kind::LeakStarted, "", "leak"},
        {"idle, at the limit", "idle", 600, 105, Kind::LeakStarted, "", "leak"},
        {"idle, below the limit", "idle", 599.99f, 105, Kind::PressureTooLow, lowPressure, "idle"},
        {"idle, no pressure reading", "idle", kLost, 105, Kind::NoPressure, noPressure, "idle"},
        {"idle, no temperature reading", "idle", 700, kLost, Kind::LeakStarted, "", "leak"},
        {"leak test", "leak", 700, 105, Kind::Ignored, "", "leak"},
        {"waiting, warm", "waiting", 700, 105, Kind::MainStarted, "", "main"},
        {"waiting, at the limit", "waiting", 690, 100, Kind::MainStarted, "", "main"},
        {"waiting, too cold", "waiting", 700, 99.9f, Kind::TemperatureTooLow, lowBath, "waiting"},
        {"waiting, low pressure", "waiting", 10, 105, Kind::MainStarted, "", "main"},
        {"waiting, no pressure reading", "waiting", kLost, 105, Kind::NoPressure, noPressure,
         "waiting"},
        {"waiting, no temperature reading", "waiting", 700, kLost, Kind::NoTemperature, noBath,
         "waiting"},
        {"main test", "main", 695, 105, Kind::MainStarted, "", "main"},
        {"main test, no pressure reading", "main", kLost, 105, Kind::NoPressure, noPressure,
         "main"},
        {"main test, no temperature reading", "main", 700, kLost, Kind::NoTemperature, noBath,
         "main"},
        {"post-test", "post", 700, 105, Kind::MainStarted, "", "main"},
        {"post-test, too cold", "post", 700, 20, Kind::TemperatureTooLow, lowBath, "post"},
        {"completed", "completed", 700, 105, Kind::LeakStarted, "", "leak"},
        {"completed, low pressure", "completed", 500, 105, Kind::PressureTooLow, lowPressure,
         "ended"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << QString::fromUtf8(r.stage) << r.pressure << r.bath << r.kind
                              << QString::fromUtf8(r.failText) << QString::fromUtf8(r.after);
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
    rig.run(7);
    rig.setPressure(1, pressure);
    rig.setBath(bath);
    const StationRecord before = rig.record(1);
    const QString otherStation = StationRig::fields(rig.record(0));

    const StartOutcome outcome = rig.start(1);
    const StationRecord &r = rig.record(1);
    QCOMPARE(outcome.refusal ? outcome.refusal->reason : QString(), failText);
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(rig.stage(1), after);
    QCOMPARE(StationRig::fields(rig.record(0)), otherStation);
    if (kind != Kind::LeakStarted && kind != Kind::MainStarted) {
        // Refused or ignored: nothing changes.
        QCOMPARE(StationRig::fields(r), StationRig::fields(before));
        return;
    }
    QCOMPARE(r.RefPressure, pressure);
    QCOMPARE(r.PhaseStartTime, rig.clock->now());
    if (kind == Kind::MainStarted) {
        // A main start, also a second one, keeps the test's sampling and start texts.
        QCOMPARE(r.SampleIndex, before.SampleIndex);
        QCOMPARE(r.TestStartDate, before.TestStartDate);
        QCOMPARE(r.TestStartTime, before.TestStartTime);
        QCOMPARE(r.MsgCaption, kMainRunning);
    }
}

void TestSequencer::leakStartWritesTheRecord()
{
    StationRig &rig = *m_rig;
    StationRecord &r = rig.record(0);
    r.SampleIndex = 37; // left by an earlier test
    r.SampleCount = 36;
    r.LeakTestPassed = true;
    r.MainTestActive = true; // a stopped main test leaves its flags
    r.PostTestActive = true;
    r.Samples[36] = 123.f;
    rig.clock->set(QDateTime(QDate(2026, 1, 2), QTime(21, 5, 9)));
    rig.setPressure(0, 701.5f);

    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    QCOMPARE(r.SampleIndex, 0);
    QCOMPARE(r.SampleCount, int16_t(36)); // until the first sample of the new test
    QCOMPARE(r.PhaseStartTime, rig.clock->now());
    QCOMPARE(r.RefPressure, 701.5f);
    QCOMPARE(r.TestStartDate, QStringLiteral("02-01-2026"));
    QCOMPARE(r.TestStartTime, QStringLiteral("21:05:09"));
    QCOMPARE(r.MsgCaption, kLeakRunning);
    QCOMPARE(r.TimeCaption, kTimeZero); // the sequencer writes it, not the start

    rig.tick();
    QCOMPARE(r.TimeCaption, remaining("00:10:00"));
    rig.run(1);
    QCOMPARE(r.SampleCount, int16_t(0));
    QCOMPARE(r.Samples[0], 701.5f);
    QCOMPARE(r.Samples[36], 123.f); // beyond the new test: left alone
    QCOMPARE(r.TimeCaption, remaining("00:09:59"));
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
}

void TestSequencer::stop()
{
    QFETCH(QString, stage);
    QFETCH(bool, acts);
    StationRig &rig = *m_rig;
    const StationRecord &r = rig.record(0);
    rig.reach(0, stage);
    rig.run(2);
    const QString before = StationRig::fields(rig.record(0));

    QCOMPARE(rig.stop(0), acts);
    if (!acts) {
        QCOMPARE(StationRig::fields(rig.record(0)), before);
        return;
    }
    QCOMPARE(rig.stage(0), QStringLiteral("idle"));
    QCOMPARE(r.TimeCaption, kTimeZero);
    QCOMPARE(r.MsgCaption, QStringLiteral("Process In Idle Mode"));

    // Nothing runs on afterwards: no sampling, no sequencing, no export.
    const auto samples = r.SampleIndex;
    rig.setPressure(0, 0);
    rig.run(2000);
    QCOMPARE(r.SampleIndex, samples);
    QCOMPARE(r.MsgCaption, QStringLiteral("Process In Idle Mode"));
    QVERIFY(!exportExists(rig));

    // The next Start begins a new test with its leak phase, even after the leak pass.
    rig.setPressure(0, 700);
    QCOMPARE(rig.start(0).kind, Kind::LeakStarted);
    rig.run(5);
    QCOMPARE(rig.stage(0), QStringLiteral("leak"));
    QCOMPARE(r.TimeCaption, remaining("00:09:55"));
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
    const StationRecord &r = rig.record(station);
    rig.setPressure(other, 0); // an idle station is left alone whatever its pressure
    const QString otherRecord = StationRig::fields(rig.record(other));

    QCOMPARE(rig.start(station).kind, Kind::LeakStarted);
    rig.tick();
    QCOMPARE(r.TimeCaption, remaining("00:10:00"));
    QCOMPARE(r.PhaseSeconds, int16_t(600));
    rig.run(600);
    QCOMPARE(rig.stage(station), QStringLiteral("waiting"));

    // Waiting for the main start no phase runs, whatever the pressure; sampling goes on.
    rig.setPressure(station, 0);
    QVERIFY(rig.run(60).stations.empty());
    rig.setPressure(station, 700);
    QCOMPARE(r.TimeCaption, remaining("00:00:00"));
    QCOMPARE(r.MsgCaption, QStringLiteral("Leak Test Passed."));
    QCOMPARE(r.SampleCount, int16_t(659));

    QCOMPARE(rig.start(station).kind, Kind::MainStarted);
    QCOMPARE(r.MsgCaption, kMainRunning);
    rig.tick();
    QCOMPARE(r.TimeCaption, elapsed("00:00:00"));
    rig.run(900);
    QCOMPARE(r.TimeCaption, elapsed("00:15:00"));
    QCOMPARE(rig.stage(station), QStringLiteral("post"));
    QCOMPARE(r.MsgCaption, kMainRunning);
    rig.run(3000);
    QCOMPARE(r.TimeCaption, elapsed("01:05:00"));
    QCOMPARE(r.PhaseSeconds, int16_t(3900));
    QVERIFY(!exportExists(rig));

    rig.setPressure(station, 685.9f); // vented: more than 14 KPa below 700
    const SequencerResult result = rig.run(1);
    QVERIFY(result.exportFailures.empty());
    QCOMPARE(r.TimeCaption, kTimeZero);
    QCOMPARE(r.MsgCaption, kComplete);
    QCOMPARE(rig.stage(station), QStringLiteral("ended"));
    QCOMPARE(r.SampleCount, int16_t(600 + 60 + 900 + 3000 + 1 - 1));
    QCOMPARE(exportFile(rig), exportText(r));
    QCOMPARE(StationRig::fields(rig.record(other)), otherRecord);
}

void TestSequencer::fallTest_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<bool>("atEnd"); // the fall comes with the tick that ends the phase
    QTest::addColumn<float>("drop"); // -1: one float step below the threshold; 0: at it
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("message");

    QTest::newRow("leak, at the threshold") << "leak" << false << 0.f << "leak" << kLeakRunning;
    QTest::newRow("leak, below it") << "leak" << false << -1.f << "idle" << kLeakFail;
    QTest::newRow("leak, a rise") << "leak" << false << 50.f << "leak" << kLeakRunning;
    QTest::newRow("leak, below it as it passes") << "leak" << true << -1.f << "ended" << kLeakFail;
    QTest::newRow("main, at the threshold") << "main" << false << 0.f << "main" << kMainRunning;
    QTest::newRow("main, below it") << "main" << false << -1.f << "ended" << kLeakFail;
    QTest::newRow("main, a rise") << "main" << false << 50.f << "main" << kMainRunning;
    QTest::newRow("main, below it as it ends") << "main" << true << -1.f << "ended" << kComplete;
    QTest::newRow("post, at the threshold") << "post" << false << 0.f << "post" << kMainRunning;
    QTest::newRow("post, below it") << "post" << false << -1.f << "ended" << kComplete;
    QTest::newRow("post, a rise") << "post" << false << 50.f << "post" << kMainRunning;
}

void TestSequencer::fallTest()
{
    QFETCH(QString, stage);
    QFETCH(bool, atEnd);
    QFETCH(float, drop);
    QFETCH(QString, after);
    QFETCH(QString, message);

    StationRig &rig = *m_rig;
    const StationRecord &r = rig.record(0);
    TestParameters &p = rig.state.parameters;
    p.LeakFallLimit = 7.1f;
    p.BathFallLimit = 14.2f;
    rig.setPressure(0, 700.3f);
    rig.reach(0, stage);
    const bool leak = stage == QLatin1String("leak");
    rig.run(atEnd ? (leak ? p.LeakTestDuration : p.MainTestDuration) - 1 : 1);
    const float threshold = 700.3f - (leak ? 7.1f : 14.2f);
    const float pressure = drop < 0 ? std::nextafter(threshold, 0.f) : threshold + drop;

    rig.setPressure(0, pressure);
    const SequencerResult result = rig.run(1);
    QCOMPARE(rig.stage(0), after);
    QCOMPARE(r.MsgCaption, message);
    QCOMPARE(r.TimeCaption == kTimeZero, after != stage);
    if (after == QLatin1String("idle") || after == QLatin1String("ended"))
        QVERIFY(!r.LeakTestActive && !r.MainTestActive && !r.PostTestActive);
    QVERIFY(result.exportFailures.empty());
    if (message == kComplete)
        QCOMPARE(exportFile(rig), exportText(r));
    else
        QVERIFY(!exportExists(rig));
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

void TestSequencer::phaseEnds_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<int>("duration");
    QTest::addColumn<int>("lastTick"); // ticks every second up to this one; -1: none
    QTest::addColumn<int>("endTick");  // the next tick, seconds after the start
    QTest::addColumn<int>("changeTo"); // duration set after lastTick; 0: unchanged

    struct Case {
        const char *name;
        int duration, lastTick, endTick, changeTo;
    };
    const Case cases[] = {
        {"the last second", 600, 599, 600, 0},
        {"that second missed", 600, 599, 603, 0},
        {"a long gap across the end", 600, 590, 607, 0},
        {"duration 0, same second", 0, -1, 0, 0},
        {"duration 0, next second", 0, -1, 1, 0},
        {"negative duration", -5, -1, 0, 0},
        {"duration lowered below the elapsed time", 600, 100, 101, 50},
        {"duration raised", 100, 99, 150, 150},
    };
    for (const char *phase : {"leak", "main"}) {
        for (const Case &c : cases)
            QTest::addRow("%s, %s", phase, c.name)
                << phase << c.duration << c.lastTick << c.endTick << c.changeTo;
    }
}

void TestSequencer::phaseEnds()
{
    QFETCH(QString, phase);
    QFETCH(int, duration);
    QFETCH(int, lastTick);
    QFETCH(int, endTick);
    QFETCH(int, changeTo);

    StationRig &rig = *m_rig;
    const StationRecord &r = rig.record(0);
    const bool leak = phase == QLatin1String("leak");
    rig.reach(0, leak ? QStringLiteral("idle") : QStringLiteral("waiting"));
    int16_t &phaseDuration =
        leak ? rig.state.parameters.LeakTestDuration : rig.state.parameters.MainTestDuration;
    phaseDuration = int16_t(duration);
    rig.start(0);
    if (lastTick >= 0) {
        rig.tick();
        rig.run(lastTick);
        QCOMPARE(rig.stage(0), phase);
    }
    if (changeTo != 0) {
        phaseDuration = int16_t(changeTo);
        if (changeTo > lastTick) { // a raised end is not reached before its time
            rig.run(changeTo - 1 - lastTick);
            QCOMPARE(rig.stage(0), phase);
            lastTick = changeTo - 1;
        }
    }
    rig.clock->advance(endTick - std::max(lastTick, 0));
    rig.tick();
    if (leak) {
        QCOMPARE(rig.stage(0), QStringLiteral("waiting"));
        QCOMPARE(r.MsgCaption, QStringLiteral("Leak Test Passed."));
        QCOMPARE(r.TimeCaption, remaining("00:00:00")); // never a negative remainder
        rig.run(5);
        QCOMPARE(r.TimeCaption, remaining("00:00:00"));
    } else {
        QCOMPARE(rig.stage(0), QStringLiteral("post"));
        QCOMPARE(r.TimeCaption, elapsed(clockText(endTick)));
        QCOMPARE(r.MsgCaption, kMainRunning);
    }
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
    const StationRecord &r = rig.record(0);
    rig.reach(0, stage);
    rig.run(into);
    const QString message = r.MsgCaption;
    const auto samples = r.SampleIndex;

    rig.setPressure(0, kLost);
    for (int i = 0; i < lostFor; ++i) {
        const QString time = r.TimeCaption;
        rig.run(1);
        QCOMPARE(rig.stage(0), stage);
        QCOMPARE(r.MsgCaption, message);
        QVERIFY2(r.TimeCaption != time, "the time label goes on");
    }
    QCOMPARE(r.SampleIndex, samples + lostFor);
    QCOMPARE(r.Samples[size_t(samples)], 0.f); // the sampler records the lost reading as 0
    QVERIFY(!exportExists(rig));

    rig.setPressure(0, 700);
    rig.run(1);
    QCOMPARE(rig.stage(0), after);
    if (after == QLatin1String("post")) {
        rig.setPressure(0, 680);
        rig.run(1);
        QCOMPARE(r.MsgCaption, kComplete);
    }
}

void TestSequencer::phaseSecondsSaturate()
{
    StationRig &rig = *m_rig;
    // Station 1 in a leak test without a reading, so that it cannot pass; station 0 in the
    // post-test phase.
    rig.reach(0, QStringLiteral("post"));
    rig.start(1);
    rig.setPressure(1, kLost);
    rig.clock->advance(40000);
    rig.tick();
    QCOMPARE(rig.record(0).PhaseSeconds, int16_t(32767));
    QCOMPARE(rig.record(0).TimeCaption, elapsed("09:06:07"));
    QCOMPARE(rig.record(1).PhaseSeconds, int16_t(-32768));
    QCOMPARE(rig.record(1).TimeCaption, remaining("-09:-06:-08"));
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
    QCOMPARE(rig.record(1).PhaseSeconds, int16_t(32767));
}

void TestSequencer::stationZeroIsSequencedFirst()
{
    StationRig &rig = *m_rig;
    rig.reach(0, QStringLiteral("post"));
    rig.reach(1, QStringLiteral("post"));
    rig.setPressure(0, 100);
    rig.setPressure(1, 200);
    QVERIFY(rig.tick().exportFailures.empty());
    QCOMPARE(rig.record(0).MsgCaption, kComplete);
    QCOMPARE(rig.record(1).MsgCaption, kComplete);
    // Each completion writes the file; the later write, station 1's, is the one left.
    QVERIFY(exportText(rig.record(0)) != exportText(rig.record(1)));
    QCOMPARE(exportFile(rig), exportText(rig.record(1)));
}

QTEST_APPLESS_MAIN(TestSequencer)
#include "tst_sequencer.moc"
