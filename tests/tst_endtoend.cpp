#include "app/config.h"
#include "app/sharedstate.h"
#include "device/serialcomponent.h"
#include "support/modalwatcher.h"
#include "support/simulatorprocess.h"
#include "support/widgets.h"
#include "ui/main/mainwindow.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
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
    void faultyRepliesShowDashesUntilTheInstrumentAnswers_data();
    void faultyRepliesShowDashesUntilTheInstrumentAnswers();
    void unpluggingKeepsTheProgramRunning();
    void nominalTestOnBothStations();

private:
    /// Starts the simulator as port 4 and opens the main window on it; says what went wrong.
    QString openWindow(const QStringList &simOptions = {});
    QString text(const char *name, int index) const
    {
        return named<QLabel>(m_window.get(), name, index)->text();
    }
    QString statusLine() const { return named<QPushButton>(m_window.get(), "cmdSbar")->text(); }
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

void TestEndToEnd::unpluggingKeepsTheProgramRunning()
{
    QCOMPARE(openWindow(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), QStringLiteral("700.0KPa"), kLimitMs);
    QVERIFY(m_sim->run(QStringLiteral("unplug")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->PortReady, 4000);
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 0), kDash, 4000);
    QCOMPARE(text("lblMeter", 2), kDash);
    // The display goes on, with no box: the status line keeps its clock running.
    const QString before = statusLine();
    QTRY_VERIFY_WITH_TIMEOUT(statusLine() != before, 4000);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestEndToEnd::nominalTestOnBothStations()
{
    QCOMPARE(openWindow({"--p1", "7000", "--p2", "6500"}), QString());
    m_state->parameters.LeakTestDuration = 2;
    m_state->parameters.MainTestDuration = 2;
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMeter", 1), QStringLiteral("650.0KPa"), kLimitMs);

    for (int s = 0; s < 2; ++s) {
        click("cmdTestStart", s);
        QCOMPARE(text("lblMsg", s), QStringLiteral("Leak Test In Progress"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(text("lblTime", 0).startsWith(QStringLiteral("Time Remaining: ")),
                             2000);
    for (int s = 0; s < 2; ++s) {
        QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", s), QStringLiteral("Leak Test Passed."), kLimitMs);
        QCOMPARE(text("lblTime", s), QStringLiteral("Time Remaining: 00:00:00"));
        click("cmdTestStart", s);
        QCOMPARE(text("lblMsg", s), QStringLiteral("Main Test In Progress"));
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        m_state->stations[0].PostTestActive && m_state->stations[1].PostTestActive, kLimitMs);
    QVERIFY(text("lblTime", 0).startsWith(QStringLiteral("Time Elapsed: ")));
    QCOMPARE(text("lblMsg", 0), QStringLiteral("Main Test In Progress"));

    // Every exported sample is what the simulator sent: the steady pressure, then the fall.
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

    // The fall completes station 0 only.
    QVERIFY(m_sim->run(QStringLiteral("set p1 6000")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 0), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(text("lblTime", 0), QStringLiteral("Time: 00:00:00"));
    QCOMPARE(text("lblMsg", 1), QStringLiteral("Main Test In Progress"));
    QCOMPARE(samplesOf(700.0f, 600.0f), QString());

    QVERIFY(m_sim->run(QStringLiteral("set p2 6300")));
    QTRY_COMPARE_WITH_TIMEOUT(text("lblMsg", 1), QStringLiteral("Test Complete"), kLimitMs);
    QCOMPARE(samplesOf(650.0f, 630.0f), QString()); // station 1 replaced the file
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
