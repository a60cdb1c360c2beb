// kestrava-records, run as a user runs it: its listings, a record shown, CSV files written, every
// error with its message and exit status, and reading beside a writer that holds the database.
#include "app/clock.h"
#include "records/leakfigures.h"
#include "records/recordstore.h"
#include "records/recordview.h"
#include "support/diskfaults.h"
#include "support/records.h"
#include "support/statisticsset.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

/// Runs the tool in the folder and waits for it to end; its output goes to the file when one
/// is named.
Run runTool(const QStringList &arguments, const QString &folder, const QString &output = {})
{
    QProcess process;
    if (!output.isEmpty())
        process.setStandardOutputFile(output);
    process.setProgram(qEnvironmentVariable("KESTRAVA_RECORDS"));
    process.setArguments(arguments);
    process.setWorkingDirectory(folder);
    QElapsedTimer timer;
    timer.start();
    process.start();
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ms = timer.elapsed();
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QDateTime at(const char *iso)
{
    return fromIsoTime(QString::fromLatin1(iso));
}

/// The records the tests read, ids 1 to 4 in this order.
std::vector<RecordChange> fixtureRecords()
{
    std::vector<RecordChange> changes(4);

    // 1: a completed test with both phases, an invalid reading and a lost port.
    TestRecord &r1 = changes[0].record;
    r1.station = 0;
    r1.start = at("2026-07-10T09:00:00+02:00");
    r1.end = at("2026-07-10T09:00:08+02:00");
    r1.outcome = Outcome::Completed;
    r1.parameters = {600, 7, 3, 14, 3, 20};
    r1.calRange = 1000;
    r1.calZero = -2.5f;
    r1.calSpan = 10000;
    r1.tempZero = 0;
    r1.tempSpan = 1000;
    r1.leakRefPressure = 700;
    r1.leakPassTime = at("2026-07-10T09:00:03+02:00");
    r1.mainStartTime = at("2026-07-10T09:00:04+02:00");
    r1.mainRefPressure = 698.5f;
    r1.postTestTime = at("2026-07-10T09:00:07+02:00");
    r1.testName = QStringLiteral("Valve A");
    r1.operatorName = QStringLiteral("Ann Ørsted");
    r1.serial = QStringLiteral("SN-0001");
    r1.model = QStringLiteral("Valve");
    r1.modelVolume = 250;
    changes[0].samples = traceOf(r1.start, "699.5:25:L 699:25:L 698.5:25:L 698.5:25:A 698:25:M "
                                           "-:25:M 697:24:M 696.5:24:P");
    // The completion came between the last sample and the end.
    changes[0].decisions = {
        {PhaseChange::LeakPassed, at("2026-07-10T09:00:03+02:00"), 698.5f, 700, 7},
        {PhaseChange::PostTestStarted, at("2026-07-10T09:00:07+02:00"), 697, 698.5f, 14},
        {PhaseChange::Completed, at("2026-07-10T09:00:08+02:00").addMSecs(400), 684, 698.5f, 14}};
    changes[0].events = {{at("2026-07-10T09:00:05+02:00"), LinkEventKind::PortLost,
                          QStringLiteral("The device was removed.")},
                         {at("2026-07-10T09:00:06+02:00"), LinkEventKind::Reconnected, {}}};

    // 2: station 2 failed its leak test; one temperature was not valid.
    TestRecord &r2 = changes[1].record;
    r2.station = 1;
    r2.start = at("2026-07-11T14:30:00+02:00");
    r2.end = at("2026-07-11T14:30:02+02:00");
    r2.outcome = Outcome::LeakTestFailed;
    r2.leakRefPressure = 650.5f;
    r2.serial = QStringLiteral("SN-0001"); // tested again, as another model
    r2.model = QStringLiteral("Pump");
    r2.modelVolume = 100;
    changes[1].samples = traceOf(r2.start, "645.25:-:L 640:21:L");
    changes[1].decisions = {
        {PhaseChange::LeakFailed, at("2026-07-11T14:30:02+02:00").addMSecs(300), 643, 650.5f, 7}};

    // 3: stopped early the next morning; its name was pasted with a tab and a line break.
    TestRecord &r3 = changes[2].record;
    r3.station = 0;
    r3.start = at("2026-07-12T08:15:00+02:00");
    r3.end = at("2026-07-12T08:15:01+02:00");
    r3.outcome = Outcome::Stopped;
    r3.leakRefPressure = 701.25f;
    r3.testName = QStringLiteral("Pump,\trev 2\n");
    changes[2].samples = traceOf(r3.start, "-0.25:19.5:L");

    // 4: station 2 is still running.
    TestRecord &r4 = changes[3].record;
    r4.station = 1;
    r4.start = at("2026-07-12T10:00:00+02:00");
    r4.leakRefPressure = 699.96f;
    r4.operatorName = QStringLiteral("Bo");
    changes[3].samples = traceOf(r4.start, "699.9:20:L");

    // The falls and rates, as the recorder stores them when a record closes.
    for (RecordChange &change : changes) {
        if (change.record.outcome)
            keepFigures(change.record,
                        leakFigures(change.record, change.samples, change.decisions));
    }
    return changes;
}

} // namespace

class TestRecordsTool : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void list_data();
    void list();
    void show();
    void exportCsv_data();
    void exportCsv();
    void errors_data();
    void errors();
    void readsBesideAWriter();
    void stats_data();
    void stats();

private:
    QTemporaryDir m_dir;
    QString m_db;
    ManualClock m_clock{at("2026-07-12T12:00:00+02:00")};
};

void TestRecordsTool::initTestCase()
{
    // The --since dates are local dates in Central European time.
    QCOMPARE(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    QVERIFY2(QFileInfo(qEnvironmentVariable("KESTRAVA_RECORDS")).isExecutable(),
             "KESTRAVA_RECORDS does not name kestrava-records");
    m_db = m_dir.filePath(RecordStore::kFileName);
    RecordStore store(m_db, m_clock);
    QVERIFY(!store.open());
    const Fallible<std::vector<int64_t>> ids = store.write(fixtureRecords());
    QVERIFY(ids.ok());
    QCOMPARE(ids->back(), int64_t(4));
}

void TestRecordsTool::list_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("all, newest first")
        << QStringList{"list"}
        << QStringLiteral(
               R"(ID  Station  Start                Duration  Outcome           Test name    Operator    Leak start KPa  Main fall KPa  Serial   Model
 4  2        2026-07-12 10:00:00  -         running           -            Bo                   700.0              -  -        -
 3  1        2026-07-12 08:15:00  00:00:01  stopped           Pump, rev 2  -                    701.3              -  -        -
 2  2        2026-07-11 14:30:00  00:00:02  leak test failed  -            -                    650.5              -  SN-0001  Pump
 1  1        2026-07-10 09:00:00  00:00:08  completed         Valve A      Ann Ørsted           700.0           1.50  SN-0001  Valve
)");
    QTest::newRow("serial") << QStringList{"list", "--serial", "SN-0001"} << "2 1";
    QTest::newRow("serial never tested") << QStringList{"list", "--serial", "SN-0"} << "";
    QTest::newRow("model") << QStringList{"list", "--model", "Valve"} << "1";
    QTest::newRow("no model") << QStringList{"list", "--model", ""} << "4 3";
    QTest::newRow("station 2") << QStringList{"list", "--station=2"} << "4 2";
    QTest::newRow("outcome with blanks")
        << QStringList{"list", "--outcome", "leak test failed"} << "2";
    QTest::newRow("outcome none has") << QStringList{"list", "--outcome", "interrupted"} << "";
    QTest::newRow("since a local date") << QStringList{"list", "--since", "2026-07-12"} << "4 3";
    QTest::newRow("all filters") << QStringList{"--station",  "1",         "list",   "--since",
                                                "2026-07-11", "--outcome", "stopped"}
                                 << "3";
}

void TestRecordsTool::list()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    const Run run = runTool(QStringList{"--db", m_db} + arguments, QDir::tempPath());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    if (expected.contains(u'\n')) {
        QCOMPARE(run.out, expected);
        return;
    }
    // The ids of the lines after the header.
    QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.takeFirst().startsWith(QStringLiteral("ID  Station")));
    QStringList ids;
    for (const QString &line : lines)
        ids << line.section(u' ', 0, 0, QString::SectionSkipEmpty);
    QCOMPARE(ids.join(u' '), expected);
}

void TestRecordsTool::show()
{
    // Leak test: 700 - 698.5 = 1.5 KPa in 3 s (30 KPa/min), the deciding reading the last
    // sample's. Main test from 698.5 KPa at 4 s: the valid samples at 5 and 7 s and the
    // deciding reading at 7 s, 697 KPa: 1.5 KPa in 3 s; brought from 24 °C to the 25 °C of
    // its start, 697 KPa is 697 × 298.15 / 297.15 = 699.346 KPa, a compensated fall of
    // -0.85 KPa. Post-test: completed at 8.4 s, 4.4 s after the main start, at 684 KPa:
    // 14.5 KPa, 197.727 KPa/min end to end; the line through 696.5 KPa at 4 s and 684 KPa
    // at 4.4 s falls 31.25 KPa a second. In flow units through its 250 ml: 30 KPa/min =
    // 30 × 1000 / 60 = 500 Pa/s; 500 × 250 / 101325 × 60 = 74.019 sccm; 500 × 0.25 × 0.01 =
    // 1.25 mbar·l/s; 197.727 KPa/min = 3295.455 Pa/s, 487.854 sccm, 8.23864 mbar·l/s.
    const Run run = runTool({"--db", m_db, "show", "1"}, QDir::tempPath());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QStringLiteral(R"(Record 1
  Station       1
  Start         2026-07-10T09:00:00+02:00
  End           2026-07-10T09:00:08+02:00
  Duration      00:00:08
  Outcome       completed
  Test name     Valve A
  Operator      Ann Ørsted
  Serial        SN-0001
  Model         Valve
  Model volume  250 ml
  Samples       8

Parameters
  Test start pressure limit      600 KPa
  Leak test fall pressure limit  7 KPa
  Leak test duration             3 s
  Test fall pressure in bath     14 KPa
  Main test duration             3 s
  Min. bath temperature          20 °C

Calibration
  Pressure 1 range  1000
  Pressure 1 zero   -2.5
  Pressure 1 span   10000
  Temperature zero  0
  Temperature span  1000

Reference pressures
  Leak start  700.00 KPa
  Main start  698.50 KPa

Phase times
  Leak start        2026-07-10T09:00:00+02:00
  Leak test passed  2026-07-10T09:00:03+02:00
  Main start        2026-07-10T09:00:04+02:00
  Post-test start   2026-07-10T09:00:07+02:00

Decisions
  2026-07-10T09:00:03.0+02:00  leak test passed  pressure 698.50 KPa   fall 1.50 KPa   limit 7.00 KPa
  2026-07-10T09:00:07.0+02:00  main test ended   pressure 697.00 KPa   fall 1.50 KPa  limit 14.00 KPa
  2026-07-10T09:00:08.4+02:00  test completed    pressure 684.00 KPa  fall 14.50 KPa  limit 14.00 KPa

Figures
                                           Leak test         Main test         Post-test
  Fall KPa                                      1.50              1.50             14.50
  Fall to                           deciding reading  deciding reading  deciding reading
  Time from reference s                          3.0               3.0               4.4
  End-to-end rate KPa/min                     30.000            30.000           197.727
  End-to-end rate Pa/s                       500.000           500.000          3295.455
  End-to-end flow sccm                        74.019            74.019           487.854
  End-to-end flow mbar·l/s                   1.25000           1.25000           8.23864
  Least-squares rate KPa/min                  30.000            30.000          1875.000
  Temperature-compensated fall KPa              1.50             -0.85              2.00
  Samples with a valid pressure                    3                 2                 1
  )") + figuresExplanation() +
                          QStringLiteral(R"(

Link events
  2026-07-10T09:00:05+02:00  port lost    The device was removed.
  2026-07-10T09:00:06+02:00  reconnected
)"));

    // A record without a main test, and one kept before decisions were.
    const Run failed = runTool({"--db", m_db, "show", "2"}, QDir::tempPath());
    QVERIFY2(failed.out.contains(QStringLiteral("\nDecisions\n  2026-07-11T14:30:02.3+02:00  "
                                                "leak test failed  pressure 643.00 KPa  fall "
                                                "7.50 KPa  limit 7.00 KPa\n")),
             qPrintable(failed.out));
    QVERIFY2(failed.out.contains(QStringLiteral("  Fall KPa                                      "
                                                "7.50  did not run  did not run\n")),
             qPrintable(failed.out));
}

void TestRecordsTool::exportCsv_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("csv");

    const QByteArray header = "record,station,serial,model,start,elapsed_s,time,pressure_kpa,"
                              "pressure_valid,bath_temp_c,bath_temp_valid,phase,decision\r\n";
    const QByteArray rows2 =
        "2,2,SN-0001,Pump,2026-07-11T14:30:00+02:00,0,2026-07-11T14:30:01+02:00,645.25,1,,0,leak,"
        "\r\n"
        "2,2,SN-0001,Pump,2026-07-11T14:30:00+02:00,1,2026-07-11T14:30:02+02:00,640,1,21,1,leak,"
        "\r\n"
        "2,2,SN-0001,Pump,2026-07-11T14:30:00+02:00,1.3,2026-07-11T14:30:02.3+02:00,643,1,,0,leak,"
        "leak test failed\r\n";
    const QByteArray rows3 =
        "3,1,,,2026-07-12T08:15:00+02:00,0,2026-07-12T08:15:01+02:00,-0.25,1,19.5,1,leak,\r\n";
    const QByteArray rows4 =
        "4,2,,,2026-07-12T10:00:00+02:00,0,2026-07-12T10:00:01+02:00,699.9,1,20,1,leak,\r\n";
    QTest::newRow("ids in the order given")
        << QStringList{"export", "3", "2"} << "2 records written to %1\n"
        << header + rows3 + rows2;
    QTest::newRow("since a date, oldest first")
        << QStringList{"export", "--since", "2026-07-12"} << "2 records written to %1\n"
        << header + rows3 + rows4;
    QTest::newRow("nothing since")
        << QStringList{"export", "--since", "2027-01-01"} << "0 records written to %1\n"
        << header;
}

void TestRecordsTool::exportCsv()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QFETCH(QByteArray, csv);

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("runs.csv"));
    {
        QFile old(path); // an older file is replaced
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than some of the new files, much longer than "
                  "them, to show that the file is replaced and not overwritten in place\n");
    }
    const Run run =
        runTool(QStringList{"--db", m_db} + arguments + QStringList{"--csv", path}, out.path());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, said.arg(path));
    QCOMPARE(readAll(path), csv);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"runs.csv"});
}

void TestRecordsTool::errors_data()
{
    QTest::addColumn<QString>("file"); // what stands at the --db path
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // %1: the --db path, %2: the scratch folder

    const QString tryHelp = QStringLiteral("\nTry 'kestrava-records --help'.\n");
    const QString prefix = QStringLiteral("kestrava-records: ");

    QTest::newRow("no database") << "none" << QStringList{"list"} << 1
                                 << prefix + "%1: There is no records database.\n";
    QTest::newRow("no database in the working folder")
        << "default" << QStringList{"list"} << 1
        << prefix + "kestrava-records.sqlite: There is no records database.\n";
    QTest::newRow("not a database") << "text" << QStringList{"list"} << 1
                                    << prefix + "%1: The records database is not a database.\n";
    QTest::newRow("another program's database")
        << "other" << QStringList{"list"} << 1
        << prefix + "%1: The records database is not a database of Kestrava.\n";
    QTest::newRow("version 1, not migrated")
        << "v1" << QStringList{"list"} << 1
        << prefix + "%1: The records database has schema version 1; Kestrava brings it to "
                    "version 5 when it next starts.\n";
    QTest::newRow("unknown record")
        << "good" << QStringList{"show", "99"} << 1 << prefix + "%1: There is no test record 99.\n";
    QTest::newRow("unknown record exported")
        << "good" << QStringList{"export", "1", "99", "--csv", "%2/runs.csv"} << 1
        << prefix + "%1: There is no test record 99.\n";
    QTest::newRow("output to a full disk") << "full" << QStringList{"show", "1"} << 1
                                           << prefix + "standard output: No space left on device\n";
    QTest::newRow("CSV in a missing folder")
        << "good" << QStringList{"export", "1", "--csv", "%2/missing/runs.csv"} << 1
        << prefix + "%2/missing/runs.csv: No such file or directory\n";

    const auto usage = [&](const char *name, const QStringList &arguments, const char *text) {
        QTest::newRow(name) << "none" << arguments << 2
                            << prefix + QString::fromUtf8(text) + tryHelp;
    };
    usage("no command", {},
          "No command given: list, show, export, sync, init-shared, info or stats.");
    usage("unknown command", {"delete", "1"},
          "Unknown command 'delete': list, show, export, sync, init-shared, info or stats.");
    usage("unknown option", {"list", "--colour"}, "Unknown option 'colour'.");
    usage("unknown figure", {"stats", "--figure", "fall"},
          "--figure takes leak-fall, main-fall, leak-rate or main-rate, not 'fall'.");
    usage("unknown unit", {"stats", "--unit", "l/min"},
          "--unit takes KPa/min, Pa/s, sccm or mbar.l/s, not 'l/min'.");
    usage("figure of another command", {"list", "--figure", "leak-fall"},
          "--figure does not go with list.");
    usage("stats of an id", {"stats", "1"}, "stats takes no record id.");
    QTest::newRow("too few records for statistics")
        << "good" << QStringList{"stats", "--model", "Valve"} << 1
        << prefix + "too few records for statistics\n";
    usage("station 3", {"list", "--station", "3"}, "--station takes 1 or 2, not '3'.");
    usage("unknown outcome", {"list", "--outcome", "failed"},
          "--outcome takes completed, \"leak test failed\", \"main test failed\", stopped or "
          "interrupted, not 'failed'.");
    usage("date in another form", {"list", "--since", "12-07-2026"},
          "--since takes a date as yyyy-mm-dd, not '12-07-2026'.");
    usage("date that does not exist", {"list", "--since", "2026-02-30"},
          "--since takes a date as yyyy-mm-dd, not '2026-02-30'.");
    usage("option of another command", {"show", "1", "--station", "1"},
          "--station does not go with show.");
    usage("show without an id", {"show"}, "show takes one record id.");
    usage("id that is not a number", {"show", "first"}, "'first' is not a record id.");
    usage("id 0", {"show", "0"}, "'0' is not a record id.");
    usage("export without --csv", {"export", "1"}, "export needs --csv FILE.");
    usage("export of nothing", {"export", "--csv", "runs.csv"},
          "export takes record ids or --since, one of them.");
    QTest::newRow("CSV over the database")
        << "good" << QStringList{"export", "1", "--csv", "%2/./kestrava-records.sqlite-wal"} << 2
        << prefix + "--csv names the records database." + tryHelp;
    usage("export of ids and a date", {"export", "1", "--since", "2026-07-01", "--csv", "x.csv"},
          "export takes record ids or --since, one of them.");
}

void TestRecordsTool::errors()
{
    QFETCH(QString, file);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);

    QTemporaryDir scratch;
    const QString db = scratch.filePath(RecordStore::kFileName);
    if (file == u"good" || file == u"full" || file == u"v1") {
        QVERIFY(QFile::copy(
            file == u"v1" ? QStringLiteral(KESTRAVA_TEST_DATA "/records-v1.sqlite") : m_db, db));
    } else if (file == u"text") {
        QFile text(db);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("Not a database, only text that has the database's name.\n");
    } else if (file == u"other") {
        QVERIFY(SqlConnection(db).exec(QStringLiteral("CREATE TABLE invoices (number INT)")));
    }
    const QStringList before = QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden);
    const QByteArray bytes = readAll(db);

    QStringList args;
    for (const QString &argument : arguments)
        args << QString(argument).replace(QStringLiteral("%2"), scratch.path());
    if (file != u"default")
        args = QStringList{"--db", db} + args;
    const Run run =
        runTool(args, scratch.path(), file == u"full" ? QStringLiteral("/dev/full") : QString());
    QCOMPARE(run.err, QString(message)
                          .replace(QStringLiteral("%1"), db)
                          .replace(QStringLiteral("%2"), scratch.path()));
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, QString());
    // Nothing is created, migrated or written: no database, no CSV file. Reading a database in
    // WAL mode that no program has open leaves SQLite's shared-memory index and an empty log.
    QStringList after = QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden);
    if ((file == u"good" || file == u"full" || file == u"v1") && status != 2) {
        QVERIFY(after.removeOne(QStringLiteral("kestrava-records.sqlite-shm")));
        QVERIFY(after.removeOne(QStringLiteral("kestrava-records.sqlite-wal")));
        QCOMPARE(QFileInfo(db + QStringLiteral("-wal")).size(), 0);
    }
    QCOMPARE(after, before);
    QCOMPARE(readAll(db), bytes);
}

void TestRecordsTool::readsBesideAWriter()
{
    QTemporaryDir scratch;
    const QString db = scratch.filePath(RecordStore::kFileName);
    QVERIFY(QFile::copy(m_db, db));

    // The program: its store stays open and has just committed a record to the log.
    RecordStore program(db, m_clock);
    QVERIFY(!program.open());
    std::vector<RecordChange> fifth(1);
    fifth[0].record.station = 0;
    fifth[0].record.start = at("2026-07-12T11:00:00+02:00");
    fifth[0].record.testName = QStringLiteral("Committed");
    const Fallible<std::vector<int64_t>> ids = program.write(fifth);
    QVERIFY(ids.ok());
    QCOMPARE(ids->front(), int64_t(5));
    fifth[0].record.id = 5;

    // Another connection holds a write transaction open with a change not yet committed.
    {
        const SqlConnection writer(db);
        QVERIFY(writer.exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(writer.exec(QStringLiteral("UPDATE record SET test_name = 'Uncommitted'")));

        for (const QStringList &arguments :
             {QStringList{"list", "--station", "1"}, QStringList{"show", "5"}}) {
            const Run run = runTool(QStringList{"--db", db} + arguments, scratch.path());
            QCOMPARE(run.err, QString());
            QCOMPARE(run.status, 0);
            QVERIFY2(run.out.contains(QStringLiteral("Committed")), qPrintable(run.out));
            QVERIFY2(!run.out.contains(QStringLiteral("Uncommitted")), qPrintable(run.out));
            // Started, read and ended, a process start included: it did not wait for the lock.
            QVERIFY2(run.ms < 5000, qPrintable(QStringLiteral("took %1 ms").arg(run.ms)));
        }
        QVERIFY(writer.exec(QStringLiteral("ROLLBACK")));
    }

    // The program goes on writing after the tool has read.
    fifth[0].record.testName = QStringLiteral("Renamed");
    fifth[0].writeNames = true;
    QVERIFY(program.write(fifth).ok());
    const Run run = runTool({"--db", db, "show", "5"}, scratch.path());
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(QStringLiteral("Test name     Renamed")), qPrintable(run.out));
}

void TestRecordsTool::stats_data()
{
    statisticsSetTable();
}

void TestRecordsTool::stats()
{
    QFETCH(QString, figure);
    QFETCH(QString, unit);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath(RecordStore::kFileName);
    {
        RecordStore store(path, m_clock);
        QVERIFY_OK(store.open());
        std::vector<RecordChange> changes;
        for (TestRecord &record : statisticsSet()) {
            record.id = 0; // inserted, ids 1.. in the set's order
            changes.push_back({record, false, 0, {}, 0, {}, {}});
        }
        QVERIFY_OK(store.write(changes));
    }
    const Run run = runTool({"stats", "--figure", figure, "--unit", unit}, dir.path());
    QCOMPARE(run.err, QString());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out.split(u'\n', Qt::SkipEmptyParts), lines);

    // The filters keep records as list does: the second day's ten, of which one failed.
    const Run since = runTool(
        {"stats", "--figure", figure, "--since", "2026-07-11", "--model", "Valve"}, dir.path());
    QCOMPARE(since.status, 0);
    const QStringList got = since.out.split(u'\n');
    QVERIFY2(got.contains("records: 10") && got.contains("n: 9") && got.contains("failed: 1"),
             qPrintable(since.out));
    const Run station = runTool({"stats", "--station", "1", "--model", "Pump"}, dir.path());
    QCOMPARE(station.status, 1);
}

QTEST_GUILESS_MAIN(TestRecordsTool)
#include "tst_recordstool.moc"
