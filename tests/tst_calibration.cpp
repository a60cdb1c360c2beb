#include "app/config.h"
#include "app/sharedstate.h"
#include "calib/calibrationwindow.h"
#include "device/commoutput.h"
#include "device/devicelink.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <limits>

namespace {
/// Records what the poll steps send.
class RecordingOutput final : public CommOutput {
public:
    void output(const QString &text) override { sent.append(text); }
    QStringList sent;
};
} // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensInItsDesignState();
    void calibrateLocksTheOtherChannels_data();
    void calibrateLocksTheOtherChannels();
    void capturesTakeTheLatestRawValues();
    void firstSpaceCapturesNothing();
    void scanTickPollsAReadyPort_data();
    void scanTickPollsAReadyPort();

private:
    QPushButton *button(const char *name, int channel)
    {
        return named<QPushButton>(m_window.get(), name, channel);
    }
    QLineEdit *range(int channel) { return named<QLineEdit>(m_window.get(), "txtRange", channel); }
    QGroupBox *frameOf(int channel)
    {
        return named<QGroupBox>(m_window.get(), QStringLiteral("Frame%1").arg(channel + 1));
    }
    void openWindow()
    {
        m_window = std::make_unique<CalibrationWindow>(*m_state, m_port, nullptr);
        m_window->show();
    }

    std::unique_ptr<SharedState> m_state;
    RecordingOutput m_port;
    std::unique_ptr<CalibrationWindow> m_window;
    ModalGuard m_guard;
};

void TestCalibration::init()
{
    m_state = std::make_unique<SharedState>();
    m_state->calibration.CalRange = {1000, 1000};
    m_state->calibration.TempSpan = 100;
    m_state->calibration.CalSpan = {1000, 1000};
    m_port.sent.clear();
}

void TestCalibration::cleanup()
{
    m_window.reset();
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TestCalibration::opensInItsDesignState()
{
    m_state->calibration.CalRange = {1250.5f, 800};
    openWindow();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Calibration"));
    QCOMPARE(range(0)->text(), QStringLiteral("1250.5"));
    QCOMPARE(range(1)->text(), QStringLiteral("800"));
    QCOMPARE(named<QLabel>(m_window.get(), "Label1(1)")->text(), QStringLiteral("Range:"));
    // Frame, zero button, span button, toggle and value of each channel.
    const QStringList shown[] = {
        {"Calibrate Pressure 1", "4mA", "20mA", "Calibrate", "0.0"},
        {"Calibrate Pressure 2", "4mA", "20mA", "Calibrate", "0.0"},
        {"Calibrate Temperature", "0 deg.", "100 deg.", "Calibrate", "0.0"}};
    for (int c = 0; c < kCalibChannels; ++c) {
        QCOMPARE((QStringList{frameOf(c)->title(), button("cmd4", c)->text(),
                              button("cmd20", c)->text(), button("cmdCalib", c)->text(),
                              named<QLabel>(m_window.get(), "lblValue", c)->text()}),
                 shown[c]);
        QVERIFY(frameOf(c)->isEnabled());
    }
    auto *scan = named<QTimer>(m_window.get(), "tmrScan");
    QVERIFY(scan->isActive());
    QCOMPARE(scan->interval(), 100);
}

void TestCalibration::calibrateLocksTheOtherChannels_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("typed0"); // the range fields when Calibrate is pressed
    QTest::addColumn<QString>("typed1");
    QTest::addColumn<float>("range0"); // the ranges then
    QTest::addColumn<float>("range1");
    // A range is its field's leading number; beyond a float, the largest float.
    QTest::newRow("pressure 1 takes its range") << 0 << " 1250.5 KPa"
                                                << "1700" << 1250.5f << 1000.0f;
    QTest::newRow("pressure 2 takes its range")
        << 1 << "1600"
        << "1e39" << 1000.0f << std::numeric_limits<float>::max();
    QTest::newRow("temperature takes no range") << 2 << "1600"
                                                << "1700" << 1000.0f << 1000.0f;
}

void TestCalibration::calibrateLocksTheOtherChannels()
{
    QFETCH(int, channel);
    QFETCH(QString, typed0);
    QFETCH(QString, typed1);
    QFETCH(float, range0);
    QFETCH(float, range1);
    openWindow();
    range(0)->setText(typed0);
    range(1)->setText(typed1);
    QPushButton *toggle = button("cmdCalib", channel);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("Stop"));
    for (int c = 0; c < kCalibChannels; ++c) {
        const bool own = c == channel;
        QCOMPARE(frameOf(c)->isEnabled(), own);
        QCOMPARE(button("cmd4", c)->isEnabled(), own); // a locked frame locks what it holds
        QCOMPARE(button("cmdCalib", c)->isEnabled(), own);
    }
    QCOMPARE(m_state->calibration.CalRange[0], range0);
    QCOMPARE(m_state->calibration.CalRange[1], range1);

    // A range edited meanwhile is taken only by the next Calibrate or by closing, not by Stop.
    range(0)->setText(QStringLiteral("1900"));
    range(1)->setText(QStringLiteral("800"));
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("Calibrate"));
    QCOMPARE(m_state->calibration.CalRange[0], range0);
    QCOMPARE(m_state->calibration.CalRange[1], range1);
    for (int c = 0; c < kCalibChannels; ++c) {
        QVERIFY(frameOf(c)->isEnabled());
        QVERIFY(button("cmdCalib", c)->isEnabled());
    }
    m_window->close();
    QCOMPARE(m_state->calibration.CalRange[0], 1900.0f);
    QCOMPARE(m_state->calibration.CalRange[1], 800.0f);
    QVERIFY(!named<QTimer>(m_window.get(), "tmrScan")->isActive());
}

void TestCalibration::capturesTakeTheLatestRawValues()
{
    openWindow();
    Readings &readings = m_state->readings;
    CalibrationConstants &calibration = m_state->calibration;
    auto reply = [&](const char *frame) {
        pollStep(readings, true, m_port, kPollCommand);
        receiveText(readings, calibration, QString::fromLatin1(frame));
    };
    auto pressAll = [this](const char *name) {
        for (int c : {2, 0, 1})
            QTest::mouseClick(button(name, c), Qt::LeftButton);
    };
    // Each zero takes its own channel's raw value; an invalid channel is captured as it stands.
    reply("000123 000400 -00001\r");
    pressAll("cmd4");
    QCOMPARE(calibration.TempZero, 123.0f);
    QCOMPARE(calibration.CalZero[0], 400.0f);
    QCOMPARE(calibration.CalZero[1], -1.0f);
    QCOMPARE(readings.BathTemp, 12.3f); // the reading already decoded stays
    // Later readings use the new zeros.
    reply("001123 005400 011999\r");
    QCOMPARE(readings.BathTemp, 100.0f);  // (1123 - 123) / 10
    QCOMPARE(readings.Pressure1, 500.0f); // (5400 - 400) × 1000 / 10000
    QCOMPARE(readings.Pressure2, 1200.0f);

    // A span capture is stored only: no reading uses it; the zeros stay.
    pressAll("cmd20");
    QCOMPARE(calibration.TempSpan, 1123.0f);
    QCOMPARE(calibration.CalSpan[0], 5400.0f);
    QCOMPARE(calibration.CalSpan[1], 11999.0f);
    QCOMPARE(calibration.TempZero, 123.0f);
    QCOMPARE(calibration.CalZero[0], 400.0f);
    reply("001123 005400 011999\r");
    QCOMPARE(readings.Pressure1, 500.0f);
    QCOMPARE(readings.BathTemp, 100.0f);
}

void TestCalibration::firstSpaceCapturesNothing()
{
    m_state->readings.RawPressure1 = 2000; // what a capture would take
    m_state->readings.RawTemp = 400;
    const QByteArray before = configText(*m_state);
    openWindow();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTRY_COMPARE(QApplication::focusWidget(), range(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(configText(*m_state), before);
    for (int c = 0; c < kCalibChannels; ++c)
        QCOMPARE(button("cmdCalib", c)->text(), QStringLiteral("Calibrate"));
    // Nor does it wipe the range the window closes with.
    m_window->close();
    QCOMPARE(configText(*m_state), before);
}

void TestCalibration::scanTickPollsAReadyPort_data()
{
    QTest::addColumn<bool>("portReady");
    QTest::newRow("ready") << true;
    QTest::newRow("not ready") << false;
}

void TestCalibration::scanTickPollsAReadyPort()
{
    QFETCH(bool, portReady);
    m_state->PortReady = portReady;
    Readings &readings = m_state->readings;
    readings.RxBuffer = QStringLiteral("partial");
    readings.Pressure1 = 1234.56f;
    readings.Pressure1Valid = true;
    readings.BathTemp = 25;
    readings.BathTempValid = true;
    openWindow();
    auto values = [this] {
        QStringList texts;
        for (int c = 0; c < kCalibChannels; ++c)
            texts << named<QLabel>(m_window.get(), "lblValue", c)->text();
        return texts;
    };
    // The values show at the first tick either way.
    QTRY_COMPARE(values(), QStringList({"1234.6", "---", "25.0"}));
    if (portReady) {
        QTRY_VERIFY(!m_port.sent.isEmpty());
        QCOMPARE(m_port.sent.first(), QStringLiteral("?Z\r"));
        QVERIFY(readings.RxBuffer.isEmpty());
    } else {
        QVERIFY(m_port.sent.isEmpty());
        QCOMPARE(readings.RxBuffer, QStringLiteral("partial"));
    }
}

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
