#include "app/config.h"
#include "app/sharedstate.h"
#include "support/modalwatcher.h"
#include "support/simulatorprocess.h"
#include "ui/main/mainwindow.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kDash = QStringLiteral("---");
constexpr int kLimitMs = 8000;
} // namespace

/// The real main window against the simulated instrument over a pseudo-terminal.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showsTheInstrumentsValues();
    void silenceShowsDashesUntilTheInstrumentAnswers();
    void lineNoiseNeverReadsAsZero();
    void unpluggingKeepsTheProgramRunning();
    void nominalTestOnBothStations();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
    std::unique_ptr<SimulatorProcess> m_sim;
    std::unique_ptr<MainWindow> m_window;

    void openWindow(const QStringList &simOptions);
    QString label(QLabel *label) const { return label->text(); }
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
}

void TestEndToEnd::openWindow(const QStringList &simOptions)
{
    QVERIFY2(m_sim->start(QStringLiteral("COM4"), simOptions), qPrintable(m_sim->errorString()));
    m_sim->usePortDirectory();
    m_state->CommPort = 4;
    SeenMessage unexpected;
    acceptNextMessage(unexpected);
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->show();
    QVERIFY2(m_state->PortReady, qPrintable(unexpected.text));
}

void TestEndToEnd::showsTheInstrumentsValues()
{
    openWindow({QStringLiteral("--temp"), QStringLiteral("1050"), QStringLiteral("--p1"),
                QStringLiteral("7000"), QStringLiteral("--p2"), QStringLiteral("5005")});
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), kLimitMs);
    QCOMPARE(label(m_window->lblMeter[1]), QStringLiteral("500.5KPa"));
    QCOMPARE(label(m_window->lblMeter[2]), QStringLiteral("105.0°C"));
    QCOMPARE(label(m_window->lblMeter[3]), QStringLiteral("105.0°C"));
    QVERIFY(m_window->cmdSbar->text().startsWith(QStringLiteral("COM 4 | ")));
    QCOMPARE(m_state->readings.RawPressure2, int16_t(5005));

    QVERIFY(m_sim->run(QStringLiteral("set temp -1")));
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[2]), kDash, kLimitMs);
    QCOMPARE(label(m_window->lblMeter[3]), kDash);
    QCOMPARE(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"));
}

void TestEndToEnd::silenceShowsDashesUntilTheInstrumentAnswers()
{
    openWindow({});
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), kLimitMs);
    QVERIFY(m_sim->run(QStringLiteral("silent")));
    // Stale after one second without a frame, shown at the next display tick.
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), kDash, 4000);
    QCOMPARE(label(m_window->lblMeter[1]), kDash);
    QCOMPARE(label(m_window->lblMeter[2]), kDash);
    QVERIFY(m_sim->run(QStringLiteral("normal")));
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), 4000);
    QCOMPARE(label(m_window->lblMeter[2]), QStringLiteral("105.0°C"));
}

void TestEndToEnd::lineNoiseNeverReadsAsZero()
{
    openWindow({});
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), kLimitMs);
    for (const char *fault : {"cr", "short", "garbage"}) {
        QVERIFY(m_sim->run(QString::fromLatin1(fault)));
        for (int poll = 0; poll < 8; ++poll) {
            QTest::qWait(100);
            QVERIFY2(!m_state->readings.Pressure1Valid || m_state->readings.Pressure1 == 700.0f, fault);
        }
        QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), kDash, 4000);
        QVERIFY(m_sim->run(QStringLiteral("normal")));
        QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), 4000);
    }
    // A reply that arrives in pieces still counts, once its CR is in.
    QVERIFY(m_sim->run(QStringLiteral("split 4 10")));
    QVERIFY(m_sim->run(QStringLiteral("set p1 6500")));
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("650.0KPa"), 4000);
}

void TestEndToEnd::unpluggingKeepsTheProgramRunning()
{
    openWindow({});
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), QStringLiteral("700.0KPa"), kLimitMs);
    SeenMessage unexpected;
    acceptNextMessage(unexpected);
    QVERIFY(m_sim->run(QStringLiteral("unplug")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->PortReady, 4000);
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[0]), kDash, 4000);
    QCOMPARE(label(m_window->lblMeter[2]), kDash);
    // The display goes on: the status line keeps its clock running.
    const QString before = m_window->cmdSbar->text();
    QTRY_VERIFY_WITH_TIMEOUT(m_window->cmdSbar->text() != before, 4000);
    QVERIFY(!unexpected.seen);
}

void TestEndToEnd::nominalTestOnBothStations()
{
    openWindow({QStringLiteral("--p1"), QStringLiteral("7000"), QStringLiteral("--p2"),
                QStringLiteral("6500")});
    m_state->parameters.LeakTestDuration = 2;
    m_state->parameters.MainTestDuration = 2;
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMeter[1]), QStringLiteral("650.0KPa"), kLimitMs);

    for (int s = 0; s < 2; ++s) {
        QTest::mouseClick(m_window->cmdTestStart[s], Qt::LeftButton);
        QCOMPARE(label(m_window->lblMsg[s]), QStringLiteral("Leak Test In Progress"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(label(m_window->lblTime[0]).startsWith(QStringLiteral("Time Remaining: ")),
                             2000);
    for (int s = 0; s < 2; ++s) {
        QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMsg[s]), QStringLiteral("Leak Test Passed."),
                                  kLimitMs);
        QCOMPARE(label(m_window->lblTime[s]), QStringLiteral("Time Remaining: 00:00:00"));
        QTest::mouseClick(m_window->cmdTestStart[s], Qt::LeftButton);
        QCOMPARE(label(m_window->lblMsg[s]), QStringLiteral("Main Test In Progress"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_state->stations[0].PostTestActive && m_state->stations[1].PostTestActive, kLimitMs);
    QVERIFY(label(m_window->lblTime[0]).startsWith(QStringLiteral("Time Elapsed: ")));
    QCOMPARE(label(m_window->lblMsg[0]), QStringLiteral("Main Test In Progress"));

    const QString exportPath = m_dir->filePath(QStringLiteral("test1.kvr"));
    auto samplesOf = [&](float before, float after) {
        QFile file(exportPath);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("no export file");
        const QList<QByteArray> lines = file.readAll().split('\n');
        if (lines.value(0) != "Kestrava Test 1\r")
            return QStringLiteral("header: ") + QString::fromLatin1(lines.value(0));
        const int last = lines.value(1).trimmed().toInt();
        if (lines.size() != last + 4) // header, count, samples, and the empty piece after the end
            return QStringLiteral("%1 lines for last index %2").arg(lines.size()).arg(last);
        if (last < 2)
            return QStringLiteral("only %1 samples").arg(last + 1);
        bool fallen = false;
        for (int k = 0; k <= last; ++k) {
            const float value = lines[k + 2].trimmed().toFloat();
            if (value == after)
                fallen = true;
            else if (value != before || fallen)
                return QStringLiteral("sample %1 is %2").arg(k).arg(value);
        }
        return QString();
    };

    // The fall completes station 0 only; its samples are the simulator's pressures.
    QVERIFY(m_sim->run(QStringLiteral("set p1 6000")));
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMsg[0]), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(label(m_window->lblTime[0]), QStringLiteral("Time: 00:00:00"));
    QCOMPARE(label(m_window->lblMsg[1]), QStringLiteral("Main Test In Progress"));
    // Every sample is what the simulator sent: the steady pressure, then perhaps the fall.
    QCOMPARE(samplesOf(700.0f, 600.0f), QString());

    QVERIFY(m_sim->run(QStringLiteral("set p2 6300")));
    QTRY_COMPARE_WITH_TIMEOUT(label(m_window->lblMsg[1]), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(samplesOf(650.0f, 630.0f), QString()); // station 1 replaced the file
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
