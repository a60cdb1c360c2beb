// The parts of the shared database that need no server: record names RIG:ID, the local change
// counter a sync follows, records as JSON between processes, the window's filter as
// kestrava-records arguments, what statistics read of a record as JSON, the sync's state line
// and pause, the [shared] settings, the All rigs list's order, and the child processes when
// kestrava-records cannot be started. Times are checked in Central European time.
#include "support/records.h"

#include "app/clock.h"
#include "records/recordcsv.h"
#include "records/recordjson.h"
#include "records/recordlayout.h"
#include "records/recordview.h"
#include "records/sharedreader.h"
#include "records/sharedrecordmodel.h"
#include "records/sharedsettings.h"
#include "records/sharedsync.h"
#include "records/syncsupervisor.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

class TestSharedParts : public QObject {
    Q_OBJECT

private slots:
    void recordNames_data();
    void recordNames();
    void changeCounter();
    void detailsAsJson();
    void listArguments_data();
    void listArguments();
    void figuresAsJson_data();
    void figuresAsJson();
    void syncStates_data();
    void syncStates();
    void retryPauses();
    void settings();
    void rigNames_data();
    void rigNames();
    void allRigsOrder();
    void toolNotStarted();
    void longExport();
};

namespace {

/// Makes the file at path a shell script with the body, executable.
bool writeTool(const QString &path, const QByteArray &body)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write("#!/bin/sh\n" + body + '\n') > 0 &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

void TestSharedParts::recordNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("key"); // "rig|id", or "-" when refused
    QTest::newRow("local") << "42"
                           << "|42";
    QTest::newRow("shared") << "north-1:42"
                            << "north-1|42";
    QTest::newRow("last colon") << "a:b:7"
                                << "a:b|7";
    QTest::newRow("no rig") << ":7"
                            << "-";
    QTest::newRow("no id") << "north:"
                           << "-";
    QTest::newRow("zero") << "north:0"
                          << "-";
    QTest::newRow("sign") << "-3"
                          << "-";
    QTest::newRow("letters") << "12a"
                             << "-";
    QTest::newRow("too long") << "1234567890123456789"
                              << "-";
}

void TestSharedParts::recordNames()
{
    QFETCH(QString, name);
    QFETCH(QString, key);
    const std::optional<RecordKey> parsed = recordKeyOf(name);
    QCOMPARE(parsed ? parsed->rig + u'|' + QString::number(parsed->id) : QStringLiteral("-"), key);
    if (parsed)
        QCOMPARE(recordKeyText(*parsed), name);
}

// Every write of a record's row, names included, puts it after every other row's change, so
// that a sync that copied up to a change finds exactly what came after.
void TestSharedParts::changeCounter()
{
    QTemporaryDir dir;
    ManualClock clock(QDateTime(QDate(2026, 7, 12), QTime(10, 0)));
    RecordStore store(dir.filePath(RecordStore::kFileName), clock);
    QVERIFY_OK(store.open());
    RecordChange first, second;
    first.record.start = second.record.start = clock.now();
    const Fallible<std::vector<int64_t>> ids = store.write({first, second});
    QVERIFY_OK(ids);
    const auto changeOf = [&store](int64_t id) { return store.record(id)->changeSeq; };
    const int64_t a = (*ids)[0], b = (*ids)[1];
    QVERIFY(changeOf(a) > 0 && changeOf(b) > changeOf(a));
    const int64_t copied = changeOf(b);

    QVERIFY_OK(store.setNames(a, QStringLiteral("Vessel"), QStringLiteral("Ann")));
    QVERIFY(changeOf(a) > copied);
    RecordChange more;
    more.record = *store.record(b);
    more.samples = traceOf(clock.now(), QStringLiteral("700:100:L"));
    QVERIFY_OK(store.write({more}));
    QVERIFY(changeOf(b) > changeOf(a));

    const Fallible<std::vector<TestRecord>> changed = store.changedSince(copied, 10);
    QVERIFY_OK(changed);
    QCOMPARE(changed->size(), size_t(2));
    QCOMPARE((*changed)[0].id, a); // in the order of their change
    QCOMPARE((*changed)[0].testName, QStringLiteral("Vessel"));
    QCOMPARE(*store.countChangedSince(changeOf(a)), int64_t(1));
    QCOMPARE(store.lastChange()->first, changeOf(b));
}

// A record read through a child process is the record: every column, its trace with lost
// readings, its decisions to the tenth of a second, its link events.
void TestSharedParts::detailsAsJson()
{
    const QDateTime start(QDate(2026, 7, 12), QTime(10, 0), QTimeZone(7200));
    RecordDetails details;
    TestRecord &r = details.record;
    r.id = 7;
    r.rig = QStringLiteral("north-1");
    r.station = 1;
    r.start = start;
    r.end = start.addSecs(3);
    r.outcome = Outcome::LeakTestFailed;
    r.leakRefPressure = 700.3f;
    r.calSpan = 1000.25f;
    r.testName = QStringLiteral("Vessel \"7\", ü");
    r.leakFall = 7.125;
    r.changeSeq = 123456789012;
    details.trace = traceOf(start, QStringLiteral("700.3:100.1:L -:100.2:L 693.1:-:L"));
    Decision decision;
    decision.change = PhaseChange::LeakFailed;
    decision.time = start.addMSecs(2300);
    decision.pressure = 693.15f;
    decision.reference = 700.3f;
    decision.limit = 7;
    details.decisions = {decision};
    details.events = {{start.addSecs(1), LinkEventKind::PortLost, QStringLiteral("gone\nfor now")}};

    const std::optional<QJsonObject> object =
        recordjson::objectOf(recordjson::line(recordjson::detailsObject(details)));
    QVERIFY(object);
    const std::optional<RecordDetails> back = recordjson::detailsOf(*object);
    QVERIFY(back);
    QCOMPARE(recordlayout::toJson(back->record), recordlayout::toJson(r));
    QCOMPARE(recordName(back->record), QStringLiteral("north-1:7"));
    QByteArray csv, csvBack;
    appendCsvRows(csv, details);
    appendCsvRows(csvBack, *back);
    QCOMPARE(csvBack, csv);
    QVERIFY(csv.startsWith("north-1:7,2,,,2026-07-12T10:00:00+02:00,0,"));
    QCOMPARE(back->events.size(), size_t(1));
    QCOMPARE(back->events[0].detail, details.events[0].detail);
    QCOMPARE(back->events[0].time, details.events[0].time);
    QVERIFY(!recordjson::detailsOf(recordjson::recordObject(r))); // a record without details
    QVERIFY(!recordjson::objectOf("{\"id\": 7"));
}

void TestSharedParts::listArguments_data()
{
    QTest::addColumn<int>("station");  // 0: any
    QTest::addColumn<QString>("days"); // "first last" as yyyy-MM-dd, "-" for an open end
    QTest::addColumn<QString>("rig");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("arguments"); // after "list --db URL --json", but the limit
    QTest::newRow("all") << 0 << "- -"
                         << ""
                         << "" << 0 << "";
    QTest::newRow("station, days, rig")
        << 2 << "2026-07-01 2026-07-12"
        << "north-1"
        << "" << 0 << "--station 2 --since 2026-07-01 --until 2026-07-12 --rig north-1";
    QTest::newRow("one day") << 1 << "2026-07-12 2026-07-12"
                             << ""
                             << "" << 0 << "--station 1 --since 2026-07-12 --until 2026-07-12";
    QTest::newRow("until only") << 0 << "- 2026-03-29"
                                << ""
                                << "" << 0 << "--until 2026-03-29";
    QTest::newRow("model, rig, limit") << 0 << "- -"
                                       << "south"
                                       << "Valve" << 1000 << "--model Valve --rig south";
}

// The window's filter as kestrava-records reads it: the same days, whatever the clock change;
// the statistics take every record the list would, not only the newest.
void TestSharedParts::listArguments()
{
    QFETCH(int, station);
    QFETCH(QString, days);
    QFETCH(QString, rig);
    QFETCH(QString, model);
    QFETCH(int, limit);
    QFETCH(QString, arguments);
    RecordFilter filter;
    if (station > 0)
        filter.station = station - 1;
    const auto day = [](const QString &text) {
        return text == u"-" ? std::nullopt
                            : std::optional<QDate>(QDate::fromString(text, Qt::ISODate));
    };
    setStartDays(filter, day(days.section(u' ', 0, 0)), day(days.section(u' ', 1, 1)));
    if (!rig.isEmpty())
        filter.rig = rig;
    if (!model.isEmpty())
        filter.model = model;
    filter.limit = limit;
    const QString url = QStringLiteral("postgresql://h/d");
    const QStringList list = sharedListArguments(url, filter);
    QCOMPARE(list.mid(0, 4).join(u' '), QStringLiteral("list --db postgresql://h/d --json"));
    QCOMPARE(list.mid(4).join(u' '),
             limit > 0 ? arguments + QStringLiteral(" --limit %1").arg(limit) : arguments);
    const QStringList stats = sharedStatsArguments(url, filter, StatisticsFigure::LeakRate);
    QCOMPARE(stats.mid(0, 6).join(u' '),
             QStringLiteral("stats --db postgresql://h/d --json --figure leak-rate"));
    QCOMPARE(stats.mid(6).join(u' '), arguments);
}

void TestSharedParts::figuresAsJson_data()
{
    QTest::addColumn<int>("figure");
    for (int figure = 0; figure < kStatisticsFigures; ++figure)
        QTest::addRow("%s", qPrintable(figureName(StatisticsFigure(figure)))) << figure;
}

// What statistics read of a record, through a child process: the figure in a flow unit (its
// phase's duration and the part's volume come along), its limit, outcome and local day.
void TestSharedParts::figuresAsJson()
{
    QFETCH(int, figure);
    const auto f = StatisticsFigure(figure);
    const auto throughJson = [f](const RecordFigures &record) {
        return recordjson::figuresOf(
            *recordjson::objectOf(recordjson::line(recordjson::figuresObject(record, f))));
    };
    RecordFigures r{42, QStringLiteral("north-1"),
                    // past midnight where the test ran, the day before in UTC
                    QDateTime(QDate(2026, 7, 12), QTime(0, 30), QTimeZone(7200)).toSecsSinceEpoch(),
                    7200, Outcome::MainTestFailed, 7, 600, 2.5f, 60, 0.5, 2.75, 0.05, 2.75, 250};
    const std::optional<RecordFigures> back = throughJson(r);
    QVERIFY(back);
    QCOMPARE(recordKeyText({back->rig, back->id}), QStringLiteral("north-1:42"));
    QCOMPARE(back->day(), QDate(2026, 7, 12));
    QVERIFY(back->outcome == Outcome::MainTestFailed);
    QCOMPARE(figureValue(*back, f, RateUnit::Sccm).value_or(-1),
             figureValue(r, f, RateUnit::Sccm).value());
    QCOMPARE(figureLimit(*back, f, RateUnit::Sccm).value_or(-1),
             figureLimit(r, f, RateUnit::Sccm).value());
    // A running record, without the figure.
    const std::optional<RecordFigures> running = throughJson({});
    QVERIFY(running && !running->outcome && !figureValue(*running, f, RateUnit::Sccm));
}

void TestSharedParts::syncStates_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("waiting");
    QTest::addColumn<QString>("line");
    QTest::newRow("up to date") << int(SyncState::Kind::UpToDate) << 0
                                << "Shared database: up to date";
    QTest::newRow("one") << int(SyncState::Kind::Waiting) << 1
                         << "Shared database: 1 record waiting";
    QTest::newRow("many") << int(SyncState::Kind::Waiting) << 3
                          << "Shared database: 3 records waiting";
    QTest::newRow("unreachable") << int(SyncState::Kind::Unreachable) << 0
                                 << "Shared database: unreachable since 10:04:31: connection "
                                    "refused";
}

// What the sync prints is what the window shows, in the window's local time.
void TestSharedParts::syncStates()
{
    QFETCH(int, kind);
    QFETCH(int, waiting);
    const SyncState state{SyncState::Kind(kind), waiting,
                          kind == int(SyncState::Kind::Unreachable)
                              ? QDateTime(QDate(2026, 7, 12), QTime(8, 4, 31), Qt::UTC)
                              : QDateTime(),
                          kind == int(SyncState::Kind::Unreachable)
                              ? QStringLiteral("connection refused")
                              : QString()};
    const std::optional<QJsonObject> line =
        recordjson::objectOf(recordjson::line(syncStateJson(state)));
    QVERIFY(line);
    const std::optional<SyncState> read = syncStateOf(*line);
    QVERIFY(read);
    QTEST(syncStateText(*read), "line");
    QVERIFY(!syncStateOf({{QStringLiteral("state"), QStringLiteral("gone")}}));
}

void TestSharedParts::retryPauses()
{
    QList<int> pauses;
    for (int failures = 1; failures <= 8; ++failures)
        pauses << retryPauseSeconds(failures);
    QCOMPARE(pauses, (QList<int>{1, 2, 4, 8, 16, 30, 30, 30}));
}

// [shared] of kestrava.ini: written beside the other sections, read back; no URL by default
// and the host name as the rig.
void TestSharedParts::settings()
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(kSettingsFileName);
    const SharedSettings none = readSharedSettings(ini);
    QCOMPARE(none.url, QString());
    QCOMPARE(none.rig, defaultRigName());
    QVERIFY(!rigNameProblem(none.rig));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[parts]\nask_serial=true\n") > 0);
    file.close();
    const SharedSettings set{QStringLiteral("postgresql://rig@db/kestrava?sslmode=verify-full"),
                             QStringLiteral("north-1")};
    QVERIFY_OK(writeSharedSettings(ini, set));
    QCOMPARE(readSharedSettings(ini), set);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("[parts]\nask_serial=true\n"));
    QVERIFY(text.contains("[shared]\n"));
}

void TestSharedParts::rigNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("host name") << "north-1.plant_a" << true;
    QTest::newRow("64") << QString(64, u'r') << true;
    QTest::newRow("65") << QString(65, u'r') << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("colon") << "a:b" << false;
    QTest::newRow("blank") << "north 1" << false;
    QTest::newRow("quote") << "o'hara" << false;
}

void TestSharedParts::rigNames()
{
    QFETCH(QString, name);
    QTEST(!rigNameProblem(name).has_value(), "accepted");
}

// All rigs as the window lists them: newest first, and by a column with ties newest first.
void TestSharedParts::allRigsOrder()
{
    const QDateTime start(QDate(2026, 7, 12), QTime(10, 0), QTimeZone(7200));
    std::vector<TestRecord> records(4);
    const char *rigs[] = {"b", "a", "b", "a"};
    for (int i = 0; i < 4; ++i) {
        records[size_t(i)].rig = QLatin1String(rigs[i]);
        records[size_t(i)].id = i + 1;
        records[size_t(i)].start = start.addSecs(60 * i);
    }
    SharedRecordModel model;
    model.setRecords(records);
    const auto order = [&model] {
        QStringList rows;
        for (int r = 0; r < model.rowCount(); ++r)
            rows << model.index(r, SharedRecordModel::Rig).data().toString() +
                        model.index(r, SharedRecordModel::Start).data().toString().right(5);
        return rows.join(u' ');
    };
    QCOMPARE(order(), QStringLiteral("a03:00 b02:00 a01:00 b00:00"));
    model.sort(SharedRecordModel::Rig, Qt::AscendingOrder);
    QCOMPARE(order(), QStringLiteral("a03:00 a01:00 b02:00 b00:00"));
    QCOMPARE(model.rigs(), QStringList({"a", "b"}));
    QCOMPARE(model.index(0, SharedRecordModel::Result).data().toString(),
             QStringLiteral("running"));
}

// kestrava-records that cannot be started: a reading of All rigs and the sync's line say so at
// once, naming the program and what the system said; the sync is started again after its
// pause, and goes on once the program is there.
void TestSharedParts::toolNotStarted()
{
    QTemporaryDir folder;
    const QString tool = folder.filePath("kestrava-records");
    qputenv("KESTRAVA_RECORDS", QFile::encodeName(tool));
    const auto unset = qScopeGuard([] { qunsetenv("KESTRAVA_RECORDS"); });
    const QString notStarted = tool + " could not be started: ";
    const QString system = QStringLiteral("No such file or directory");
    const QString url = QStringLiteral("postgresql://db.plant/kestrava");

    SharedReader reader;
    QSignalSpy failed(&reader, &SharedReader::failed);
    reader.list(url, {});
    QVERIFY(failed.wait(30000));
    const QString reason = failed.front().front().toString();
    QVERIFY2(reason.startsWith(notStarted) && reason.endsWith(system), qPrintable(reason));

    const ManualClock clock(QDateTime(QDate(2026, 7, 12), QTime(8, 4, 31), Qt::UTC));
    SyncSupervisor supervisor(clock);
    supervisor.start(folder.filePath("kestrava-records.sqlite"), {url, "north-1"});
    const QString line = "Shared database: unreachable since 10:04:31: " + notStarted;
    QTRY_VERIFY_WITH_TIMEOUT(supervisor.stateText().startsWith(line), 20000);
    QVERIFY2(supervisor.stateText().endsWith(system), qPrintable(supervisor.stateText()));

    const QByteArray upToDate = recordjson::line(syncStateJson({})).trimmed();
    QVERIFY(writeTool(tool, "echo '" + upToDate + "'; exec sleep 60"));
    QTRY_COMPARE_WITH_TIMEOUT(supervisor.stateText(), "Shared database: up to date", 20000);
    supervisor.stop();
}

// A child that answers after the readers' time: an export (many records) is waited for, a
// reading of a record is ended and the server said not to answer.
void TestSharedParts::longExport()
{
    QTemporaryDir folder;
    const QString tool = folder.filePath("kestrava-records");
    const QString csv = folder.filePath("records.csv");
    const QByteArray line = "1 record written to " + QFile::encodeName(csv);
    QVERIFY(writeTool(tool, "sleep " + QByteArray::number(SharedReader::kTimeoutMs / 1000 + 2) +
                                "; echo '" + line + "'"));
    qputenv("KESTRAVA_RECORDS", QFile::encodeName(tool));
    const auto unset = qScopeGuard([] { qunsetenv("KESTRAVA_RECORDS"); });
    const QString url = QStringLiteral("postgresql://db.plant/kestrava");

    SharedReader exporter, reader;
    QSignalSpy exported(&exporter, &SharedReader::exported);
    QSignalSpy exportFailed(&exporter, &SharedReader::failed);
    QSignalSpy readFailed(&reader, &SharedReader::failed);
    exporter.exportCsv(url, {{QStringLiteral("north"), 1}}, csv);
    reader.details(url, {QStringLiteral("north"), 1});
    QTRY_VERIFY_WITH_TIMEOUT(exported.size() + exportFailed.size() == 1, 60000);
    QCOMPARE(exportFailed.size(), 0);
    QCOMPARE(exported.front().front().toString(), QString::fromUtf8(line));
    QCOMPARE(readFailed.size(), 1);
    QCOMPARE(readFailed.front().front().toString(),
             QStringLiteral("the shared database did not answer within 12 s"));
}

QTEST_GUILESS_MAIN(TestSharedParts)
#include "tst_sharedparts.moc"
