// The record store and the recorder: whole tests of every outcome through the real sequencer,
// crash safety, the faults the store must survive, the migration of a version-1 database,
// names, and the list model.
#include "stationrig.h"

#include "records/leakfigures.h"
#include "records/recordcsv.h"
#include "records/recordlistmodel.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"
#include "station/stationsession.h"
#include "station/testparameters.h"
#include "support/diskfaults.h"
#include "support/records.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// The phases of a trace as letters: L leak, A after, M main, P post.
QString phaseLetters(const std::vector<TraceSample> &trace)
{
    QString letters;
    for (const TraceSample &sample : trace)
        letters += QStringLiteral("LMPA")[int(sample.phase)];
    return letters;
}

/// A stored record in a line: station, outcome and end | leak pass, main start, main reference
/// and post-test start | the leak, main and post-test falls; "-" for what it lacks.
QString summary(const TestRecord &r)
{
    const auto time = [](const std::optional<QDateTime> &t) {
        return t ? t->toString(QStringLiteral("hh:mm:ss")) : QStringLiteral("-");
    };
    const auto number = [](const auto &value, int decimals) {
        return value ? QString::number(double(*value), 'f', decimals) : QStringLiteral("-");
    };
    return QStringLiteral("%1 %2 %3 | %4 %5 %6 %7 | %8 %9 %10")
        .arg(r.station + 1)
        .arg(r.outcome ? outcomeText(*r.outcome) : QStringLiteral("running"), time(r.end),
             time(r.leakPassTime), time(r.mainStartTime), number(r.mainRefPressure, 1),
             time(r.postTestTime), number(r.leakFall, 2), number(r.mainFall, 2),
             number(r.postFall, 2));
}

/// The program as the main window runs it: a station rig and its station sessions, which keep
/// the records in the rig's working folder.
struct Session {
    Session() : sessions(rig.state) {}

    QString path() const { return rig.dir.filePath(RecordStore::kFileName); }
    QDateTime now() const { return rig.clock->now(); }
    RecordStore &store() { return sessions.store(); }
    TestRecorder &recorder() { return sessions.recorder(); }

    StartOutcome start(int s) { return sessions.startPressed(s); }
    void stop(int s) { sessions.stopPressed(s); }

    /// One second: the display tick samples every running station, then the scan tick
    /// sequences; then, when asked, the flush that the display tick ends with.
    MaybeFailure second(bool flush = true)
    {
        rig.clock->advance(1);
        sessions.sample();
        sessions.scanTick();
        return flush ? recorder().flush().failure : std::nullopt;
    }

    /// Tenths of a second as the program's timers run them: a scan tick every tenth, and at
    /// each whole second first the display tick's samples and flush. The notices of the
    /// records that the display ticks gave go to `notices`.
    void tenths(int count)
    {
        for (int i = 0; i < count; ++i) {
            rig.clock->advanceMs(100);
            if (rig.clock->preciseNow().time().msec() == 0) {
                if (const std::optional<QString> notice = sessions.displayTick())
                    notices << *notice;
            }
            sessions.scanTick();
        }
    }

    /// Seconds, each flushed; the last failure, if any.
    MaybeFailure seconds(int n)
    {
        MaybeFailure last;
        for (int i = 0; i < n; ++i)
            last = second();
        return last;
    }

    StationRig rig;
    StationSessions sessions;
    QStringList notices;
};

/// A record's decisions in a line each: time (to the tenth), what, pressure, fall and limit.
QStringList decisionTexts(const Stored &stored)
{
    QStringList lines;
    for (const Decision &d : stored.decisions)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(isoTimeTenths(d.time).mid(11, 10), decisionText(d.change))
                     .arg(double(d.pressure), 0, 'f', 2)
                     .arg(d.fall(), 0, 'f', 2)
                     .arg(double(d.limit), 0, 'f', 2);
    return lines;
}

/// A record as written by hand, for the listing tests.
TestRecord handRecord(int station, const QString &start, int seconds,
                      std::optional<Outcome> outcome, const QString &name,
                      const QString &operatorName, float leakRef, std::optional<double> mainFall)
{
    TestRecord r;
    r.station = station;
    r.start = fromIsoTime(start);
    if (outcome)
        r.end = r.start.addSecs(seconds);
    r.outcome = outcome;
    r.testName = name;
    r.operatorName = operatorName;
    r.leakRefPressure = leakRef;
    r.mainFall = mainFall;
    return r;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void outcomes_data();
    void outcomes();
    void decisionsAgreeWithTheOutcome_data();
    void decisionsAgreeWithTheOutcome();
    void databaseGoneDuringATest_data();
    void databaseGoneDuringATest();
    void goneDatabaseReadElsewhereKeepsItsLog_data();
    void goneDatabaseReadElsewhereKeepsItsLog();
    void exitAfterAnOutageWritesEverything();
    void traceHasNoExportLimit();
    void linkEventsGoToEveryOpenRecord();
    void killedProgramLosesOnlyTheLastSecond();
    void unreadableFileIsSetAside_data();
    void unreadableFileIsSetAside();
    void lockedDatabaseFailsFast();
    void refusals_data();
    void refusals();
    void migration_data();
    void migration();
    void names();
    void listing_data();
    void listing();
};

void TestRecords::initTestCase()
{
    // The expected times carry the offsets of Central European time.
    QCOMPARE(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    QVERIFY2(QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")),
             "the Qt SQLite driver (libqt6sql6-sqlite) is missing");
}

void TestRecords::outcomes_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("phases");
    QTest::addColumn<QString>("expected"); // summary()

    // Leak 5 s and main 5 s from 10:00:00; the station at 700 KPa, the fall limits 7 and 14 KPa.
    QTest::newRow("completed")
        << QStringList{"start", "run 8", "start", "run 6", "pressure 680", "run 1"}
        << "LLLLLAAAMMMMMPP"
        << "1 completed 10:00:15 | 10:00:05 10:00:08 700.0 10:00:13 | 0.00 0.00 20.00";
    QTest::newRow("leak test failed")
        << QStringList{"start", "run 2", "pressure 690", "run 1"} << "LLL"
        << "1 leak test failed 10:00:03 | - - - - | 10.00 - -";
    QTest::newRow("main test failed")
        << QStringList{"start", "run 8", "start", "run 2", "pressure 680", "run 1"} << "LLLLLAAAMMM"
        << "1 main test failed 10:00:11 | 10:00:05 10:00:08 700.0 - | 0.00 20.00 -";
    QTest::newRow("main restarted, then stopped")
        << QStringList{"start", "run 6", "start", "run 2", "pressure 695", "start", "run 2", "stop"}
        << "LLLLLAMMMM"
        << "1 stopped 10:00:10 | 10:00:05 10:00:08 695.0 - | 0.00 0.00 -";
    QTest::newRow("program ended")
        << QStringList{"start", "run 8", "start", "run 2", "end"} << "LLLLLAAAMM"
        << "1 interrupted 10:00:10 | 10:00:05 10:00:08 700.0 - | 0.00 0.00 -";
}

void TestRecords::outcomes()
{
    QFETCH(QStringList, script);
    QFETCH(QString, phases);
    QFETCH(QString, expected);

    Session session;
    TestParameters &p = session.rig.state.parameters;
    p.LeakTestDuration = 5;
    p.MainTestDuration = 5;
    CalibrationConstants &c = session.rig.state.calibration;
    c.CalRange = {1234.5f, 2000};
    c.CalZero = {12, 13};
    c.CalSpan = {1100, 1200};
    c.TempZero = 3;
    c.TempSpan = 98.5f;
    const TestParameters atStart = p;

    for (const QString &step : script) {
        const QStringList words = step.split(u' ');
        if (words[0] == u"start") {
            QVERIFY(!session.start(0).refusal);
            // What changes during the test is not what the test ran with.
            p.StartPressureLimit = 1;
            c.CalRange[0] = 1;
        } else if (words[0] == u"run") {
            QVERIFY_OK(session.seconds(words[1].toInt()));
        } else if (words[0] == u"pressure") {
            session.rig.setPressure(0, words[1].toFloat());
        } else if (words[0] == u"stop") {
            session.stop(0);
        } else if (words[0] == u"end") {
            QCOMPARE(session.sessions.end(), std::nullopt);
        }
    }
    QVERIFY_OK(session.recorder().flush());

    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(1));
    const TestRecord &r = stored[0].record;
    const std::vector<TraceSample> &trace = stored[0].trace;
    QCOMPARE(summary(r), expected);
    QCOMPARE(phaseLetters(trace), phases);
    QCOMPARE(std::optional<int64_t>(r.id), session.recorder().latestRecordId(0));
    QCOMPARE(isoTime(r.start), QStringLiteral("2026-07-12T10:00:00+02:00"));
    QCOMPARE(testParameterTexts(r.parameters), testParameterTexts(atStart));
    QCOMPARE((std::array{r.calRange, r.calZero, r.calSpan, r.tempZero, r.tempSpan}),
             (std::array{1234.5f, 12.f, 1100.f, 3.f, 98.5f}));
    QCOMPARE(r.leakRefPressure, 700.f);

    // Every sample: one a second from the start, the readings of its second.
    for (size_t k = 0; k < trace.size(); ++k) {
        QCOMPARE(trace[k].elapsed, int64_t(k));
        QCOMPARE(isoTime(trace[k].time), isoTime(StationRig::kStart.addSecs(qint64(k) + 1)));
        QVERIFY(trace[k].pressureValid && trace[k].bathTempValid);
        QCOMPARE(trace[k].bathTemp, 105.f);
    }
    QCOMPARE(trace.back().pressure, session.rig.state.readings.Pressure1);
}

void TestRecords::decisionsAgreeWithTheOutcome_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QString>("expected");      // summary()
    QTest::addColumn<QStringList>("decisions"); // decisionTexts()
    QTest::addColumn<bool>("between");          // no sample saw the deciding reading

    // Leak 5 s and main 5 s from 10:00:00.0, the station at 700 KPa, the fall limits 7 and
    // 14 KPa; "wait T" runs the timers T tenths of a second, sampling at each whole second,
    // so a pressure set between two samples is seen by the scan ticks alone.
    QTest::newRow("leak failure between two samples")
        << QStringList{"start", "wait 24", "pressure 692.9", "wait 1", "pressure 700", "wait 20"}
        << "1 leak test failed 10:00:02 | - - - - | 7.10 - -"
        << QStringList{"10:00:02.5 leak test failed 692.90 7.10 7.00"} << true;
    QTest::newRow("main failure between two samples")
        << QStringList{"start",          "wait 80", "start",        "wait 27",
                       "pressure 685.5", "wait 1",  "pressure 700", "wait 20"}
        << "1 main test failed 10:00:10 | 10:00:05 10:00:08 700.0 - | 0.00 14.50 -"
        << QStringList{"10:00:05.0 leak test passed 700.00 0.00 7.00",
                       "10:00:10.8 main test failed 685.50 14.50 14.00"}
        << true;
    QTest::newRow("completion between two samples")
        << QStringList{"start",          "wait 80", "start",        "wait 73",
                       "pressure 685.8", "wait 1",  "pressure 700", "wait 20"}
        << "1 completed 10:00:15 | 10:00:05 10:00:08 700.0 10:00:13 | 0.00 0.00 14.20"
        << QStringList{"10:00:05.0 leak test passed 700.00 0.00 7.00",
                       "10:00:13.0 main test ended 700.00 0.00 14.00",
                       "10:00:15.4 test completed 685.80 14.20 14.00"}
        << true;
    QTest::newRow("main end, main failure and completion in one tick")
        << QStringList{"start", "wait 80", "start", "wait 49", "pressure 680", "wait 1", "wait 20"}
        << "1 completed 10:00:13 | 10:00:05 10:00:08 700.0 10:00:13 | 0.00 20.00 20.00"
        << QStringList{"10:00:05.0 leak test passed 700.00 0.00 7.00",
                       "10:00:13.0 main test ended 680.00 20.00 14.00",
                       "10:00:13.0 main test failed 680.00 20.00 14.00",
                       "10:00:13.0 test completed 680.00 20.00 14.00"}
        << false;
}

void TestRecords::decisionsAgreeWithTheOutcome()
{
    QFETCH(QStringList, script);
    QFETCH(QString, expected);
    QFETCH(QStringList, decisions);
    QFETCH(bool, between);

    Session session;
    session.rig.state.parameters.LeakTestDuration = 5;
    session.rig.state.parameters.MainTestDuration = 5;
    for (const QString &step : script) {
        const QStringList words = step.split(u' ');
        if (words[0] == u"start")
            QVERIFY(!session.start(0).refusal);
        else if (words[0] == u"wait")
            session.tenths(words[1].toInt());
        else if (words[0] == u"pressure")
            session.rig.setPressure(0, words[1].toFloat());
    }
    QVERIFY_OK(session.recorder().flush());
    QCOMPARE(session.notices, QStringList());

    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(summary(stored[0].record), expected);
    QCOMPARE(decisionTexts(stored[0]), decisions);
    // No sample saw the deciding reading: every one was taken at 700 KPa.
    for (const TraceSample &sample : stored[0].trace)
        QVERIFY(!between || sample.pressure == 700.f);
    // The figures of the phase that ended the test are those of its deciding reading.
    const LeakFigures figures = leakFigures(stored[0].record, stored[0].trace, stored[0].decisions);
    const FigurePhase ended =
        stored[0].record.outcome == Outcome::LeakTestFailed   ? FigurePhase::Leak
        : stored[0].record.outcome == Outcome::MainTestFailed ? FigurePhase::Main
                                                              : FigurePhase::Post;
    QVERIFY(figures.of(ended).decided);
    QCOMPARE(figures.of(ended).fall, stored[0].decisions.back().fall());
    // The record keeps the rates that statistics read, as its figures give them.
    QCOMPARE(stored[0].record.leakRate, figures.leak.endToEndRate);
    QCOMPARE(stored[0].record.mainRate, figures.main.endToEndRate);
    QVERIFY(stored[0].record.leakRate);
}

void TestRecords::databaseGoneDuringATest_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("deleted") << "deleted";
    QTest::newRow("moved") << "moved";
    QTest::newRow("replaced by a copy") << "replaced";
}

void TestRecords::databaseGoneDuringATest()
{
    QFETCH(QString, how);
    Session session;
    const QString moved = session.rig.dir.filePath(QStringLiteral("moved.sqlite"));
    // Test 2 ends before the file goes; test 1 runs across.
    QVERIFY(!session.start(1).refusal);
    session.tenths(20);
    session.stop(1);
    QVERIFY(!session.start(0).refusal);
    session.tenths(30);
    if (how == u"replaced") {
        // A copy of the database as it was before any of this, put over it.
        QFile::copy(QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite"), moved);
        QVERIFY(QFile::setPermissions(moved, QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(std::rename(qPrintable(moved), qPrintable(session.path())), 0);
    } else if (how == u"moved") {
        QVERIFY(QFile::rename(session.path(), moved));
    } else {
        QVERIFY(QFile::remove(session.path()));
    }
    session.tenths(10); // the flush that notices it
    const QByteArray movedAfterwards = readAll(moved);
    session.tenths(30);
    session.stop(0);
    QVERIFY_OK(session.recorder().flush());

    QCOMPARE(session.notices.size(), 1);
    QVERIFY2(session.notices[0].contains(QStringLiteral("was deleted, moved or replaced")),
             qPrintable(session.notices[0]));
    // The test run across is whole in the file now at the path, from its first second.
    std::vector<Stored> stored = readStored(session.path());
    QVERIFY(!stored.empty());
    const Stored &across = stored[0];
    QCOMPARE(across.record.station, 0);
    QCOMPARE(across.record.outcome, std::optional(Outcome::Stopped));
    QCOMPARE(across.trace.size(), size_t(7));
    QCOMPARE(across.trace.front().elapsed, int64_t(0));
    QCOMPARE(across.trace.back().elapsed, int64_t(6));
    QCOMPARE(stored.size(), how == u"replaced" ? size_t(4) : size_t(1)); // the copy's three
    if (how == u"moved") {
        // The moved file keeps what it held, test 2 ended in it, and was not touched again.
        QCOMPARE(readAll(moved), movedAfterwards);
        stored = readStored(moved);
        QCOMPARE(stored.size(), size_t(2));
        QCOMPARE(summary(stored[1].record),
                 QStringLiteral("2 stopped 10:00:02 | - - - - | 0.00 - -"));
        QCOMPARE(stored[0].record.outcome, std::nullopt);
        QCOMPARE(stored[0].trace.size(), size_t(3));
    }
}

void TestRecords::goneDatabaseReadElsewhereKeepsItsLog_data()
{
    QTest::addColumn<bool>("folderInItsPlace");
    QTest::addColumn<QString>("told"); // after the notice's first paragraph; %1 the database
    const QString kept = QStringLiteral(
        R"(The test records could not be written to %1: The last records of the database that )"
        R"(went could not be written into it; its log is kept as (%1\.gone-\d{8}-\d{6}-wal): )"
        R"(another connection was reading it \((\d+) of (\d+) pages of its log written\))");
    QTest::newRow("moved") << false << kept;
    QTest::newRow("moved, a folder put in its place")
        << true
        << kept + R"(\n\nThe test records could not be written to %1: The records database is )"
                  R"(a folder, not a file\.)";
}

void TestRecords::goneDatabaseReadElsewhereKeepsItsLog()
{
    QFETCH(bool, folderInItsPlace);
    QFETCH(QString, told);
    // Another connection, opened before the file goes, reads it from then on: the log of what
    // follows cannot be written into the file while it reads. It closes after the session,
    // as its closing would remove the log at the path.
    struct Reader {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "reader");
        ~Reader()
        {
            db.rollback();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        }
    } reader;
    Session session;
    const QString path = session.path();
    const QString moved = session.rig.dir.filePath(QStringLiteral("moved.sqlite"));
    QVERIFY(!session.start(0).refusal);
    session.tenths(10);
    reader.db.setDatabaseName(path);
    QVERIFY(reader.db.open() && reader.db.transaction());
    QVERIFY(QSqlQuery(QStringLiteral("SELECT count(*) FROM sample"), reader.db).next());
    session.tenths(20);
    const size_t written = readStored(path).at(0).trace.size();
    QVERIFY(QFile::rename(path, moved));
    if (folderInItsPlace)
        QVERIFY(QDir().mkpath(path));
    session.tenths(10); // the flush that notices it

    QCOMPARE(session.notices.size(), 1);
    const QRegularExpression pattern(QStringLiteral("^") +
                                     told.arg(QRegularExpression::escape(path)) + u'$');
    const QRegularExpressionMatch said =
        pattern.match(session.notices[0].section(QStringLiteral("\n\n"), 1));
    QVERIFY2(said.hasMatch(), qPrintable(session.notices[0]));
    QVERIFY(said.captured(2).toInt() < said.captured(3).toInt());
    // The file that went and its kept log hold every sample written before it went.
    const QString copy = session.rig.dir.filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(QFile::copy(moved, copy));
    QVERIFY(QFile::copy(said.captured(1), copy + QStringLiteral("-wal")));
    QCOMPARE(readStored(copy).at(0).trace.size(), written);
}

void TestRecords::exitAfterAnOutageWritesEverything()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.second());
    // Twenty minutes queued, as while the database could not be written.
    for (int i = 0; i < 1200; ++i)
        QVERIFY_OK(session.second(false));
    QCOMPARE(session.sessions.end(), std::nullopt);
    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].record.outcome, std::optional(Outcome::Interrupted));
    QCOMPARE(stored[0].trace.size(), size_t(1201));
}

void TestRecords::traceHasNoExportLimit()
{
    Session session;
    TestParameters &p = session.rig.state.parameters;
    p.LeakTestDuration = 5;
    p.MainTestDuration = 32767;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(6));
    QVERIFY(!session.start(0).refusal);
    // Ten hours of main test queued, as after an outage of the database. Each flush writes
    // at most its budget, so none holds up the window for long; nothing is lost.
    for (int i = 0; i < 36000; ++i)
        QVERIFY_OK(session.second(false));
    QCOMPARE(session.rig.record(0).SampleIndex, kMaxRecordedSamples); // the export store is full
    const auto traceNow = [&session] {
        return *session.store().trace(*session.recorder().latestRecordId(0));
    };
    std::vector<TraceSample> trace = traceNow();
    QCOMPARE(trace.size(), size_t(6)); // the leak test's seconds, written as they came
    int flushes = 0;
    for (size_t written = trace.size(); written < 36006; ++flushes) {
        QVERIFY_OK(session.recorder().flush());
        trace = traceNow();
        QVERIFY2(trace.size() > written && trace.size() - written <= TestRecorder::kSamplesPerFlush,
                 qPrintable(QString::number(trace.size() - written)));
        written = trace.size();
    }
    QCOMPARE(flushes,
             int((36000 + TestRecorder::kSamplesPerFlush - 1) / TestRecorder::kSamplesPerFlush));
    QCOMPARE(trace.size(), size_t(36006));
    QCOMPARE(trace.back().elapsed, int64_t(36005));
    QCOMPARE(phaseLetters({trace.end() - 2, trace.end()}), QStringLiteral("PP"));
}

void TestRecords::linkEventsGoToEveryOpenRecord()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(2));
    session.recorder().linkEvent(LinkEventKind::PortLost, QStringLiteral("Resource error"),
                                 session.now());
    QVERIFY(!session.start(1).refusal); // after the loss: not in its record
    QVERIFY_OK(session.seconds(1));
    session.recorder().linkEvent(LinkEventKind::Reconnected, {}, session.now());
    session.rig.setPressure(1, StationRig::kLost);
    QVERIFY_OK(session.seconds(1));
    session.recorder().linkEvent(LinkEventKind::ReadingsStale, {}, session.now());
    session.stop(0);
    session.recorder().linkEvent(LinkEventKind::ReadingsBack, {}, session.now());
    QVERIFY_OK(session.recorder().flush());

    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(2)); // newest first
    const auto texts = [](const Stored &s) {
        QStringList list{QString::number(s.record.station + 1)};
        for (const RecordedLinkEvent &e : s.events)
            list << e.time.toString(QStringLiteral("hh:mm:ss ")) + linkEventText(e.kind) + u' ' +
                        e.detail;
        return list;
    };
    QCOMPARE(texts(stored[1]), (QStringList{"1", "10:00:02 port lost Resource error",
                                            "10:00:03 reconnected ", "10:00:04 readings stale "}));
    QCOMPARE(texts(stored[0]),
             (QStringList{"2", "10:00:03 reconnected ", "10:00:04 readings stale ",
                          "10:00:04 readings back "}));
    // The lost reading of station 2 is in its trace as not valid.
    QCOMPARE(stored[0].trace.size(), size_t(2));
    QVERIFY(stored[0].trace[0].pressureValid);
    QVERIFY(!stored[0].trace[1].pressureValid);
    QCOMPARE(stored[0].trace[1].pressure, 0.f);
}

void TestRecords::killedProgramLosesOnlyTheLastSecond()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // The program: five seconds committed, a sixth sampled, then killed before its flush.
        StationRig rig;
        RecordStore store(path, *rig.clock);
        TestRecorder recorder(store);
        (void)rig.start(0);
        recorder.leakStarted(0, rig.record(0), rig.state.parameters, rig.state.calibration);
        for (int k = 1; k <= 6; ++k) {
            rig.clock->advance(1);
            recorder.sampled(0, rig.record(0), {700.f - float(k) / 10, true}, {105, true},
                             rig.clock->now());
            if (k < 6 && recorder.flush().failure)
                _exit(1);
        }
        kill(getpid(), SIGKILL);
        _exit(2);
    }
    int status = 0;
    bool ended = false; // QTRY_ evaluates its condition again after it held
    const auto reaped = [&] { return ended = ended || waitpid(child, &status, WNOHANG) == child; };
    QTRY_VERIFY_WITH_TIMEOUT(reaped(), 60000);
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
             qPrintable(QStringLiteral("the recording child ended with status %1").arg(status)));

    std::vector<Stored> stored = readStored(path);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].record.outcome, std::nullopt);
    QCOMPARE(stored[0].trace.size(), size_t(5));

    // The next start closes it as interrupted, at its last sample, its trace kept.
    ManualClock clock(StationRig::kStart.addDays(1));
    RecordStore store(path, clock);
    TestRecorder recorder(store);
    QVERIFY_OK(recorder.flush());
    stored = readStored(path);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(summary(stored[0].record),
             QStringLiteral("1 interrupted 10:00:05 | - - - - | 0.50 - -"));
    QCOMPARE(stored[0].trace.size(), size_t(5));
    QCOMPARE(stored[0].trace[4].pressure, 699.5f);
}

void TestRecords::unreadableFileIsSetAside_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("nameTaken");
    QTest::newRow("not a database") << "garbage" << false;
    QTest::newRow("set-aside name already taken") << "garbage" << true;
    QTest::newRow("another program's database") << "other" << false;
}

void TestRecords::unreadableFileIsSetAside()
{
    QFETCH(QString, content);
    QFETCH(bool, nameTaken);

    Session session;
    const bool garbage = content == u"garbage";
    if (garbage) {
        QFile file(session.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 200; ++i)
            file.write("This is not a database, only text that has the database's name.\n");
        // A crash left a log beside the unreadable file; it must not go into the new one.
        QFile wal(session.path() + QStringLiteral("-wal"));
        QVERIFY(wal.open(QIODevice::WriteOnly));
        wal.write("stale log");
    } else {
        QVERIFY(SqlConnection(session.path()).exec("CREATE TABLE invoices (number INTEGER)"));
    }
    const QByteArray old = readAll(session.path());

    QVERIFY(!session.start(0).refusal);
    session.rig.clock->set(QDateTime(QDate(2026, 12, 8), QTime(19, 30, 0)));
    const QString aside = session.path() + QStringLiteral(".unreadable-20261208-193001");
    if (nameTaken) {
        QFile taken(aside);
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("an earlier one");
    }
    QVERIFY_OK(session.second());

    const QString expected = nameTaken ? aside + QStringLiteral("-2") : aside;
    QCOMPARE(session.store().setAsidePath(), expected);
    QCOMPARE(readAll(expected), old);
    if (garbage)
        QCOMPARE(readAll(expected + QStringLiteral("-wal")), QByteArray("stale log"));
    if (nameTaken)
        QCOMPARE(readAll(aside), QByteArray("an earlier one"));

    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(1));
}

// A full disk and a database that is a folder are met through the main window, in
// tst_recordkeeping; a lock also shows here that a write fails at once and a reader goes on.
void TestRecords::lockedDatabaseFailsFast()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(2));
    {
        const SqlConnection locker(session.path());
        QVERIFY(locker.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        for (int k = 0; k < 2; ++k) {
            QElapsedTimer timer;
            timer.start();
            const MaybeFailure failure = session.second();
            QVERIFY2(failure, "a flush into a locked database must fail");
            QVERIFY2(timer.elapsed() < 1000,
                     qPrintable(QStringLiteral("the flush waited %1 ms").arg(timer.elapsed())));
            QVERIFY2(failure->reason.contains(QStringLiteral("locked")),
                     qPrintable(failure->reason));
            QVERIFY(session.recorder().failing());
        }
        // A reader is not held up by the lock.
        const std::vector<Stored> stored = readStored(session.path());
        QCOMPARE(stored.size(), size_t(1));
        QCOMPARE(stored[0].trace.size(), size_t(2));
    }
    QVERIFY_OK(session.second());
    QVERIFY(!session.recorder().failing());

    // Nothing queued meanwhile is lost.
    const std::vector<Stored> stored = readStored(session.path());
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(5));
    QCOMPARE(stored[0].trace.back().elapsed, int64_t(4));
}

void TestRecords::refusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("reason");
    QTest::newRow("reading a missing database") << "" << true << "There is no records database.";
    QTest::newRow("writing a newer schema")
        << "newer" << false
        << "The records database was made by a newer version of Kestrava (schema 6; this one "
           "knows up to 5).";
    QTest::newRow("reading a version-1 database")
        << "v1" << true
        << "The records database has schema version 1; Kestrava brings it to version 5 when it "
           "next starts.";
}

void TestRecords::refusals()
{
    QFETCH(QString, file);
    QFETCH(bool, readOnly);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    if (file == u"v1")
        QVERIFY(QFile::copy(QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite"), path));
    else if (file == u"newer")
        QVERIFY(SqlConnection(path).exec(QStringLiteral("PRAGMA user_version = 6")));
    const QByteArray before = readAll(path);

    ManualClock clock(StationRig::kStart);
    RecordStore store(path, clock,
                      readOnly ? RecordStore::Mode::ReadOnly : RecordStore::Mode::ReadWrite);
    const MaybeFailure failure = store.open();
    QVERIFY(failure);
    QCOMPARE(failure->reason, reason);
    QVERIFY(!store.isOpen());
    store.close();
    QCOMPARE(readAll(path), before);
    if (file.isEmpty())
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

void TestRecords::migration_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << 1;
    QTest::newRow("version 2") << 2;
    QTest::newRow("version 3") << 3;
}

void TestRecords::migration()
{
    QFETCH(int, version);
    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    QVERIFY(QFile::copy(QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite"), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
    if (version >= 2) {
        // What version 2 made of it: its falls, the main fall over main and post-test phases.
        const SqlConnection raw(path);
        for (const char *sql :
             {"ALTER TABLE record ADD COLUMN leak_fall REAL",
              "ALTER TABLE record ADD COLUMN main_fall REAL",
              "CREATE TABLE link_event (id INTEGER PRIMARY KEY, record_id INTEGER NOT NULL "
              "REFERENCES record (id), time TEXT NOT NULL, kind TEXT NOT NULL, detail TEXT NOT "
              "NULL DEFAULT '')",
              "CREATE INDEX link_event_record ON link_event (record_id)",
              "CREATE INDEX record_start ON record (start_utc)",
              "UPDATE record SET leak_fall = 0.4, main_fall = 1.4 WHERE id = 1",
              "PRAGMA user_version = 2"})
            QVERIFY2(raw.exec(QLatin1String(sql)), sql);
    }
    if (version == 3) {
        // Version 3: the post-test fall and the decisions; still no part and no rates.
        const SqlConnection raw(path);
        for (const char *sql :
             {"ALTER TABLE record ADD COLUMN post_fall REAL",
              "ALTER TABLE record ADD COLUMN decisions_recorded INTEGER NOT NULL DEFAULT 0",
              "CREATE TABLE decision (record_id INTEGER NOT NULL REFERENCES record (id), seq "
              "INTEGER NOT NULL, time_ms INTEGER NOT NULL, utc_offset INTEGER NOT NULL, kind "
              "TEXT NOT NULL, pressure REAL NOT NULL, reference REAL NOT NULL, fall_limit REAL "
              "NOT NULL, PRIMARY KEY (record_id, seq)) WITHOUT ROWID",
              "PRAGMA user_version = 3"})
            QVERIFY2(raw.exec(QLatin1String(sql)), sql);
    }

    ManualClock clock(StationRig::kStart);
    {
        RecordStore store(path, clock);
        TestRecorder recorder(store);
        QVERIFY_OK(recorder.flush()); // opens, migrates, closes the open record
        QVERIFY(store.setAsidePath().isEmpty());

        // The new table takes events.
        StationRecord station;
        station.PhaseStartTime = StationRig::kStart;
        station.RefPressure = 700;
        recorder.leakStarted(1, station, {}, {});
        recorder.linkEvent(LinkEventKind::PortLost, QStringLiteral("gone"), StationRig::kStart);
        QVERIFY_OK(recorder.flush());
    }
    {
        const SqlConnection raw(path);
        QCOMPARE(raw.rows(QStringLiteral("PRAGMA user_version")), QStringList{"5"});
        QCOMPARE(
            raw.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' "
                                    "AND sql IS NOT NULL ORDER BY name")),
            (QStringList{"link_event_record", "record_change", "record_serial", "record_start"}));
        // Every record, migrated or new, has a change of its own for a sync to copy.
        QCOMPARE(raw.rows(QStringLiteral("SELECT count(DISTINCT change_seq) FROM record WHERE "
                                         "change_seq > 0")),
                 QStringList{"4"});
    }

    // Newest first: the new test, the open test, the failed leak test, the completed test,
    // with the falls the migration computed.
    const std::vector<Stored> stored = readStored(path);
    QStringList records;
    for (const Stored &s : stored)
        records << summary(s.record) + u' ' + phaseLetters(s.trace);
    // A version-2 main fall covered the post-test phase too; now each phase has its own.
    QCOMPARE(records, (QStringList{"2 running - | - - - - | - - - ",
                                   "1 interrupted 11:00:04 | - - - - | 0.30 - - LLLL",
                                   "2 leak test failed 09:30:03 | - - - - | 10.00 - - LLL",
                                   "1 completed 09:00:10 | 09:00:03 09:00:05 699.5 09:00:09 | "
                                   "0.40 0.50 1.00 LLLAMMMPP"}));
    // Old records kept no decisions; the new one does.
    QCOMPARE(stored[0].record.decisionsRecorded, true);
    QCOMPARE(stored[3].record.decisionsRecorded, false);
    QCOMPARE(stored[3].decisions.size(), size_t(0));
    QCOMPARE(stored[0].events.size(), size_t(1));
    const Stored &done = stored[3];
    QCOMPARE(isoTime(done.record.start), QStringLiteral("2026-03-02T09:00:00+01:00"));
    QCOMPARE(done.record.testName, QStringLiteral("Vessel 7, lot \"A\""));
    QCOMPARE(done.record.operatorName, QStringLiteral("Jürgen Weiß"));
    QCOMPARE(done.trace[4].elapsed, int64_t(5));
    QVERIFY(!stored[2].trace[1].pressureValid && stored[2].trace[1].bathTempValid);
    QVERIFY(stored[2].trace[2].pressureValid && !stored[2].trace[2].bathTempValid);

    // The rates that statistics read are computed from each old record's trace, and the
    // old records have no part: their CSV rows hold empty serial and model fields.
    for (const Stored &s : stored) {
        const LeakFigures figures = leakFigures(s.record, s.trace, s.decisions);
        QCOMPARE(s.record.leakRate, figures.leak.endToEndRate);
        QCOMPARE(s.record.mainRate, figures.main.endToEndRate);
        QCOMPARE(s.record.serial, QString());
        QCOMPARE(s.record.modelVolume, std::optional<double>());
    }
    QVERIFY(done.record.leakRate && done.record.mainRate);
    QByteArray csv;
    appendCsvRows(csv, done);
    const QList<QByteArray> rows = csv.split('\n');
    QCOMPARE(rows.size(), qsizetype(done.trace.size()) + 1); // and the empty rest after the last
    for (const QByteArray &row : rows.first(rows.size() - 1))
        QVERIFY2(row.startsWith("1,1,,,2026-03-02T09:00:00+01:00,"), row.constData());
}

void TestRecords::names()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(2));
    const int64_t id = *session.recorder().latestRecordId(0);
    const auto stored = [&] {
        const Fallible<TestRecord> r = session.store().record(id);
        return r.ok() ? r->testName + u'|' + r->operatorName : QStringLiteral("unreadable");
    };
    const auto reportNames = [&](int station) {
        const std::optional<RecordNames> names = session.sessions.reportNames(station);
        return names ? names->testName + u'|' + names->operatorName : QStringLiteral("none");
    };

    // A report of a test that was never named, printed as it opened: no name is stored.
    QCOMPARE(reportNames(0), QStringLiteral("|"));
    session.sessions.reportIssued(0, kUnnamedTest, kUnnamedOperator);
    QVERIFY_OK(session.recorder().flush());
    QCOMPARE(stored(), QStringLiteral("|"));

    // Names saved in the records window while the test runs survive the recorder's next
    // writes, and the station's report opens with them.
    QVERIFY_OK(session.recorder().setNames(id, {QStringLiteral("Edited"), QStringLiteral("Ann")}));
    session.stop(0);
    QVERIFY_OK(session.recorder().flush());
    QCOMPARE(session.store().record(id)->outcome, std::optional(Outcome::Stopped));
    QCOMPARE(stored(), QStringLiteral("Edited|Ann"));
    QCOMPARE(reportNames(0), QStringLiteral("Edited|Ann"));
    QCOMPARE(reportNames(1), QStringLiteral("none"));

    // A report issued after the end names the station's latest record, what its fields hold.
    session.sessions.reportIssued(1, QStringLiteral("nothing on station 2"), {});
    session.sessions.reportIssued(0, QStringLiteral("Vessel 7, lot \"A\"\nline 2"),
                                  kUnnamedOperator);
    QCOMPARE(reportNames(0), QStringLiteral("Vessel 7, lot \"A\"\nline 2|"));
    QVERIFY_OK(session.recorder().flush());
    QCOMPARE(stored(), QStringLiteral("Vessel 7, lot \"A\"\nline 2|"));
    QCOMPARE(session.store().records({})->size(), size_t(1));

    const MaybeFailure missing = session.recorder().setNames(id + 1, {});
    QVERIFY(missing);
    QCOMPARE(missing->reason, QStringLiteral("There is no test record %1.").arg(id + 1));
    QVERIFY_OK(session.recorder().setNames(id, {})); // the failed transaction was undone
    QCOMPARE(stored(), QStringLiteral("|"));
}

void TestRecords::listing_data()
{
    QTest::addColumn<QStringList>("sinceUntilText");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<int>>("listedIds");
    QTest::addColumn<QString>("firstRow"); // the texts of the first row listed
    QTest::addColumn<int>("unit");         // of the main rate column

    // Records 1..5 (see listing()); the station, result and text filters and the other sort
    // columns are the records window's to show. Record 3 is serial SN-3 of model Valve
    // (250 ml), its main rate 2 KPa/min: 33.333 Pa/s, 4.935 sccm. Record 4 has a rate of
    // 1 KPa/min and no model: no flow.
    const int start = RecordListModel::Start;
    const int kpaMin = int(RateUnit::KpaPerMinute);
    const QString running = QStringLiteral("1|05-07-2026 10:00:00||running|echo 5%_|Dan|700.0||||");
    QTest::newRow("all, newest first") << QStringList{"", "", ""} << start << false
                                       << QList<int>{5, 4, 3, 2, 1} << running << kpaMin;
    QTest::newRow("from one start to before another")
        << QStringList{"2026-07-02T10:00:00+02:00", "2026-07-04T10:00:00+02:00", ""} << start
        << false << QList<int>{3, 2}
        << "1|03-07-2026 10:00:00|00:20:00|completed|Charlie|Carl|690.0|2.25|SN-3|Valve|2.000"
        << kpaMin;
    QTest::newRow("text taken literally")
        << QStringList{"", "", "%_"} << start << false << QList<int>{5} << running << kpaMin;
    QTest::newRow("text found in a serial")
        << QStringList{"", "", "sn-"} << start << false << QList<int>{3}
        << "1|03-07-2026 10:00:00|00:20:00|completed|Charlie|Carl|690.0|2.25|SN-3|Valve|33.333"
        << int(RateUnit::PaPerSecond);
    QTest::newRow("by duration, open last")
        << QStringList{"", "", ""} << int(RecordListModel::Duration) << false
        << QList<int>{4, 2, 1, 3, 5}
        << "2|04-07-2026 10:00:00|01:02:05|main test failed|alpha|Joanna|700.0|1.25|||1.000"
        << kpaMin;
    // A flow needs the volume: record 4 has none and sorts as none.
    QTest::newRow("by sccm, none last")
        << QStringList{"", "", ""} << int(RecordListModel::MainRate) << false
        << QList<int>{3, 5, 4, 2, 1}
        << "1|03-07-2026 10:00:00|00:20:00|completed|Charlie|Carl|690.0|2.25|SN-3|Valve|4.935"
        << int(RateUnit::Sccm);
}

void TestRecords::listing()
{
    QFETCH(QStringList, sinceUntilText);
    QFETCH(int, sortColumn);
    QFETCH(bool, ascending);
    QFETCH(QList<int>, listedIds);
    QFETCH(QString, firstRow);
    QFETCH(int, unit);

    QTemporaryDir dir;
    ManualClock clock(StationRig::kStart);
    RecordStore store(dir.filePath(RecordStore::kFileName), clock);
    QVERIFY_OK(store.open());
    std::vector<RecordChange> changes(5);
    changes[0].record = handRecord(0, "2026-07-01T10:00:00+02:00", 1500, Outcome::Completed, "beta",
                                   "Anna", 700, 1.5);
    changes[1].record = handRecord(1, "2026-07-02T10:00:00+02:00", 3000, Outcome::Stopped, "delta",
                                   "Bob", 710, std::nullopt);
    changes[2].record = handRecord(0, "2026-07-03T10:00:00+02:00", 1200, Outcome::Completed,
                                   "Charlie", "Carl", 690, 2.25);
    changes[3].record = handRecord(1, "2026-07-04T10:00:00+02:00", 3725, Outcome::MainTestFailed,
                                   "alpha", "Joanna", 700.04f, 1.254);
    changes[2].record.serial = QStringLiteral("SN-3");
    changes[2].record.model = QStringLiteral("Valve");
    changes[2].record.modelVolume = 250;
    changes[2].record.mainRate = 2;
    changes[3].record.mainRate = 1;
    changes[4].record = handRecord(0, "2026-07-05T10:00:00+02:00", 0, std::nullopt, "echo 5%_",
                                   "Dan", 699.96f, std::nullopt);
    const Fallible<std::vector<int64_t>> ids = store.write(changes);
    QVERIFY_OK(ids);
    QCOMPARE(ids->back(), int64_t(5));

    RecordFilter filter;
    if (!sinceUntilText[0].isEmpty())
        filter.since = fromIsoTime(sinceUntilText[0]);
    if (!sinceUntilText[1].isEmpty())
        filter.until = fromIsoTime(sinceUntilText[1]);
    filter.text = sinceUntilText[2];

    RecordListModel model(store.connectionName());
    model.setFilter(filter);
    model.sort(sortColumn, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    model.setUnit(RateUnit(unit)); // after the sort: a flow sorts anew by volume
    QVERIFY_OK(model.lastFailure());
    QList<int> listed;
    for (int row = 0; row < model.rowCount(); ++row)
        listed << int(model.recordId(row));
    QCOMPARE(listed, listedIds);
    QStringList headers, texts;
    for (int column = 0; column < model.columnCount(); ++column) {
        headers << model.headerData(column, Qt::Horizontal).toString();
        texts << model.index(0, column).data().toString();
    }
    QCOMPARE(headers, (QStringList{"Station", "Start", "Duration", "Result", "Test name",
                                   "Operator", "Leak start KPa", "Main fall KPa", "Serial", "Model",
                                   "Main rate " + rateUnitText(RateUnit(unit))}));
    QCOMPARE(texts.join(u'|'), firstRow);

    if (sortColumn == RecordListModel::Start && !ascending) {
        const Fallible<std::vector<TestRecord>> records = store.records(filter);
        QVERIFY_OK(records);
        QList<int> read;
        for (const TestRecord &r : *records)
            read << int(r.id);
        QCOMPARE(read, listedIds);
    }
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
