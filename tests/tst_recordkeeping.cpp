// The record store as the program keeps it: the real main window against the simulated
// instrument, tests of every outcome, a program killed during a test and started again, and the
// faults of the database that must never stop a test.
#include "app/clock.h"
#include "app/config.h"
#include "app/sharedstate.h"
#include "records/recordstore.h"
#include "records/recordview.h"
#include "report/reportwindow.h"
#include "support/diskfaults.h"
#include "support/modalwatcher.h"
#include "support/records.h"
#include "support/simulatorprocess.h"
#include "support/widgets.h"
#include "ui/main/mainwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

const QString kDash = QStringLiteral("---");
constexpr int kLimitMs = 8000;

/// "1 completed", "2 running": the station as shown and the outcome of each record.
QStringList outcomes(const std::vector<Stored> &stored)
{
    QStringList list;
    for (const Stored &s : stored)
        list << QStringLiteral("%1 %2")
                    .arg(s.record.station + 1)
                    .arg(s.record.outcome ? outcomeText(*s.record.outcome)
                                          : QStringLiteral("running"));
    return list;
}

/// The samples of the export file test1.kvr, as numbers.
std::vector<float> exportedSamples(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    std::vector<float> samples;
    const int last = lines.value(1).trimmed().toInt();
    for (int k = 0; k <= last && k + 2 < lines.size(); ++k)
        samples.push_back(lines[k + 2].trimmed().toFloat());
    return samples;
}

/// The test-only driver program (tests/recorddriver.cpp), reading its lines as they come.
class Driver {
public:
    explicit Driver(const QStringList &arguments)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(qEnvironmentVariable("KESTRAVA_RECORDDRIVER"), arguments);
    }
    ~Driver()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QProcess &process() { return m_process; }
    /// Reads the lines that have come; true once one equal to `line` has been seen.
    bool saw(const QString &line)
    {
        while (m_process.canReadLine())
            m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
        return m_lines.contains(line);
    }
    QStringList lines() const { return m_lines; }

private:
    QProcess m_process;
    QStringList m_lines;
};

} // namespace

class TestRecordKeeping : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyTestBecomesARecord();
    void storeFaultsNeverStopATest_data();
    void storeFaultsNeverStopATest();

private:
    /// Opens the main window in the working folder on the simulator (started at the first
    /// call), with tests of seconds; says what went wrong.
    QString openWindow();
    void closeWindow()
    {
        m_window->close();
        m_window.reset();
    }
    QString text(const char *name, int index) const
    {
        return named<QLabel>(m_window.get(), name, index)->text();
    }
    void click(const char *name, int station)
    {
        QTest::mouseClick(named<QPushButton>(m_window.get(), name, station), Qt::LeftButton);
    }
    QString databasePath() const { return m_dir->filePath(RecordStore::kFileName); }
    QString exportPath() const { return m_dir->filePath(QStringLiteral("test1.kvr")); }
    /// Runs station 1's test from its start to "Test Complete", the pressure falling 8 KPa a
    /// second in the post-test phase; `duringLeakTest` runs once it has started.
    void completeTest(const std::function<void()> &duringLeakTest = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<MainWindow> m_window;
    ModalGuard m_guard;
};

void TestRecordKeeping::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sim = std::make_unique<SimulatorProcess>();
}

void TestRecordKeeping::cleanup()
{
    if (m_window)
        closeWindow();
    m_sim.reset();
    qunsetenv("KESTRAVA_PORT_DIR");
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

QString TestRecordKeeping::openWindow()
{
    if (!m_sim->isRunning()) {
        if (!m_sim->start(QStringLiteral("COM4")))
            return m_sim->errorString();
        m_sim->usePortDirectory();
    }
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
    applyConfigDefaults(*m_state);
    m_state->CommPort = 4;
    m_state->parameters.LeakTestDuration = 2;
    m_state->parameters.MainTestDuration = 2;
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->show();
    return m_state->PortReady ? QString() : QStringLiteral("port not open: ") + m_guard.takeStray();
}

void TestRecordKeeping::completeTest(const std::function<void()> &duringLeakTest)
{
    QVERIFY(m_sim->run(QStringLiteral("set p1 7000")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), kLimitMs);
    click("cmdTestStart", 0);
    if (duringLeakTest)
        duringLeakTest();
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 0), QStringLiteral("Leak Test Passed."), kLimitMs);
    click("cmdTestStart", 0);
    QTRY_VERIFY_WITH_TIMEOUT(m_state->stations[0].PostTestActive, kLimitMs);
    QVERIFY(m_sim->run(QStringLiteral("ramp p1 -80")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 0), QStringLiteral("Test Complete"), kLimitMs);
    QVERIFY(m_sim->run(QStringLiteral("set p1 7000")));
}

void TestRecordKeeping::everyTestBecomesARecord()
{
    QCOMPARE(openWindow(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), QStringLiteral("700.0KPa"), kLimitMs);
    QVERIFY(!QFile::exists(databasePath()));  // made with the first test
    m_state->parameters.LeakTestDuration = 3; // the leak below fails it first

    // Test 2 fails its leak test while test 1 runs to completion.
    click("cmdTestStart", 1);
    QVERIFY(m_sim->run(QStringLiteral("ramp p2 -40")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 1), QStringLiteral("Leak Test Fail. Restart"),
                              kLimitMs);
    completeTest();
    if (QTest::currentTestFailed())
        return;

    // A report saved with names gives them to the station's record.
    const QString pdf = m_dir->filePath(QStringLiteral("report.pdf"));
    onNextModal([&pdf](QWidget *modal) {
        if (auto *report = qobject_cast<ReportWindow *>(modal)) {
            named<QLineEdit>(report, "txtTestName")->setText(QStringLiteral("Vessel A"));
            named<QLineEdit>(report, "txtOperator")->setText(QStringLiteral("Kim"));
            report->saveTo(pdf);
        }
        modal->close();
    });
    click("cmdReport", 0);

    // Test 2 again: the cable is pulled and put back, the instrument goes quiet while the
    // calibration window polls, then Stop.
    QVERIFY(m_sim->run(QStringLiteral("set p2 7000")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), QStringLiteral("700.0KPa"), kLimitMs);
    click("cmdTestStart", 1);
    QVERIFY(m_sim->run(QStringLiteral("unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), kDash, kLimitMs);
    QVERIFY(m_sim->run(QStringLiteral("replug")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), QStringLiteral("700.0KPa"), kLimitMs);
    bool wentStale = false, cameBack = false;
    onNextModal([&](QWidget *modal) {
        const Readings &r = m_state->readings;
        if (m_sim->run(QStringLiteral("silent")))
            wentStale = QTest::qWaitFor([&r] { return !r.Pressure2Valid; }, kLimitMs);
        if (m_sim->run(QStringLiteral("normal")))
            cameBack = QTest::qWaitFor([&r] { return r.Pressure2Valid; }, kLimitMs);
        modal->close();
    });
    named<QAction>(m_window.get(), "SettingsCalib")->trigger();
    QVERIFY(wentStale);
    QVERIFY(cameBack);
    click("cmdTestStop", 1);

    // A test still running when the program ends normally.
    click("cmdTestStart", 1);
    QTRY_VERIFY_WITH_TIMEOUT(m_state->stations[1].SampleIndex >= 2, kLimitMs);
    const QDateTime closedAt = QDateTime::currentDateTime();
    closeWindow();

    // The program in its own process, killed half a second after a second was written, in
    // the third second of its main test.
    Driver driver({QStringLiteral("run"), m_dir->path(), QStringLiteral("4")});
    QVERIFY2(driver.process().waitForStarted(), qPrintable(driver.process().errorString()));
    QTRY_VERIFY2_WITH_TIMEOUT(driver.saw(QStringLiteral("main started")),
                              qPrintable(driver.lines().join(u',')), 15000);
    int ticks = 0;
    bool thirdSecond = false;
    const auto countTicks = [&] {
        driver.saw({});
        const QStringList lines = driver.lines();
        const qsizetype main = lines.indexOf(QStringLiteral("main started"));
        ticks = lines.constLast().startsWith(QStringLiteral("tick "))
                    ? lines.constLast().mid(5).toInt()
                    : ticks;
        thirdSecond = thirdSecond || lines.size() - main > 3;
        return thirdSecond;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(countTicks(), qPrintable(driver.lines().join(u',')), 10000);
    // Five polls of the instrument, half a second, with no new second written meanwhile.
    const int polls = m_sim->command(QStringLiteral("status")).section(u' ', 8, 8).toInt();
    QTRY_VERIFY_WITH_TIMEOUT(
        m_sim->command(QStringLiteral("status")).section(u' ', 8, 8).toInt() >= polls + 5, 5000);
    ::kill(pid_t(driver.process().processId()), SIGKILL);
    const QDateTime killedAt = QDateTime::currentDateTime();
    QVERIFY(driver.process().waitForFinished(10000));
    QCOMPARE(driver.process().exitStatus(), QProcess::CrashExit);
    countTicks();

    // Started again, the program closes the killed test's record as interrupted.
    QCOMPARE(openWindow(), QString());
    const std::vector<Stored> stored = readStored(databasePath()); // newest first
    QCOMPARE(outcomes(stored), (QStringList{"1 interrupted", "2 interrupted", "2 stopped",
                                            "1 completed", "2 leak test failed"}));

    // The falls of the phases that ended the tests are those of the readings that decided
    // them: past the limit, by at most a poll's fall.
    const TestRecord &failed = stored[4].record;
    QVERIFY(!failed.mainStartTime);
    QVERIFY2(failed.leakFall >= 7 && failed.leakFall < 7 + 2,
             qPrintable(QString::number(failed.leakFall.value_or(-1))));
    QCOMPARE(stored[4].decisions.size(), size_t(1));

    const Stored &completed = stored[3];
    QCOMPARE(exportedPressures(completed.trace), exportedSamples(exportPath()));
    QVERIFY(completed.trace.size() >= 5);
    QVERIFY(completed.record.leakPassTime && completed.record.mainStartTime &&
            completed.record.postTestTime);
    QVERIFY2(completed.record.postFall >= 14 && completed.record.postFall < 14 + 2,
             qPrintable(QString::number(completed.record.postFall.value_or(-1))));
    QCOMPARE(completed.decisions.back().change, PhaseChange::Completed);
    QCOMPARE(completed.record.testName, QStringLiteral("Vessel A"));
    QCOMPARE(completed.record.operatorName, QStringLiteral("Kim"));
    QVERIFY(completed.events.empty());

    const Stored &stopped = stored[2];
    QStringList events;
    for (const RecordedLinkEvent &event : stopped.events)
        events << linkEventText(event.kind);
    QCOMPARE(events, (QStringList{"port lost", "reconnected", "readings back", "readings stale",
                                  "readings back"}));
    QVERIFY(!stopped.events[0].detail.isEmpty()); // the reason the port was lost

    const TestRecord &ended = stored[1].record;
    QVERIFY(!stored[1].trace.empty());
    QVERIFY2(qAbs(ended.end->secsTo(closedAt)) <= 1, qPrintable(isoTime(*ended.end)));

    const Stored &killed = stored[0];
    const int kept = int(killed.trace.size());
    const qint64 lastBeforeKill = killed.trace.back().time.secsTo(killedAt);
    qInfo("killed %.1f s after the start, %d seconds reported written, %d kept; the last kept "
          "%lld s before the kill",
          double(killed.record.start.msecsTo(killedAt)) / 1000, ticks, kept, lastBeforeKill);
    QVERIFY2(kept == ticks || kept == ticks + 1, qPrintable(driver.lines().join(u',')));
    QVERIFY(lastBeforeKill <= 1);
    QCOMPARE(killed.trace.back().phase, TracePhase::Main);
    QCOMPARE(isoTime(*killed.record.end), isoTime(killed.trace.back().time));
}

void TestRecordKeeping::storeFaultsNeverStopATest_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("box"); // a pattern of its text; %1: the database
    const QString notWritten = QStringLiteral("The test records could not be written to %1: ");
    QTest::newRow("full disk") << "full" << notWritten + ".*(disk is full|disk I/O error)";
    QTest::newRow("database is a folder")
        << "folder" << notWritten + R"(The records database is a folder, not a file\.)";
    QTest::newRow("locked by another program") << "locked" << notWritten + ".*locked";
    QTest::newRow("not a database")
        << "garbage"
        << R"(The records database %1 could not be read\. It was kept as (.+), and a new records )"
           R"(database was started\.)";
    QTest::newRow("deleted during the test")
        << "deleted"
        << R"(The records database %1 was deleted, moved or replaced while Kestrava was running\. )"
           R"(A new records database was started there: .*)";
}

void TestRecordKeeping::storeFaultsNeverStopATest()
{
    QFETCH(QString, fault);
    QFETCH(QString, box);
    const QByteArray garbage(5000, 'x');
    if (fault == u"garbage") {
        QFile file(databasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(garbage);
    }
    QCOMPARE(openWindow(), QString());
    ModalsOver boxes(m_window.get()); // answers every box and keeps what it said
    if (fault == u"folder")
        QVERIFY(QDir().mkpath(databasePath()));
    const QRegularExpression said(QStringLiteral("\"Records Error\": ") +
                                  box.arg(QRegularExpression::escape(databasePath())) + u'$');

    // The fault comes while the test runs; the test goes on to its end regardless.
    std::unique_ptr<FileSizeLimit> limit;
    std::unique_ptr<Driver> locker;
    const auto injectFault = [&] {
        QString error;
        QTRY_VERIFY_WITH_TIMEOUT(!readStored(databasePath(), &error).empty(), kLimitMs);
        if (fault == u"full") {
            limit = std::make_unique<FileSizeLimit>(
                rlim_t(QFileInfo(databasePath() + QStringLiteral("-wal")).size()));
            QVERIFY(limit->active());
        } else if (fault == u"locked") {
            locker = std::make_unique<Driver>(QStringList{QStringLiteral("lock"), databasePath()});
            QTRY_VERIFY_WITH_TIMEOUT(locker->saw(QStringLiteral("locked")), kLimitMs);
        }
    };
    completeTest([&] {
        if (fault == u"full" || fault == u"locked")
            injectFault();
        if (fault == u"deleted") {
            injectFault();
            QVERIFY(QFile::remove(databasePath()));
        }
        QTRY_COMPARE_WITH_TIMEOUT(boxes.opened().size(), 1, kLimitMs);
    });
    if (QTest::currentTestFailed())
        return;
    const std::vector<float> exported = exportedSamples(exportPath());
    QVERIFY(exported.size() >= 3);

    // One box for the whole run of failures, naming the database and the reason.
    QCOMPARE(boxes.opened().size(), 1);
    const QRegularExpressionMatch first = said.match(boxes.opened().constFirst());
    QVERIFY2(first.hasMatch(), qPrintable(boxes.opened().constFirst()));

    // Once the fault is gone, the next write brings everything queued meanwhile.
    limit.reset();
    locker.reset();
    if (fault == u"folder")
        QVERIFY(QDir(databasePath()).removeRecursively());
    std::vector<Stored> stored;
    QString error;
    QTRY_VERIFY_WITH_TIMEOUT((stored = readStored(databasePath(), &error)).size() == 1 &&
                                 stored[0].record.outcome == Outcome::Completed,
                             kLimitMs);
    QCOMPARE(exportedPressures(stored[0].trace), exported);
    if (fault == u"garbage")
        QCOMPARE(readAll(first.captured(1)), garbage);
    QCOMPARE(boxes.opened().size(), 1);

    if (fault == u"locked") {
        // After a good write, a new failure is told again.
        QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), kLimitMs);
        click("cmdTestStart", 0);
        QTRY_COMPARE_WITH_TIMEOUT(readStored(databasePath(), &error).size(), size_t(2), kLimitMs);
        injectFault();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.opened().size(), 2, kLimitMs);
        QVERIFY2(said.match(boxes.opened().constLast()).hasMatch(),
                 qPrintable(boxes.opened().constLast()));
    }
}

QTEST_MAIN(TestRecordKeeping)
#include "tst_recordkeeping.moc"
