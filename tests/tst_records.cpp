// The record store and the recorder: whole tests of every outcome through the real sequencer,
// crash safety, the faults the store must survive, the migration of a version-1 database,
// names, and the list model.
#include "stationrig.h"

#include "records/leakfigures.h"
#include "records/recordlistmodel.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"
#include "support/diskfaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

/// Fails the test with the reason when the routine failed.
#define QVERIFY_OK(expr)                                                                           \
    do {                                                                                           \
        const MaybeFailure failure_ = (expr);                                                      \
        if (failure_)                                                                              \
            QFAIL(qPrintable(failure_->reason + QStringLiteral(" (") + failure_->path + u')'));    \
    } while (false)

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// The phases of a trace as letters: L leak, A after, M main, P post.
QString phaseLetters(const std::vector<TraceSample> &trace)
{
    QString letters;
    for (const TraceSample &sample : trace)
        letters += QStringLiteral("LMPA")[int(sample.phase)];
    return letters;
}

QString isoOrEmpty(const std::optional<QDateTime> &time)
{
    return time ? isoTime(*time) : QString();
}

/// What a second connection reads of a database: every record with its trace and events.
struct Stored {
    TestRecord record;
    std::vector<TraceSample> trace;
    std::vector<RecordedLinkEvent> events;
};

/// Reads the database at path through a read-only store, as the command-line reader does.
std::vector<Stored> readStored(const QString &path, MaybeFailure &failure)
{
    ManualClock clock(StationRig::kStart);
    RecordStore reader(path, clock, RecordStore::Mode::ReadOnly);
    std::vector<Stored> result;
    std::vector<TestRecord> records;
    failure = reader.open();
    if (!failure)
        failure = reader.records({}, records);
    for (const TestRecord &record : records) {
        Stored stored{record, {}, {}};
        if (!failure)
            failure = reader.trace(record.id, stored.trace);
        if (!failure)
            failure = reader.events(record.id, stored.events);
        result.push_back(std::move(stored));
    }
    return result;
}

/// The program as the main window runs it: a station rig, the store in its working folder and
/// the recorder, told of every start, stop, sample and phase change.
struct Session {
    Session() : store(path(), *rig.clock), recorder(store) {}

    QString path() const { return rig.dir.filePath(RecordStore::kFileName); }
    QDateTime now() const { return rig.clock->now(); }

    StartOutcome start(int s)
    {
        const StartOutcome outcome = rig.start(s);
        if (outcome.kind == StartOutcome::Kind::LeakStarted)
            recorder.leakStarted(s, rig.record(s), rig.state.parameters, rig.state.calibration);
        else if (outcome.kind == StartOutcome::Kind::MainStarted)
            recorder.mainStarted(s, rig.record(s));
        return outcome;
    }

    void stop(int s)
    {
        if (rig.stop(s))
            recorder.stopped(s, now());
    }

    /// One second: the display tick samples every running station, then the scan tick
    /// sequences; then, when asked, the flush that the display tick ends with.
    MaybeFailure second(bool flush = true)
    {
        rig.clock->advance(1);
        for (int s = 0; s < kUsedStations; ++s)
            if (rig.record(s).TestRunning)
                recorder.sampled(s, rig.record(s), stationPressure(rig.state.readings, s),
                                 bathTemperature(rig.state.readings), now());
        recordSamples(rig.state);
        const SequencerResult result = rig.tick();
        for (const StationChanges &changes : result.stations)
            recorder.phaseChanged(changes.station, changes.changes, now());
        return flush ? recorder.flush() : std::nullopt;
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
    RecordStore store;
    TestRecorder recorder;
};

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
    void traceHasNoExportLimit();
    void linkEventsGoToEveryOpenRecord();
    void committedEverySecond();
    void killedProgramLosesOnlyTheLastSecond();
    void fullDisk();
    void databaseIsAFolder();
    void unreadableFileIsSetAside_data();
    void unreadableFileIsSetAside();
    void lockedDatabaseFailsFast();
    void refusals_data();
    void refusals();
    void migrationFromVersion1();
    void names();
    void listing_data();
    void listing();
    void listTexts();
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
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("phases");
    QTest::addColumn<QStringList>("phaseTimes"); // leak pass, main start, post-test start
    QTest::addColumn<double>("leakFall");
    QTest::addColumn<double>("mainFall"); // NaN: none

    // Leak 5 s and main 5 s; the station at 700 KPa, the fall limits 7 and 14 KPa.
    const double none = qQNaN();
    QTest::newRow("completed") << QStringList{"start", "run 8",        "start",
                                              "run 6", "pressure 680", "run 1"}
                               << "completed"
                               << "2026-07-12T10:00:15+02:00"
                               << "LLLLLAAAMMMMMPP"
                               << QStringList{"2026-07-12T10:00:05+02:00",
                                              "2026-07-12T10:00:08+02:00",
                                              "2026-07-12T10:00:13+02:00"}
                               << 0.0 << 20.0;
    QTest::newRow("leak test failed")
        << QStringList{"start", "run 2", "pressure 690", "run 1"} << "leak test failed"
        << "2026-07-12T10:00:03+02:00"
        << "LLL" << QStringList{"", "", ""} << 10.0 << none;
    QTest::newRow("main test failed")
        << QStringList{"start", "run 8", "start", "run 2", "pressure 680", "run 1"}
        << "main test failed"
        << "2026-07-12T10:00:11+02:00"
        << "LLLLLAAAMMM"
        << QStringList{"2026-07-12T10:00:05+02:00", "2026-07-12T10:00:08+02:00", ""} << 0.0 << 20.0;
    QTest::newRow("main restarted, then stopped")
        << QStringList{"start", "run 6", "start", "run 2", "pressure 695", "start", "run 2", "stop"}
        << "stopped"
        << "2026-07-12T10:00:10+02:00"
        << "LLLLLAMMMM" << QStringList{"2026-07-12T10:00:05+02:00", "2026-07-12T10:00:08+02:00", ""}
        << 0.0 << 0.0;
    QTest::newRow("program ended")
        << QStringList{"start", "run 8", "start", "run 2", "end"} << "interrupted"
        << "2026-07-12T10:00:10+02:00"
        << "LLLLLAAAMM" << QStringList{"2026-07-12T10:00:05+02:00", "2026-07-12T10:00:08+02:00", ""}
        << 0.0 << 0.0;
}

void TestRecords::outcomes()
{
    QFETCH(QStringList, script);
    QFETCH(QString, outcome);
    QFETCH(QString, end);
    QFETCH(QString, phases);
    QFETCH(QStringList, phaseTimes);
    QFETCH(double, leakFall);
    QFETCH(double, mainFall);

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
            session.recorder.programEnding(session.now());
        }
    }
    QVERIFY_OK(session.recorder.flush());

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    const TestRecord &r = stored[0].record;
    QCOMPARE(std::optional<int64_t>(r.id), session.recorder.latestRecordId(0));
    QCOMPARE(r.station, 0);
    QCOMPARE(isoTime(r.start), QStringLiteral("2026-07-12T10:00:00+02:00"));
    QCOMPARE(isoOrEmpty(r.end), end);
    QCOMPARE(r.outcome ? outcomeText(*r.outcome) : QString(), outcome);
    QCOMPARE(phaseLetters(stored[0].trace), phases);
    QCOMPARE((QStringList{isoOrEmpty(r.leakPassTime), isoOrEmpty(r.mainStartTime),
                          isoOrEmpty(r.postTestTime)}),
             phaseTimes);

    // The conditions at the start.
    QCOMPARE(r.parameters.StartPressureLimit, atStart.StartPressureLimit);
    QCOMPARE(r.parameters.LeakFallLimit, atStart.LeakFallLimit);
    QCOMPARE(r.parameters.LeakTestDuration, atStart.LeakTestDuration);
    QCOMPARE(r.parameters.BathFallLimit, atStart.BathFallLimit);
    QCOMPARE(r.parameters.MainTestDuration, atStart.MainTestDuration);
    QCOMPARE(r.parameters.MinBathTemp, atStart.MinBathTemp);
    QCOMPARE((std::array{r.calRange, r.calZero, r.calSpan, r.tempZero, r.tempSpan}),
             (std::array{1234.5f, 12.f, 1100.f, 3.f, 98.5f}));
    QCOMPARE(r.leakRefPressure, 700.f);
    QCOMPARE(r.mainRefPressure.has_value(), !phaseTimes[1].isEmpty());

    // Every sample: one a second from the start, the readings of its second.
    const std::vector<TraceSample> &trace = stored[0].trace;
    for (size_t k = 0; k < trace.size(); ++k) {
        QCOMPARE(trace[k].elapsed, int64_t(k));
        QCOMPARE(isoTime(trace[k].time), isoTime(StationRig::kStart.addSecs(qint64(k) + 1)));
        QVERIFY(trace[k].pressureValid && trace[k].bathTempValid);
        QCOMPARE(trace[k].bathTemp, 105.f);
    }
    QCOMPARE(trace.back().pressure, session.rig.state.readings.Pressure1);

    // The summary is the figures of the trace.
    const LeakFigures figures = leakFigures(r, trace);
    QCOMPARE(r.leakFall, figures.leak.fall);
    QCOMPARE(r.mainFall, figures.main.fall);
    QCOMPARE(r.leakFall, std::optional<double>(leakFall));
    if (qIsNaN(mainFall))
        QCOMPARE(r.mainFall, std::nullopt);
    else
        QCOMPARE(r.mainFall, std::optional<double>(mainFall));
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
    std::vector<TraceSample> trace;
    QVERIFY_OK(session.store.trace(*session.recorder.latestRecordId(0), trace));
    QCOMPARE(trace.size(), size_t(6)); // the leak test's seconds, written as they came
    int flushes = 0;
    for (size_t written = trace.size(); written < 36006; ++flushes) {
        QVERIFY_OK(session.recorder.flush());
        QVERIFY_OK(session.store.trace(*session.recorder.latestRecordId(0), trace));
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
    session.recorder.linkEvent(LinkEventKind::PortLost, QStringLiteral("Resource error"),
                               session.now());
    QVERIFY(!session.start(1).refusal); // after the loss: not in its record
    QVERIFY_OK(session.seconds(1));
    session.recorder.linkEvent(LinkEventKind::Reconnected, {}, session.now());
    session.rig.setPressure(1, StationRig::kLost);
    QVERIFY_OK(session.seconds(1));
    session.recorder.linkEvent(LinkEventKind::ReadingsStale, {}, session.now());
    session.stop(0);
    session.recorder.linkEvent(LinkEventKind::ReadingsBack, {}, session.now());
    QVERIFY_OK(session.recorder.flush());

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(2)); // newest first
    const auto texts = [](const std::vector<RecordedLinkEvent> &events) {
        QStringList list;
        for (const RecordedLinkEvent &e : events)
            list << isoTime(e.time) + u' ' + linkEventText(e.kind) + u' ' + e.detail;
        return list;
    };
    QCOMPARE(stored[1].record.station, 0);
    QCOMPARE(texts(stored[1].events),
             (QStringList{"2026-07-12T10:00:02+02:00 port lost Resource error",
                          "2026-07-12T10:00:03+02:00 reconnected ",
                          "2026-07-12T10:00:04+02:00 readings stale "}));
    QCOMPARE(stored[0].record.station, 1);
    QCOMPARE(texts(stored[0].events), (QStringList{"2026-07-12T10:00:03+02:00 reconnected ",
                                                   "2026-07-12T10:00:04+02:00 readings stale ",
                                                   "2026-07-12T10:00:04+02:00 readings back "}));
    // The lost reading of station 2 is in its trace as not valid.
    QCOMPARE(stored[0].trace.size(), size_t(2));
    QVERIFY(stored[0].trace[0].pressureValid);
    QVERIFY(!stored[0].trace[1].pressureValid);
    QCOMPARE(stored[0].trace[1].pressure, 0.f);
}

void TestRecords::committedEverySecond()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    for (int k = 1; k <= 5; ++k) {
        session.rig.setPressure(0, 700.f - float(k));
        QVERIFY_OK(session.second());
        MaybeFailure failure;
        const std::vector<Stored> stored = readStored(session.path(), failure);
        QVERIFY_OK(failure);
        QCOMPARE(stored.size(), size_t(1));
        QCOMPARE(stored[0].record.outcome, std::nullopt);
        QCOMPARE(stored[0].trace.size(), size_t(k));
        QCOMPARE(stored[0].trace.back().pressure, 700.f - float(k));
    }
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
        rig.start(0);
        recorder.leakStarted(0, rig.record(0), rig.state.parameters, rig.state.calibration);
        for (int k = 1; k <= 6; ++k) {
            rig.clock->advance(1);
            recorder.sampled(0, rig.record(0), {700.f - float(k) / 10, true}, {105, true},
                             rig.clock->now());
            if (k < 6 && recorder.flush())
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

    MaybeFailure failure;
    std::vector<Stored> stored = readStored(path, failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].record.outcome, std::nullopt);
    QCOMPARE(stored[0].trace.size(), size_t(5));

    // The next start closes it as interrupted, at its last sample, its trace kept.
    ManualClock clock(StationRig::kStart.addDays(1));
    RecordStore store(path, clock);
    TestRecorder recorder(store);
    QVERIFY_OK(recorder.flush());
    stored = readStored(path, failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored[0].record.outcome, std::optional(Outcome::Interrupted));
    QCOMPARE(isoOrEmpty(stored[0].record.end), QStringLiteral("2026-07-12T10:00:05+02:00"));
    QCOMPARE(stored[0].trace.size(), size_t(5));
    QCOMPARE(stored[0].trace[4].pressure, 699.5f);
    QVERIFY(qAbs(stored[0].record.leakFall.value_or(0) - 0.5) < 1e-4);
}

void TestRecords::fullDisk()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(3));
    const QString wal = session.path() + QStringLiteral("-wal");
    QVERIFY(QFileInfo(wal).size() > 0);
    {
        // No file may grow: the next commit cannot add to the log.
        const FileSizeLimit limit(rlim_t(QFileInfo(wal).size()));
        QVERIFY(limit.active());
        for (int k = 0; k < 3; ++k) {
            const MaybeFailure failure = session.second();
            QVERIFY2(failure, "a flush onto a full disk must fail");
            QVERIFY2(failure->reason.contains(QStringLiteral("disk is full")) ||
                         failure->reason.contains(QStringLiteral("I/O")),
                     qPrintable(failure->reason));
            QCOMPARE(failure->path, session.path());
            QVERIFY(session.recorder.failing());
        }
        QVERIFY(session.rig.record(0).TestRunning); // the test goes on
    }
    QVERIFY_OK(session.second());
    QVERIFY(!session.recorder.failing());

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(7));
    for (size_t k = 0; k < 7; ++k)
        QCOMPARE(stored[0].trace[k].elapsed, int64_t(k));
}

void TestRecords::databaseIsAFolder()
{
    Session session;
    QVERIFY(QDir().mkpath(session.path()));
    QVERIFY(!session.start(0).refusal);
    for (int k = 0; k < 2; ++k) {
        const MaybeFailure failure = session.second();
        QVERIFY(failure);
        QCOMPARE(recordsErrorText(*failure),
                 QStringLiteral("The test records could not be written to %1: The records "
                                "database is a folder, not a file.")
                     .arg(session.path()));
    }
    QVERIFY(QDir(session.path()).removeRecursively());
    QVERIFY_OK(session.second());

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(3));
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
    if (content == u"garbage") {
        QFile file(session.path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 200; ++i)
            file.write("This is not a database, only text that has the database's name.\n");
    } else {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "other");
        other.setDatabaseName(session.path());
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE invoices (number INTEGER)")));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }
    const QByteArray old = fileBytes(session.path());
    const bool withLog = content == u"garbage";
    if (withLog) {
        // A crash left a log beside the unreadable file; it must not go into the new one.
        QFile wal(session.path() + QStringLiteral("-wal"));
        QVERIFY(wal.open(QIODevice::WriteOnly));
        wal.write("stale log");
    }

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
    QCOMPARE(session.store.setAsidePath(), expected);
    QCOMPARE(fileBytes(expected), old);
    if (withLog)
        QCOMPARE(fileBytes(expected + QStringLiteral("-wal")), QByteArray("stale log"));
    if (nameTaken)
        QCOMPARE(fileBytes(aside), QByteArray("an earlier one"));

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(1));
}

void TestRecords::lockedDatabaseFailsFast()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(2));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "locker");
        other.setDatabaseName(session.path());
        QVERIFY(other.open());
        QSqlQuery lock(other);
        QVERIFY(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        for (int k = 0; k < 2; ++k) {
            QElapsedTimer timer;
            timer.start();
            const MaybeFailure failure = session.second();
            QVERIFY2(failure, "a flush into a locked database must fail");
            QVERIFY2(timer.elapsed() < 1000,
                     qPrintable(QStringLiteral("the flush waited %1 ms").arg(timer.elapsed())));
            QVERIFY2(failure->reason.contains(QStringLiteral("locked")),
                     qPrintable(failure->reason));
        }
        // A reader is not held up by the lock.
        MaybeFailure failure;
        const std::vector<Stored> stored = readStored(session.path(), failure);
        QVERIFY_OK(failure);
        QCOMPARE(stored.size(), size_t(1));
        QCOMPARE(stored[0].trace.size(), size_t(2));
        QVERIFY(lock.exec(QStringLiteral("COMMIT")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));
    QVERIFY_OK(session.second());

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(session.path(), failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(1));
    QCOMPARE(stored[0].trace.size(), size_t(5));
}

void TestRecords::refusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("reason");
    QTest::newRow("reading a missing database") << "" << true << "There is no records database.";
    QTest::newRow("writing a newer schema")
        << "newer" << false
        << "The records database was made by a newer version of Kestrava (schema 3; this one "
           "knows up to 2).";
    QTest::newRow("reading a version-1 database")
        << "v1" << true
        << "The records database has schema version 1; Kestrava brings it to version 2 when it "
           "next starts.";
}

void TestRecords::refusals()
{
    QFETCH(QString, file);
    QFETCH(bool, readOnly);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    if (file == u"v1") {
        QVERIFY(QFile::copy(QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite"), path));
    } else if (file == u"newer") {
        QSqlDatabase newer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "newer");
        newer.setDatabaseName(path);
        QVERIFY(newer.open());
        QVERIFY(QSqlQuery(newer).exec(QStringLiteral("PRAGMA user_version = 3")));
        newer.close();
        newer = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("newer"));
    }
    const QByteArray before = fileBytes(path);

    ManualClock clock(StationRig::kStart);
    RecordStore store(path, clock,
                      readOnly ? RecordStore::Mode::ReadOnly : RecordStore::Mode::ReadWrite);
    const MaybeFailure failure = store.open();
    QVERIFY(failure);
    QCOMPARE(failure->reason, reason);
    QVERIFY(!store.isOpen());
    store.close();
    QCOMPARE(fileBytes(path), before);
    if (file.isEmpty())
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList());
}

void TestRecords::migrationFromVersion1()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    QVERIFY(QFile::copy(QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite"), path));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));

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
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
        raw.setDatabaseName(path);
        QVERIFY(raw.open());
        QSqlQuery query(raw);
        QVERIFY(query.exec(QStringLiteral("PRAGMA user_version")) && query.next());
        QCOMPARE(query.value(0).toInt(), 2);
        QVERIFY(query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' "
                                          "AND sql IS NOT NULL ORDER BY name")));
        QStringList indexes;
        while (query.next())
            indexes << query.value(0).toString();
        QCOMPARE(indexes, (QStringList{"link_event_record", "record_start"}));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));

    MaybeFailure failure;
    const std::vector<Stored> stored = readStored(path, failure);
    QVERIFY_OK(failure);
    QCOMPARE(stored.size(), size_t(4));
    QCOMPARE(stored[0].events.size(), size_t(1));

    // Newest first: the open test, the failed leak test, the completed test.
    const TestRecord &open = stored[1].record;
    QCOMPARE(open.id, int64_t(3));
    QCOMPARE(open.outcome, std::optional(Outcome::Interrupted));
    QCOMPARE(isoOrEmpty(open.end), QStringLiteral("2026-03-02T11:00:04+01:00"));
    QVERIFY(qAbs(open.leakFall.value_or(0) - 0.3) < 1e-4);
    QCOMPARE(stored[1].trace.size(), size_t(4));

    const TestRecord &failed = stored[2].record;
    QCOMPARE(failed.station, 1);
    QCOMPARE(failed.outcome, std::optional(Outcome::LeakTestFailed));
    QCOMPARE((std::array{failed.calRange, failed.calZero, failed.calSpan, failed.tempZero,
                         failed.tempSpan}),
             (std::array{1200.f, 12.f, 1100.f, 3.f, 98.f}));
    QCOMPARE(stored[2].trace.size(), size_t(3));
    QVERIFY(!stored[2].trace[1].pressureValid && stored[2].trace[1].bathTempValid);
    QVERIFY(stored[2].trace[2].pressureValid && !stored[2].trace[2].bathTempValid);
    QVERIFY(qAbs(failed.leakFall.value_or(0) - 10.0) < 1e-4);
    QCOMPARE(failed.mainFall, std::nullopt);

    const TestRecord &done = stored[3].record;
    QCOMPARE(done.testName, QStringLiteral("Vessel 7, lot \"A\""));
    QCOMPARE(done.operatorName, QStringLiteral("Jürgen Weiß"));
    QCOMPARE(isoTime(done.start), QStringLiteral("2026-03-02T09:00:00+01:00"));
    QCOMPARE(isoOrEmpty(done.end), QStringLiteral("2026-03-02T09:00:10+01:00"));
    QCOMPARE(isoOrEmpty(done.mainStartTime), QStringLiteral("2026-03-02T09:00:05+01:00"));
    QCOMPARE(done.parameters.BathFallLimit, 0.9f);
    QCOMPARE(done.mainRefPressure, std::optional(699.5f));
    QCOMPARE(phaseLetters(stored[3].trace), QStringLiteral("LLLAMMMPP"));
    QCOMPARE(isoTime(stored[3].trace[4].time), QStringLiteral("2026-03-02T09:00:06+01:00"));
    QCOMPARE(stored[3].trace[4].elapsed, int64_t(5));
    QCOMPARE(stored[3].trace[8].pressure, 698.5f);
    QCOMPARE(stored[3].trace[8].bathTemp, 101.4f);
    QVERIFY(qAbs(done.leakFall.value_or(0) - 0.4) < 1e-4);
    QVERIFY(qAbs(done.mainFall.value_or(0) - 1.0) < 1e-4);
}

void TestRecords::names()
{
    Session session;
    QVERIFY(!session.start(0).refusal);
    QVERIFY_OK(session.seconds(2));
    const int64_t id = *session.recorder.latestRecordId(0);

    // An edit in the records window while the test runs survives the recorder's next writes.
    QVERIFY_OK(session.store.setNames(id, QStringLiteral("Edited"), QStringLiteral("Ann")));
    session.stop(0);
    QVERIFY_OK(session.recorder.flush());
    TestRecord r;
    QVERIFY_OK(session.store.record(id, r));
    QCOMPARE(r.outcome, std::optional(Outcome::Stopped));
    QCOMPARE(r.testName, QStringLiteral("Edited"));

    // A report issued after the end names the station's latest record.
    session.recorder.namesIssued(1, QStringLiteral("nothing on station 2"), {});
    session.recorder.namesIssued(0, QStringLiteral("Vessel 7, lot \"A\"\nline 2"),
                                 QStringLiteral("Jürgen"));
    QVERIFY_OK(session.recorder.flush());
    QVERIFY_OK(session.store.record(id, r));
    QCOMPARE(r.testName, QStringLiteral("Vessel 7, lot \"A\"\nline 2"));
    QCOMPARE(r.operatorName, QStringLiteral("Jürgen"));
    std::vector<TestRecord> all;
    QVERIFY_OK(session.store.records({}, all));
    QCOMPARE(all.size(), size_t(1));

    const MaybeFailure missing = session.store.setNames(id + 1, {}, {});
    QVERIFY(missing);
    QCOMPARE(missing->reason, QStringLiteral("There is no test record %1.").arg(id + 1));
}

void TestRecords::listing_data()
{
    QTest::addColumn<int>("station"); // -1: any
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("since");
    QTest::addColumn<QString>("until");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<QList<int>>("ids");

    // Records 1..5 (see listing()): starts 1, 2, 3, 4, 5 on successive days.
    const int start = RecordListModel::Start;
    QTest::newRow("all, newest first") << -1 << ""
                                       << ""
                                       << ""
                                       << "" << start << false << QList<int>{5, 4, 3, 2, 1};
    QTest::newRow("station 2") << 1 << ""
                               << ""
                               << ""
                               << "" << start << false << QList<int>{4, 2};
    QTest::newRow("completed") << -1 << "completed"
                               << ""
                               << ""
                               << "" << start << false << QList<int>{3, 1};
    QTest::newRow("date range") << -1 << ""
                                << "2026-07-02T10:00:00+02:00"
                                << "2026-07-04T10:00:00+02:00"
                                << "" << start << false << QList<int>{3, 2};
    QTest::newRow("text in name or operator, any case")
        << -1 << ""
        << ""
        << ""
        << "ANN" << start << false << QList<int>{4, 1};
    QTest::newRow("text taken literally") << -1 << ""
                                          << ""
                                          << ""
                                          << "%_" << start << false << QList<int>{5};
    QTest::newRow("by duration, open last")
        << -1 << ""
        << ""
        << ""
        << "" << int(RecordListModel::Duration) << false << QList<int>{2, 1, 3, 4, 5};
    QTest::newRow("by test name") << -1 << ""
                                  << ""
                                  << ""
                                  << "" << int(RecordListModel::TestName) << true
                                  << QList<int>{4, 1, 3, 2, 5};
    QTest::newRow("by main fall") << 0 << ""
                                  << ""
                                  << ""
                                  << "" << int(RecordListModel::MainFall) << true
                                  << QList<int>{5, 1, 3};
}

void TestRecords::listing()
{
    QFETCH(int, station);
    QFETCH(QString, outcome);
    QFETCH(QString, since);
    QFETCH(QString, until);
    QFETCH(QString, text);
    QFETCH(int, sortColumn);
    QFETCH(bool, ascending);
    QFETCH(QList<int>, ids);

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
    changes[3].record = handRecord(1, "2026-07-04T10:00:00+02:00", 60, Outcome::LeakTestFailed,
                                   "alpha", "Joanna", 705, std::nullopt);
    changes[4].record = handRecord(0, "2026-07-05T10:00:00+02:00", 0, std::nullopt, "echo 5%_",
                                   "Dan", 702, std::nullopt);
    QVERIFY_OK(store.write(changes));
    QCOMPARE(changes[4].record.id, int64_t(5));

    RecordFilter filter;
    if (station >= 0)
        filter.station = station;
    filter.outcome = outcomeFromText(outcome);
    if (!since.isEmpty())
        filter.since = fromIsoTime(since);
    if (!until.isEmpty())
        filter.until = fromIsoTime(until);
    filter.text = text;

    RecordListModel model(store.connectionName());
    model.setFilter(filter);
    model.sort(sortColumn, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    QVERIFY_OK(model.lastFailure());
    QList<int> listed;
    for (int row = 0; row < model.rowCount(); ++row)
        listed << int(model.recordId(row));
    QCOMPARE(listed, ids);

    if (sortColumn == RecordListModel::Start && !ascending) {
        std::vector<TestRecord> records;
        QVERIFY_OK(store.records(filter, records));
        QList<int> read;
        for (const TestRecord &r : records)
            read << int(r.id);
        QCOMPARE(read, ids);
    }
}

void TestRecords::listTexts()
{
    QTemporaryDir dir;
    ManualClock clock(StationRig::kStart);
    RecordStore store(dir.filePath(RecordStore::kFileName), clock);
    QVERIFY_OK(store.open());
    std::vector<RecordChange> changes(2);
    changes[0].record = handRecord(1, "2026-03-02T09:00:00+01:00", 3725, Outcome::MainTestFailed,
                                   "Vessel 7", "Jürgen", 700.04f, 1.254);
    changes[1].record =
        handRecord(0, "2026-07-12T10:00:00+02:00", 0, std::nullopt, "", "", 699.96f, std::nullopt);
    QVERIFY_OK(store.write(changes));

    RecordListModel model(store.connectionName());
    QCOMPARE(model.columnCount(), 8);
    QStringList headers, older, running;
    for (int column = 0; column < model.columnCount(); ++column) {
        headers << model.headerData(column, Qt::Horizontal).toString();
        running << model.index(0, column).data().toString();
        older << model.index(1, column).data().toString();
    }
    QCOMPARE(headers, (QStringList{"Station", "Start", "Duration", "Result", "Test name",
                                   "Operator", "Leak start KPa", "Main fall KPa"}));
    QCOMPARE(older, (QStringList{"2", "02-03-2026 09:00:00", "01:02:05", "main test failed",
                                 "Vessel 7", "Jürgen", "700.0", "1.25"}));
    QCOMPARE(running,
             (QStringList{"1", "12-07-2026 10:00:00", "", "running", "", "", "700.0", ""}));
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
