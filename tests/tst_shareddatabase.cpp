// The shared database on a real PostgreSQL 15 server (the postgres fixture): kestrava-records
// init-shared, sync and its reading commands run as a user runs them, the faults a server can
// have, two rigs in one database, the program's sync child and the records window's All rigs,
// with its statistics.
#include "support/pgserver.h"
#include "support/records.h"
#include "support/statisticsset.h"

#include "records/recordcsv.h"
#include "records/recordjson.h"
#include "records/recordlayout.h"
#include "records/sharedreader.h"
#include "records/sharedstore.h"
#include "records/statisticschart.h"
#include "records/statisticsview.h"
#include "records/syncsupervisor.h"
#include "records/testrecorder.h"
#include "ui/main/recordswindow.h"
#include "ui/main/shareddatabasedialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <tuple>

#include <sys/socket.h>
#include <sys/un.h>

namespace {

/// What turns the shared schema back to version 3: the columns the layout added since, gone.
QStringList statementsBackToVersion3()
{
    QStringList statements;
    for (const recordlayout::Column &column : recordlayout::columns())
        if (column.since > 3)
            statements << QStringLiteral("ALTER TABLE record DROP COLUMN ") + column.name;
    return statements << QStringLiteral("UPDATE kestrava_schema SET version = 3");
}

PgServer g_server;

const QString kOwner = QStringLiteral("kestrava_owner");
const QString kRig = QStringLiteral("kestrava_rig");

struct Run {
    int status = -1; ///< -1: did not end by itself
    QString out;
    QString err;
};

Run runTool(const QStringList &arguments, const QByteArray &password = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSFILE"), QStringLiteral("/nonexistent"));
    if (!password.isEmpty())
        environment.insert(QStringLiteral("PGPASSWORD"), QString::fromUtf8(password));
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("KESTRAVA_RECORDS"), arguments);
    Run run;
    if (!process.waitForFinished(90000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

/// Makes an empty database with the shared tables, as its owner would; gives why it could not,
/// or nothing.
QString newSharedDatabase(const QString &database)
{
    if (QString why = g_server.freshDatabase(database); !why.isEmpty())
        return why;
    const Run init = runTool({"init-shared", "--to", g_server.url(kOwner, database)});
    return init.status == 0 ? QString() : QStringLiteral("init-shared: ") + init.err;
}

/// A rig's local records database in a folder of its own, written through the store as the
/// program writes it.
class LocalRig {
public:
    LocalRig() : m_clock(QDateTime(QDate(2026, 7, 12), QTime(8, 0), QTimeZone(7200)))
    {
        m_path = m_folder.filePath(RecordStore::kFileName);
        m_store = std::make_unique<RecordStore>(m_path, m_clock);
        m_opened = m_store->open();
    }

    /// Why the store could not be opened; empty when it is open.
    const MaybeFailure &opened() const { return m_opened; }

    QString path() const { return m_path; }
    RecordStore &store() { return *m_store; }

    /// A new record of `samples` samples on the station, open or closed (with a decision and
    /// its falls), with a link event; its id.
    int64_t add(int station, int samples, bool close, const QString &name = {})
    {
        RecordChange change;
        TestRecord &r = change.record;
        r.station = station;
        r.start = m_clock.now();
        r.leakRefPressure = 700.25f + float(m_next % 7);
        r.parameters.LeakFallLimit = 7;
        r.parameters.LeakTestDuration = 600;
        r.calSpan = 1000.5f;
        r.testName = name;
        r.operatorName = name.isEmpty() ? QString() : QStringLiteral("Ann");
        change.samples = samplesFrom(r.start, 0, samples);
        change.events.push_back({r.start.addSecs(2), LinkEventKind::PortLost,
                                 QStringLiteral("Input/output error, \"x\"")});
        m_clock.advance(3600);
        ++m_next;
        if (close)
            closeRecord(change);
        const Fallible<std::vector<int64_t>> ids = m_store->write({change});
        return ids.ok() ? ids->front() : -1;
    }

    /// Adds `count` samples to the record (and closes it); false when the write fails.
    bool extend(int64_t id, int count, bool close = false)
    {
        const Fallible<RecordDetails> stored = m_store->details(id);
        if (!stored.ok())
            return false;
        RecordChange change;
        change.record = stored->record;
        change.firstSample = int64_t(stored->trace.size());
        change.samples = samplesFrom(change.record.start, change.firstSample, count);
        if (close)
            closeRecord(change);
        return m_store->write({change}).ok();
    }

private:
    static std::vector<TraceSample> samplesFrom(const QDateTime &start, int64_t first, int count)
    {
        std::vector<TraceSample> samples;
        for (int64_t i = first; i < first + count; ++i) {
            TraceSample s;
            s.elapsed = i;
            s.time = start.addSecs(i + 1);
            s.pressureValid = i % 13 != 5; // now and then a lost reading
            s.pressure = s.pressureValid ? 700.1f - 0.013f * float(i) : 0;
            s.bathTempValid = true;
            s.bathTemp = 100.25f + float(i % 3) / 10;
            s.phase = i < 600 ? TracePhase::Leak : TracePhase::Main;
            samples.push_back(s);
        }
        return samples;
    }

    static void closeRecord(RecordChange &change)
    {
        TestRecord &r = change.record;
        const QDateTime end = r.start.addSecs(change.firstSample + int64_t(change.samples.size()));
        Decision d;
        d.change = PhaseChange::LeakFailed;
        d.time = end.addMSecs(300);
        d.pressure = 692.5f;
        d.reference = r.leakRefPressure;
        d.limit = 7;
        change.decisions = {d};
        r.end = end;
        r.outcome = Outcome::LeakTestFailed;
        r.leakFall = double(r.leakRefPressure - d.pressure);
        r.leakPassTime.reset();
    }

    QTemporaryDir m_folder;
    ManualClock m_clock;
    QString m_path;
    std::unique_ptr<RecordStore> m_store;
    MaybeFailure m_opened;
    int m_next = 0;
};

/// A CSV text without its record column.
QByteArray withoutRecordColumn(const QByteArray &csv)
{
    QList<QByteArray> lines = csv.split('\n');
    for (QByteArray &line : lines)
        line = line.mid(line.indexOf(',') + 1);
    return lines.join('\n');
}

/// How the server's copy of the rig differs from the local database: the first difference
/// in words, or empty when the server holds every record with the same columns, trace,
/// decisions and link events, and every row exactly once.
QString differences(const QString &localPath, const QString &url, const QString &rig)
{
    const SystemClock clock;
    RecordStore local(localPath, clock, RecordStore::Mode::ReadOnly);
    SharedStore server(QStringLiteral("compare"));
    MaybeFailure failed = local.open();
    if (!failed)
        failed = server.open(url);
    if (failed)
        return failed->reason;
    RecordFilter ofRig;
    ofRig.rig = rig;
    const Fallible<std::vector<TestRecord>> mine = local.records({});
    const Fallible<std::vector<TestRecord>> theirs = server.records(ofRig);
    if (!mine.ok() || !theirs.ok())
        return QStringLiteral("cannot list");
    if (mine->size() != theirs->size())
        return QStringLiteral("%1 local records, %2 on the server")
            .arg(mine->size())
            .arg(theirs->size());
    int64_t samples = 0, decisions = 0, events = 0;
    for (size_t i = 0; i < mine->size(); ++i) {
        const TestRecord &a = (*mine)[i];
        const TestRecord &b = (*theirs)[i];
        if (recordlayout::toJson(a) != recordlayout::toJson(b) || b.rig != rig)
            return QStringLiteral("record %1 differs").arg(a.id);
        const Fallible<RecordDetails> da = local.details(a.id);
        const Fallible<RecordDetails> db = server.details({rig, b.id});
        if (!da.ok() || !db.ok())
            return QStringLiteral("record %1 cannot be read").arg(a.id);
        QByteArray csvA, csvB;
        appendCsvRows(csvA, *da);
        appendCsvRows(csvB, *db);
        if (withoutRecordColumn(csvA) != withoutRecordColumn(csvB))
            return QStringLiteral("the trace or decisions of record %1 differ").arg(a.id);
        if (da->events.size() != db->events.size())
            return QStringLiteral("the link events of record %1 differ").arg(a.id);
        for (size_t e = 0; e < da->events.size(); ++e)
            if (da->events[e].time != db->events[e].time ||
                da->events[e].detail != db->events[e].detail)
                return QStringLiteral("the link events of record %1 differ").arg(a.id);
        samples += int64_t(da->trace.size());
        decisions += int64_t(da->decisions.size());
        events += int64_t(da->events.size());
    }
    // Every row once: the server holds no row of the rig beyond those the records show.
    const QStringList counts = g_server.rows(
        url.section(u'/', 3).section(u'?', 0, 0),
        QStringLiteral("SELECT (SELECT count(*) FROM sample WHERE rig = '%1'), (SELECT count(*) "
                       "FROM decision WHERE rig = '%1'), (SELECT count(*) FROM link_event WHERE "
                       "rig = '%1')")
            .arg(rig));
    const QString expected = QStringLiteral("%1 %2 %3").arg(samples).arg(decisions).arg(events);
    if (counts != QStringList{expected})
        return QStringLiteral("rows on the server %1, local %2").arg(counts.join(u';'), expected);
    return {};
}

/// The processes of kestrava-records syncing the database at path (the supervisor's child).
std::vector<pid_t> syncProcesses(const QString &database)
{
    std::vector<pid_t> pids;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = cmdline.readAll().split('\0');
        if (arguments.contains("sync") && arguments.contains(QFile::encodeName(database)))
            pids.push_back(pid_t(entry.toInt()));
    }
    return pids;
}

template <typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

/// A Unix socket folder whose server socket refuses connections: bound, never listening.
int refusingSocket(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    return ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 ? fd : -1;
}

} // namespace

class TestSharedDatabase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    /// A server a failed test left frozen goes on.
    void cleanup() { g_server.thaw(); }
    void failures_data();
    void failures();
    void copiesEveryChange();
    void olderSchema();
    void twoRigs();
    void killedSync();
    void supervisedSync();
    void frozenServer();
    void allRigsWindow();
    void statsOfOneRig_data();
    void statsOfOneRig();
    void allRigsStatistics();

private:
    /// The database "statistics" holding the hand-worked statistics set as rig north and the
    /// same set with each main fall 0.5 KPa higher as rig south, the serial of each record S
    /// and its id; set up once. Its URL, or empty when it could not be set up.
    QString statisticsDatabase();

    std::unique_ptr<LocalRig> m_north, m_south;
    QString m_statisticsUrl;
};

void TestSharedDatabase::initTestCase()
{
    QVERIFY2(g_server.load(),
             "no server: run this test through ctest, whose postgres fixture starts one");
}

void TestSharedDatabase::failures_data()
{
    QTest::addColumn<QStringList>("setup"); // SQL for the superuser after init-shared; "none"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // the end of the one line on standard error
    const auto row = [](const char *tag, const QStringList &setup, const QStringList &arguments,
                        const QByteArray &password, int status, const QString &message) {
        QTest::newRow(tag) << setup << arguments << password << status << message;
    };
    const QStringList sync{"sync", "--db", "%LOCAL%", "--rig", "r1", "--to"};
    const QStringList list{"list", "--db"};
    row("no schema", {"none"}, sync + QStringList{"%RIG%"}, {}, 1,
        "the shared database has no Kestrava tables; set it up with kestrava-records "
        "init-shared");
    const int now = recordlayout::kVersion;
    const QString newer = QStringLiteral("UPDATE kestrava_schema SET version = %1").arg(now + 1);
    row("older schema", statementsBackToVersion3(), list + QStringList{"%RIG%"}, {}, 1,
        QStringLiteral("the shared database has schema version 3; bring it to version %1 with "
                       "kestrava-records init-shared")
            .arg(now));
    row("newer schema", {newer}, sync + QStringList{"%RIG%"}, {}, 1,
        QStringLiteral("the shared database has schema version %1, made by a newer Kestrava "
                       "(this one knows up to version %2)")
            .arg(now + 1)
            .arg(now));
    row("init newer", {newer}, {"init-shared", "--to", "%OWNER%"}, {}, 1,
        QStringLiteral("the shared database has schema version %1, made by a newer Kestrava "
                       "(this one knows up to version %2)")
            .arg(now + 1)
            .arg(now));
    row("init by the rig's role", {"none"}, {"init-shared", "--to", "%RIG%"}, {}, 1,
        "permission denied for schema public");
    // A statement the server refuses: its line alone, without the hint and the code.
    row("statistics refused", {"REVOKE SELECT ON record FROM kestrava_rig"},
        {"stats", "--db", "%RIG%"}, {}, 1,
        "The test records cannot be read: permission denied for table record");
    row("refused", {}, sync + QStringList{"postgresql://kestrava_rig@/db?host=%REFUSE%&port=1"}, {},
        1, "connection refused");
    row("wrong password", {},
        list + QStringList{"postgresql://kestrava_pw@:%PORT%/%DB%?host=%SOCKET%"}, "wrong", 1,
        "password authentication failed for user \"kestrava_pw\"");
    row("malformed URL", {}, sync + QStringList{"postgresql://h/d?sslmode=on"}, {}, 1,
        "sslmode must be one of disable, allow, prefer, require, verify-ca, verify-full");
    row("password in the URL", {}, list + QStringList{"postgresql://u:secret@h/d"}, {}, 1,
        "the URL holds a password; keep passwords in ~/.pgpass or PGPASSWORD instead");
    row("--rig of a file", {}, {"list", "--rig", "r1"}, {}, 2,
        "--rig needs a shared database (--db postgresql://...).");
    row("local id of a shared record", {}, {"show", "--db", "%RIG%", "3"}, {}, 2,
        "'3' names no rig: a shared record is RIG:ID.");
}

void TestSharedDatabase::failures()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, arguments);
    const QString database = QStringLiteral("faults");
    QCOMPARE(g_server.freshDatabase(database), QString());
    if (setup != QStringList{"none"}) {
        QCOMPARE(runTool({"init-shared", "--to", g_server.url(kOwner, database)}).status, 0);
        QCOMPARE(g_server.exec(g_server.value("superuser"), database, setup), QString());
    }
    LocalRig rig;
    QVERIFY(rig.add(0, 3, true) > 0);
    QTemporaryDir folder;
    const int refusing = refusingSocket(folder.filePath(".s.PGSQL.1"));
    QVERIFY(refusing >= 0);
    for (QString &argument : arguments)
        argument.replace("%RIG%", g_server.url(kRig, database))
            .replace("%OWNER%", g_server.url(kOwner, database))
            .replace("%LOCAL%", rig.path())
            .replace("%REFUSE%", folder.path())
            .replace("%PORT%", g_server.value("port"))
            .replace("%SOCKET%", g_server.value("socket"))
            .replace("%DB%", database);
    QFETCH(QByteArray, password);
    const Run run = runTool(arguments, password);
    ::close(refusing);
    QTEST(run.status, "status");
    QFETCH(QString, message);
    QVERIFY2(run.err.section('\n', 0, 0).endsWith(message), qPrintable(run.err));
    QCOMPARE(run.err.count('\n'), run.status == 2 ? 2 : 1); // a usage error adds the --help hint
    QVERIFY(!run.err.contains("secret"));
    QCOMPARE(run.out, QString());
}

void TestSharedDatabase::copiesEveryChange()
{
    const QString database = QStringLiteral("copies");
    QCOMPARE(g_server.freshDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    const Run init = runTool({"init-shared", "--to", g_server.url(kOwner, database)});
    QCOMPARE(init.out, QStringLiteral("The shared database was set up with schema version %1.\n")
                           .arg(recordlayout::kVersion));
    LocalRig rig;
    const int64_t closed = rig.add(0, 700, true, "Vessel 7");
    const int64_t open = rig.add(1, 40, false);
    const QStringList sync{"sync", "--db", rig.path(), "--to", url, "--rig", "north-1"};
    Run run = runTool(sync);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, "2 records, 740 samples, 1 decision and 2 link events copied to the shared "
                      "database as rig north-1\n");
    QCOMPARE(differences(rig.path(), url, "north-1"), QString());

    // The open record runs on and closes, the closed one's names are saved later, a new one.
    QVERIFY(rig.extend(open, 25, true));
    QVERIFY_OK(rig.store().setNames(closed, "Vessel 8", "Bo"));
    QVERIFY(rig.add(0, 5, false) > 0);
    run = runTool(sync);
    QCOMPARE(run.out, "3 records, 30 samples, 1 decision and 1 link event copied to the shared "
                      "database as rig north-1\n");
    QCOMPARE(differences(rig.path(), url, "north-1"), QString());
    const Run shown = runTool({"show", "--db", url, QStringLiteral("north-1:%1").arg(closed)});
    QVERIFY2(shown.out.startsWith(QStringLiteral("Record north-1:%1\n").arg(closed)),
             qPrintable(shown.out + shown.err));
    QVERIFY(shown.out.contains(QRegularExpression(QStringLiteral("\n  Test name +Vessel 8\n"))));

    // A sync with nothing to do copies nothing; and init-shared again changes nothing.
    QCOMPARE(runTool(sync).out, "0 records, 0 samples, 0 decisions and 0 link events copied to "
                                "the shared database as rig north-1\n");
    QCOMPARE(runTool({"init-shared", "--to", g_server.url(kOwner, database)}).out,
             QStringLiteral("The shared database has schema version %1 already.\n")
                 .arg(recordlayout::kVersion));
    QCOMPARE(differences(rig.path(), url, "north-1"), QString());
}

void TestSharedDatabase::olderSchema()
{
    // A database set up before the change counter: init-shared adds it, then syncs copy.
    const QString database = QStringLiteral("older");
    QCOMPARE(g_server.freshDatabase(database), QString());
    const QString owner = g_server.url(kOwner, database);
    QCOMPARE(runTool({"init-shared", "--to", owner}).status, 0);
    QCOMPARE(g_server.exec(g_server.value("superuser"), database, statementsBackToVersion3()),
             QString());
    QCOMPARE(runTool({"init-shared", "--to", owner}).out,
             QStringLiteral("The shared database was brought from schema version 3 to %1.\n")
                 .arg(recordlayout::kVersion));
    LocalRig rig;
    QVERIFY(rig.add(1, 12, true, "after") > 0);
    const QString url = g_server.url(kRig, database);
    QCOMPARE(runTool({"sync", "--db", rig.path(), "--to", url, "--rig", "old"}).status, 0);
    QCOMPARE(differences(rig.path(), url, "old"), QString());
}

void TestSharedDatabase::twoRigs()
{
    const QString database = QStringLiteral("tworigs");
    QCOMPARE(newSharedDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    LocalRig north, south;
    QVERIFY(north.add(0, 650, true, "N") > 0);
    QVERIFY(south.add(1, 620, true, "S1") > 0);
    QVERIFY(south.add(0, 10, true, "S2") > 0);
    for (const auto &[rig, name] : {std::pair{&north, "north"}, std::pair{&south, "south"}})
        QCOMPARE(runTool({"sync", "--db", rig->path(), "--to", url, "--rig", name}).status, 0);

    const QStringList lines = runTool({"list", "--db", url}).out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith("Rig    ID  Station  Start"));
    QStringList rigs;
    for (const QString &line : lines.mid(1))
        rigs << line.section(' ', 0, 0);
    rigs.sort();
    QCOMPARE(rigs, QStringList({"north", "south", "south"}));
    const Run south1 = runTool({"list", "--db", url, "--rig", "south", "--find", "s1", "--json"});
    QCOMPARE(south1.out.count('\n'), 1);
    const TestRecord found = recordjson::recordOf(*recordjson::objectOf(south1.out.toUtf8()));
    QCOMPARE(recordName(found) + ' ' + found.testName, "south:1 S1");

    QTemporaryDir folder;
    const QString shared = folder.filePath("shared.csv");
    const QString local = folder.filePath("local.csv");
    QCOMPARE(runTool({"export", "--db", url, "south:1", "--csv", shared}).status, 0);
    QCOMPARE(runTool({"export", "--db", south.path(), "1", "--csv", local}).status, 0);
    QFile a(shared), b(local);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray sharedCsv = a.readAll();
    const QByteArray localCsv = b.readAll();
    QVERIFY(sharedCsv.count('\n') > 600);
    QCOMPARE(withoutRecordColumn(sharedCsv), withoutRecordColumn(localCsv));
    QVERIFY(sharedCsv.split('\n')[1].startsWith("south:1,2,"));
}

void TestSharedDatabase::killedSync()
{
    const QString database = QStringLiteral("killed");
    QCOMPARE(newSharedDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    LocalRig rig;
    for (int i = 0; i < 30; ++i)
        QVERIFY(rig.add(i % 2, 2000, true) > 0);
    QProcess sync;
    sync.start(qEnvironmentVariable("KESTRAVA_RECORDS"),
               {"sync", "--db", rig.path(), "--to", url, "--rig", "r"});
    // Killed once the first transaction is in and before the last.
    QTRY_VERIFY_WITH_TIMEOUT(
        g_server.rows(database, "SELECT count(*) FROM sample") != QStringList{"0"}, 60000);
    ::kill(pid_t(sync.processId()), SIGKILL);
    QVERIFY(sync.waitForFinished(10000));
    QCOMPARE(sync.exitStatus(), QProcess::CrashExit);
    const int copied = g_server.rows(database, "SELECT count(*) FROM sample").front().toInt();
    QVERIFY2(copied < 60000, qPrintable(QString::number(copied)));

    const Run again = runTool({"sync", "--db", rig.path(), "--to", url, "--rig", "r"});
    QCOMPARE(again.status, 0);
    QVERIFY(again.out.contains(QStringLiteral("%1 samples").arg(60000 - copied)));
    QCOMPARE(differences(rig.path(), url, "r"), QString());
}

void TestSharedDatabase::supervisedSync()
{
    const QString database = QStringLiteral("supervised");
    QCOMPARE(newSharedDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    LocalRig rig;
    QVERIFY(rig.add(0, 30, true, "first") > 0);
    const SystemClock clock;
    SyncSupervisor supervisor(clock);
    const QString upToDate = QStringLiteral("Shared database: up to date");
    supervisor.start(rig.path(), {url, "east"});
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), upToDate, 30000);
    // "Up to date" is what the sync last found; a change since comes with its next look.
    QTRY_COMPARE_WITH_TIMEOUT(differences(rig.path(), url, "east"), QString(), 20000);

    // A second sync for the rig while the program's runs.
    const Run second = runTool({"sync", "--db", rig.path(), "--to", url, "--rig", "east"});
    QCOMPARE(second.status, 1);
    QCOMPARE(second.err, "kestrava-records: another sync for rig east is running\n");

    // The server stops while a test runs, and starts again.
    const int64_t open = rig.add(1, 5, false);
    QVERIFY(g_server.stop());
    for (int i = 0; i < 4; ++i) {
        QVERIFY(rig.extend(open, 1));
        QTest::qWait(300);
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        supervisor.stateText().startsWith("Shared database: unreachable since "), 30000);
    const QString unreachable = supervisor.stateText();
    QVERIFY(g_server.start());
    QVERIFY(rig.extend(open, 3, true));
    QVERIFY_OK(rig.store().setNames(open, "named while down", "Al"));
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), upToDate, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(differences(rig.path(), url, "east"), QString(), 20000);
    // Since when, as a time of day, and the reason.
    QVERIFY2(QRegularExpression("^Shared database: unreachable since \\d\\d:\\d\\d:\\d\\d: \\S")
                 .match(unreachable)
                 .hasMatch(),
             qPrintable(unreachable));

    // The sync killed: started again, it copies what came meanwhile.
    const std::vector<pid_t> running = syncProcesses(rig.path());
    QCOMPARE(running.size(), size_t(1));
    ::kill(running.front(), SIGKILL);
    QVERIFY(rig.add(0, 4, true) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(supervisor.stateText().startsWith("Shared database: unreachable"),
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), upToDate, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(differences(rig.path(), url, "east"), QString(), 20000);

    // The program's end ends it.
    supervisor.stop();
    QVERIFY(syncProcesses(rig.path()).empty());
}

void TestSharedDatabase::frozenServer()
{
    const QString database = QStringLiteral("frozen");
    QCOMPARE(newSharedDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    LocalRig rig;
    QVERIFY(rig.add(0, 30, true) > 0);
    const SystemClock clock;
    SyncSupervisor supervisor(clock);
    supervisor.start(rig.path(), {url, "west"});
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), "Shared database: up to date", 30000);

    // Frozen with a change to copy: the sync's statement never returns; a new connection is
    // taken but never answered; the window's reading shows the server unreachable.
    g_server.freeze();
    QVERIFY(rig.add(1, 20, true) > 0);
    QTemporaryDir folder;
    TestRecorder recorder(rig.store());
    WindowHandover handover;
    RecordsWindow window(recorder, rig.path(), clock, handover, folder.path(), nullptr);
    window.setShared(url, &supervisor);
    child<QComboBox>(&window, "cmbRigs")->setCurrentIndex(1);
    QCOMPARE(child<QLabel>(&window, "lblStatus")->text(), "Reading the shared database...");
    QProcess once;
    once.start(qEnvironmentVariable("KESTRAVA_RECORDS"),
               {"sync", "--db", rig.path(), "--to", url, "--rig", "other"});
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "lblStatus")->text(),
                              "Shared database: unreachable: timeout expired", 20000);
    QTRY_COMPARE_WITH_TIMEOUT(once.state(), QProcess::NotRunning, 20000);
    QCOMPARE(once.exitCode(), 1);
    QVERIFY(once.readAllStandardError().endsWith(": timeout expired\n"));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "lblSync")->text().section(": ", 2),
                              "the shared database did not answer within 20 s", 40000);
    g_server.thaw();
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), "Shared database: up to date", 60000);
    QTRY_COMPARE_WITH_TIMEOUT(differences(rig.path(), url, "west"), QString(), 20000);
}

void TestSharedDatabase::allRigsWindow()
{
    const QString database = QStringLiteral("allrigs");
    QCOMPARE(newSharedDatabase(database), QString());
    const QString url = g_server.url(kRig, database);
    LocalRig north, south;
    QVERIFY(north.add(0, 20, true, "N1") > 0);
    QVERIFY(south.add(1, 25, true, "S1") > 0);
    QVERIFY(south.add(0, 10, true, "S2") > 0);
    for (const auto &[rig, name] : {std::pair{&north, "north"}, std::pair{&south, "south"}})
        QCOMPARE(runTool({"sync", "--db", rig->path(), "--to", url, "--rig", name}).status, 0);

    // Test Connection says what the server holds; OK refuses a URL with a password.
    SharedDatabaseDialog dialog({url, "north"}, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(child<QPushButton>(&dialog, "cmdTestConnection"), Qt::LeftButton);
    QLabel *answer = child<QLabel>(&dialog, "lblConnection");
    QTRY_VERIFY_WITH_TIMEOUT(answer->text().startsWith("Connected: PostgreSQL 15."), 20000);
    QVERIFY2(
        answer->text().endsWith(
            QStringLiteral(", schema version %1, 2 rigs, 3 records").arg(recordlayout::kVersion)),
        qPrintable(answer->text()));
    child<QLineEdit>(&dialog, "txtSharedUrl")->setText("postgresql://u:pw@h/d");
    QTest::keyClick(child<QLineEdit>(&dialog, "txtSharedUrl"), Qt::Key_Return); // OK
    QVERIFY(dialog.isVisible());
    QCOMPARE(answer->text(), "The URL cannot serve: the URL holds a password; keep passwords in "
                             "~/.pgpass or PGPASSWORD instead.");

    const SystemClock clock;
    QTemporaryDir folder;
    TestRecorder recorder(north.store());
    WindowHandover handover;
    RecordsWindow window(recorder, north.path(), clock, handover, folder.path(), nullptr);
    QVERIFY(!child<QComboBox>(&window, "cmbRigs")->isVisibleTo(&window)); // no shared database
    window.setShared(url, nullptr);
    auto *table = child<QTableView>(&window, "tblRecords");
    QCOMPARE(table->model()->rowCount(), 1); // this rig
    child<QComboBox>(&window, "cmbRigs")->setCurrentIndex(1);
    QTRY_COMPARE_WITH_TIMEOUT(table->model()->rowCount(), 3, 20000);
    QCOMPARE(table->model()->headerData(0, Qt::Horizontal).toString(), "Rig");
    QStringList rows;
    for (int r = 0; r < 3; ++r)
        rows << table->model()->index(r, 0).data().toString() + ' ' +
                    table->model()->index(r, 5).data().toString();
    QCOMPARE(rows, QStringList({"south S2", "south S1", "north N1"})); // newest first
    QTRY_VERIFY_WITH_TIMEOUT(child<QPlainTextEdit>(&window, "txtDetail")
                                 ->toPlainText()
                                 .startsWith("Test 1, record south:2: leak test failed\n"),
                             20000);
    QVERIFY(!child<QLineEdit>(&window, "txtTestName")->isEnabled()); // kept by its rig

    // A record clicked while the CSV of another is written: both go on.
    const QString exported = folder.filePath("while-clicked.csv");
    table->selectRow(2);
    window.exportTo(exported);
    table->selectRow(0);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "lblStatus")->text(),
                              "1 record written to " + exported, 20000);
    QVERIFY(QFile::exists(exported));
    QTRY_VERIFY_WITH_TIMEOUT(child<QPlainTextEdit>(&window, "txtDetail")
                                 ->toPlainText()
                                 .startsWith("Test 1, record south:2: leak test failed\n"),
                             20000);

    // The rig filter, typed.
    QLineEdit *rig = child<QComboBox>(&window, "cmbRig")->lineEdit();
    rig->selectAll();
    QTest::keyClicks(rig, "north");
    QTest::keyClick(rig, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(table->model()->rowCount(), 1, 20000);
    QCOMPARE(table->model()->index(0, 0).data().toString(), "north");

    // The CSV of a shared record, written by the child.
    const QString csv = folder.filePath("north.csv");
    window.exportTo(csv);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&window, "lblStatus")->text(),
                              "1 record written to " + csv, 20000);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().split('\n').at(1).left(8), "north:1,");
}

QString TestSharedDatabase::statisticsDatabase()
{
    if (!m_statisticsUrl.isEmpty())
        return m_statisticsUrl;
    const QString database = QStringLiteral("statistics");
    if (!newSharedDatabase(database).isEmpty())
        return {};
    const QString url = g_server.url(kRig, database);
    m_north = std::make_unique<LocalRig>();
    m_south = std::make_unique<LocalRig>();
    for (const auto &[rig, name, shift] :
         {std::tuple{m_north.get(), "north", 0.0}, std::tuple{m_south.get(), "south", 0.5}}) {
        std::vector<RecordChange> changes;
        for (TestRecord &record : statisticsSet()) {
            record.serial = QStringLiteral("S%1").arg(record.id);
            record.id = 0; // inserted, ids 1.. in the set's order
            if (record.mainFall)
                record.mainFall = record.mainRate = *record.mainFall + shift;
            changes.push_back({record, false, 0, {}, 0, {}, {}});
        }
        if (rig->opened() || !rig->store().write(changes).ok() ||
            runTool({"sync", "--db", rig->path(), "--to", url, "--rig", name}).status != 0)
            return {};
    }
    m_statisticsUrl = url;
    return url;
}

void TestSharedDatabase::statsOfOneRig_data()
{
    QTest::addColumn<QStringList>("arguments"); // after "stats --db DATABASE"
    QTest::newRow("main fall") << QStringList{"--figure", "main-fall"};
    QTest::newRow("main flow of a model")
        << QStringList{"--figure", "main-rate", "--unit", "sccm", "--model", "Valve"};
    QTest::newRow("leak fall, station 2, second day")
        << QStringList{"--figure", "leak-fall", "--station", "2", "--since", "2026-07-11"};
    QTest::newRow("completed on the first day, serial found")
        << QStringList{"--outcome", "completed", "--until", "2026-07-10", "--find", "s1"};
    QTest::newRow("too few") << QStringList{"--model", "Pump"};
}

// One rig's statistics read from the shared database are those of its own database, but for
// the rule breaks, which name the rig.
void TestSharedDatabase::statsOfOneRig()
{
    QFETCH(QStringList, arguments);
    const QString url = statisticsDatabase();
    QVERIFY(!url.isEmpty());
    const Run local = runTool(QStringList{"stats", "--db", m_north->path()} + arguments);
    const Run shared = runTool(QStringList{"stats", "--db", url, "--rig", "north"} + arguments);
    QStringList expected = local.out.split('\n');
    for (QString &line : expected) {
        QStringList words = line.split(' ', Qt::SkipEmptyParts);
        if (words.isEmpty() || words.takeFirst() != u"rule_breaks:")
            continue;
        for (QString &word : words)
            word.prepend("north:");
        line = (QStringList{"rule_breaks:"} + words).join(' ');
    }
    QCOMPARE(shared.out.split('\n'), expected);
    QCOMPARE(shared.err, local.err);
    QCOMPARE(shared.status, local.status);
    // The records themselves, for the program to take statistics of, however few.
    const Run json =
        runTool(QStringList{"stats", "--db", url, "--rig", "north", "--json"} + arguments);
    QCOMPARE(json.status, 0);
    const QString records = local.out.section("records: ", 1).section('\n', 0, 0);
    QCOMPARE(json.out.count('\n'), records.toInt()); // none when too few
}

// The records window's statistics over All rigs, read through kestrava-records in a child
// process: over every rig, over the rig filter's; a click on a point selects the shared
// record; a server that cannot be reached is said.
void TestSharedDatabase::allRigsStatistics()
{
    const QString url = statisticsDatabase();
    QVERIFY(!url.isEmpty());
    const SystemClock clock;
    QTemporaryDir folder;
    TestRecorder recorder(m_north->store());
    WindowHandover handover;
    RecordsWindow window(recorder, m_north->path(), clock, handover, folder.path(), nullptr);
    window.setShared(url, nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    child<QComboBox>(&window, "cmbRigs")->setCurrentIndex(1);
    QTest::mouseClick(child<QPushButton>(&window, "cmdStatistics"), Qt::LeftButton);
    auto *view = child<StatisticsView>(&window, "statisticsView");
    auto *summary = child<QLabel>(view, "lblStatistics");
    QCOMPARE(summary->text(), "Reading the records...");
    QTRY_VERIFY2_WITH_TIMEOUT(summary->text().contains("n: 40 (of 44 records; 4 left out)\n"),
                              qPrintable(summary->text()), 20000);

    // A click on the newest point (of both rigs' records of the same times, south's come
    // last) selects its record in the All rigs list and shows it, once the listing has
    // selected its first row (which would undo a click made sooner).
    auto *table = child<QTableView>(&window, "tblRecords");
    QTRY_COMPARE_WITH_TIMEOUT(table->model()->rowCount(), 44, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(table->selectionModel()->currentIndex().isValid(), 20000);
    auto *chart = child<QWidget>(view, "picStatistics");
    const ChartFrame frame = individualsFrame(QRectF(chart->rect()), *view->statistics());
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPointF(frame.xOf(39), 40).toPoint());
    auto *detail = child<QPlainTextEdit>(&window, "txtDetail");
    QTRY_VERIFY2_WITH_TIMEOUT(detail->toPlainText().startsWith("Test 1, record south:21: "),
                              qPrintable(detail->toPlainText()), 20000);
    const QModelIndexList selected = table->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(table->model()->index(selected.front().row(), 0).data().toString(), "south");

    // The rig filter: south's records, each main fall 0.5 KPa above the hand-worked set's.
    QLineEdit *rig = child<QComboBox>(&window, "cmbRig")->lineEdit();
    rig->setFocus(); // away from the Statistics button, which Enter would press
    rig->selectAll();
    QTest::keyClicks(rig, "south");
    QTest::keyClick(rig, Qt::Key_Return);
    QCOMPARE(summary->text(), "Reading the records...");
    QTRY_VERIFY2_WITH_TIMEOUT(summary->text().contains("n: 20 (of 22 records; 2 left out)\n"
                                                       "mean: 2.502\n"),
                              qPrintable(summary->text()), 20000);
    auto *breaks = child<QListWidget>(view, "lstRuleBreaks");
    QStringList listed;
    for (int row = 0; row < breaks->count(); ++row)
        listed << breaks->item(row)->text();
    QCOMPARE(listed, (QStringList{"record south:8: rule 4 (8 in a row on one side)",
                                  "record south:9: rule 1 (beyond 3σ)",
                                  "record south:15: rule 2 (2 of 3 beyond 2σ)",
                                  "record south:21: rule 3 (4 of 5 beyond 1σ)"}));

    // This rig: the local records' statistics, read at once.
    child<QComboBox>(&window, "cmbRigs")->setCurrentIndex(0);
    QVERIFY2(summary->text().contains("n: 20 (of 22 records; 2 left out)\nmean: 2.002\n"),
             qPrintable(summary->text()));
    QCOMPARE(table->columnWidth(table->model()->columnCount() - 1), 105); // as wide as at first

    // A server that refuses the connection.
    QTemporaryDir sockets;
    const int refusing = refusingSocket(sockets.filePath(".s.PGSQL.1"));
    QVERIFY(refusing >= 0);
    RecordsWindow down(recorder, m_north->path(), clock, handover, folder.path(), nullptr);
    down.setShared("postgresql://kestrava_rig@/db?port=1&host=" + sockets.path(), nullptr);
    child<QComboBox>(&down, "cmbRigs")->setCurrentIndex(1);
    child<QPushButton>(&down, "cmdStatistics")->click();
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&down, "lblStatistics")->text(),
                              "Shared database: unreachable: connection refused", 20000);
    ::close(refusing);
}

QTEST_MAIN(TestSharedDatabase)
#include "tst_shareddatabase.moc"
