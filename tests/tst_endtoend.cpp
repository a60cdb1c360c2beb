#include "app/config.h"
#include "app/sharedstate.h"
#include "device/serialcomponent.h"
#include "support/modalwatcher.h"
#include "support/simulatorprocess.h"
#include "support/widgets.h"
#include "ui/main/mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/resource.h>

namespace {
const QString kDash = QStringLiteral("---");
constexpr int kLimitMs = 8000;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// What tells a station's decisions: its phase flags, reference and status caption.
QString decisions(const StationRecord &r)
{
    return QStringLiteral("running %1 leak %2 passed %3 main %4 post %5 ref %6 \"%7\"")
        .arg(r.TestRunning)
        .arg(r.LeakTestActive)
        .arg(r.LeakTestPassed)
        .arg(r.MainTestActive)
        .arg(r.PostTestActive)
        .arg(r.RefPressure)
        .arg(r.MsgCaption);
}

/// Checks the export file: its header, its count and samples that are the steady pressure,
/// 0 for the seconds without a reading (in `gaps` stretches), then the fallen one.
QString checkExport(const QString &path, float before, float after, int gaps)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no export file");
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.value(0) != "Kestrava Test 1\r")
        return QStringLiteral("header: ") + QString::fromLatin1(lines.value(0));
    const int last = lines.value(1).trimmed().toInt();
    if (lines.size() != last + 4) // header, count, samples, and the empty piece after the end
        return QStringLiteral("%1 lines for last index %2").arg(lines.size()).arg(last);
    bool fallen = false;
    int stretches = 0;
    float previous = before;
    for (int k = 0; k <= last; ++k) {
        const float value = lines[k + 2].trimmed().toFloat();
        if (value == after)
            fallen = true;
        else if ((value != before && value != 0) || fallen)
            return QStringLiteral("sample %1 is %2").arg(k).arg(value);
        if (value == 0 && previous != 0)
            ++stretches;
        previous = value;
    }
    if (stretches != gaps)
        return QStringLiteral("%1 stretches without readings").arg(stretches);
    return QString();
}
} // namespace

/// The real main window against the simulated instrument over a pseudo-terminal.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showsTheInstrumentsValues();
    void faultyRepliesShowDashesUntilTheInstrumentAnswers_data();
    void faultyRepliesShowDashesUntilTheInstrumentAnswers();
    void testsRideOutAPulledCable();

private:
    /// Starts the simulator as port 4 and opens the main window on it; says what went wrong.
    QString openWindow(const QStringList &simOptions = {});
    QString text(const char *name, int index) const
    {
        return named<QLabel>(m_window.get(), name, index)->text();
    }
    QString statusLine() const { return named<QPushButton>(m_window.get(), "cmdSbar")->text(); }
    void pullCableUntil(const std::function<bool()> &phaseRunOut);
    void click(const char *name, int station)
    {
        QTest::mouseClick(named<QPushButton>(m_window.get(), name, station), Qt::LeftButton);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<MainWindow> m_window;
    ModalGuard m_guard;
};

void TestEndToEnd::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
    applyConfigDefaults(*m_state);
    m_sim = std::make_unique<SimulatorProcess>();
}

void TestEndToEnd::cleanup()
{
    if (m_window)
        m_window->close();
    m_window.reset();
    m_sim.reset();
    qunsetenv("KESTRAVA_PORT_DIR");
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

QString TestEndToEnd::openWindow(const QStringList &simOptions)
{
    if (!m_sim->start(QStringLiteral("COM4"), simOptions))
        return m_sim->errorString();
    m_sim->usePortDirectory();
    m_state->CommPort = 4;
    // A "Comm Error" box would be closed by the guard within seconds, and named here.
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->show();
    return m_state->PortReady ? QString() : QStringLiteral("port not open: ") + m_guard.takeStray();
}

void TestEndToEnd::showsTheInstrumentsValues()
{
    QCOMPARE(openWindow({"--temp", "1050", "--p1", "7000", "--p2", "5005"}), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), kLimitMs);
    QCOMPARE(text("lblMeter", 1), QStringLiteral("500.5KPa"));
    QCOMPARE(text("lblMeter", 2), QStringLiteral("105.0°C"));
    QCOMPARE(text("lblMeter", 3), QStringLiteral("105.0°C"));
    QVERIFY(statusLine().startsWith(QStringLiteral("COM 4 | ")));
    QCOMPARE(m_state->readings.RawPressure2, int16_t(5005));

    // A reply that arrives in pieces still counts, once its CR is in.
    QVERIFY(m_sim->run(QStringLiteral("split 4 10")));
    QVERIFY(m_sim->run(QStringLiteral("set p1 6500")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("650.0KPa"), 4000);

    // A negative temperature field is no reading; the pressures stay.
    QVERIFY(m_sim->run(QStringLiteral("set temp -1")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 2), kDash, kLimitMs);
    QCOMPARE(text("lblMeter", 3), kDash);
    QCOMPARE(text("lblMeter", 0), QStringLiteral("650.0KPa"));
}

void TestEndToEnd::faultyRepliesShowDashesUntilTheInstrumentAnswers_data()
{
    QTest::addColumn<QString>("fault"); // a command of the simulator
    QTest::newRow("silence") << "silent";
    QTest::newRow("bare CR") << "cr";
    QTest::newRow("short reply") << "short";
    QTest::newRow("garbage") << "garbage";
}

void TestEndToEnd::faultyRepliesShowDashesUntilTheInstrumentAnswers()
{
    QFETCH(QString, fault);
    QCOMPARE(openWindow(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), kLimitMs);
    // Line noise never reads as a value: after every reply the reading is the old one or none.
    QStringList wrong;
    int replies = 0;
    const QMetaObject::Connection hook =
        connect(named<SerialComponent>(m_window.get(), "cm"), &SerialComponent::onComm, this, [&] {
            ++replies;
            const Readings &r = m_state->readings;
            if (r.Pressure1Valid && r.Pressure1 != 700.0f)
                wrong << QString::number(r.Pressure1);
        });
    const auto unhook = qScopeGuard([hook] { disconnect(hook); });
    QVERIFY(m_sim->run(fault));
    // Stale after one second without a frame, shown at the next display tick.
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), kDash, 4000);
    QCOMPARE(text("lblMeter", 1), kDash);
    QCOMPARE(text("lblMeter", 2), kDash);
    QVERIFY(m_sim->run(QStringLiteral("normal")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), 4000);
    QCOMPARE(text("lblMeter", 2), QStringLiteral("105.0°C"));
    QVERIFY(replies > 0);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u' ')));
}

/// Pulls the cable and keeps it out until the running phases have run out, checking that the
/// readings show "---", the status line says the port is being reopened, the processor stays
/// idle and nothing is decided; then plugs it back in and waits for the readings.
void TestEndToEnd::pullCableUntil(const std::function<bool()> &phaseRunOut)
{
    const QString before = decisions(m_state->stations[0]) + decisions(m_state->stations[1]);
    QVERIFY(m_sim->run(QStringLiteral("unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), kDash, 1500);
    QCOMPARE(text("lblMeter", 1), kDash);
    QCOMPARE(text("lblMeter", 2), kDash);
    QVERIFY2(statusLine().startsWith(QStringLiteral("COM 4 (reconnecting) | ")),
             qPrintable(statusLine()));

    QElapsedTimer unplugged;
    unplugged.start();
    const double cpuBefore = cpuSeconds();
    QTRY_VERIFY_WITH_TIMEOUT(phaseRunOut(), kLimitMs);
    const double share = (cpuSeconds() - cpuBefore) / (double(unplugged.elapsed()) / 1000);
    qInfo("CPU while unplugged for %lld ms: %.2f %% of a core", unplugged.elapsed(), 100 * share);
    QVERIFY2(share < 0.05, qPrintable(QString::number(share)));
    QCOMPARE(decisions(m_state->stations[0]) + decisions(m_state->stations[1]), before);
    QCOMPARE(text("lblMeter", 0), kDash);
    QVERIFY(statusLine().startsWith(QStringLiteral("COM 4 (reconnecting) | ")));
    QVERIFY(!QApplication::activeModalWidget());

    QElapsedTimer plugged;
    plugged.start();
    QVERIFY(m_sim->run(QStringLiteral("replug")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), 5000);
    qInfo("readings back %lld ms after the replug", plugged.elapsed());
    QCOMPARE(text("lblMeter", 1), QStringLiteral("650.0KPa"));
    QVERIFY2(statusLine().startsWith(QStringLiteral("COM 4 | ")), qPrintable(statusLine()));
}

void TestEndToEnd::testsRideOutAPulledCable()
{
    QCOMPARE(openWindow({"--p1", "7000", "--p2", "6500"}), QString());
    m_state->parameters.LeakTestDuration = 2;
    m_state->parameters.MainTestDuration = 2;
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), QStringLiteral("650.0KPa"), kLimitMs);
    const StationRecord &first = m_state->stations[0];
    const StationRecord &second = m_state->stations[1];

    for (int s = 0; s < 2; ++s) {
        click("cmdTestStart", s);
        QCOMPARE(text("lblMsg", s), QStringLiteral("Leak Test In Progress"));
    }
    // The leak countdown runs out while the cable is out: no pass without a reading.
    pullCableUntil([&] { return first.PhaseSeconds < 0 && second.PhaseSeconds < 0; });
    if (QTest::currentTestFailed())
        return;
    for (int s = 0; s < 2; ++s) {
        QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", s), QStringLiteral("Leak Test Passed."), kLimitMs);
        QCOMPARE(text("lblTime", s), QStringLiteral("Time Remaining: 00:00:00"));
        click("cmdTestStart", s);
        QCOMPARE(text("lblMsg", s), QStringLiteral("Main Test In Progress"));
    }

    // So does the main test's duration: the post-test phase waits for a reading.
    const int16_t duration = m_state->parameters.MainTestDuration;
    pullCableUntil([&] { return first.PhaseSeconds > duration && second.PhaseSeconds > duration; });
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(first.PostTestActive && second.PostTestActive, kLimitMs);
    QVERIFY(text("lblTime", 0).startsWith(QStringLiteral("Time Elapsed: ")));
    QCOMPARE(text("lblMsg", 0), QStringLiteral("Main Test In Progress"));

    // The fall completes station 0 only. Every exported sample is what the simulator sent, or
    // 0 for the seconds without a reading.
    const QString exportPath = m_dir->filePath(QStringLiteral("test1.kvr"));
    QVERIFY(m_sim->run(QStringLiteral("set p1 6000")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 0), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(text("lblTime", 0), QStringLiteral("Time: 00:00:00"));
    QCOMPARE(text("lblMsg", 1), QStringLiteral("Main Test In Progress"));
    QCOMPARE(checkExport(exportPath, 700.0f, 600.0f, 2), QString());

    QVERIFY(m_sim->run(QStringLiteral("set p2 6300")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 1), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(checkExport(exportPath, 650.0f, 630.0f, 2), QString()); // station 1 replaced it
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
