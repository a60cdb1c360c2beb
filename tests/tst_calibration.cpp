#include "app/sharedstate.h"
#include "calib/calibrationwindow.h"
#include "device/commoutput.h"
#include "device/devicelink.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"

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

/// A reply frame: three six-character fields separated by blanks.
QString frame(int temp, int p1, int p2)
{
    auto field = [](int v) { return QStringLiteral("%1").arg(v, 6, 10, QLatin1Char('0')); };
    return field(temp) + u' ' + field(p1) + u' ' + field(p2) + u'\r';
}
} // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensInItsDesignState();
    void calibrateLocksTheOtherChannels_data();
    void calibrateLocksTheOtherChannels();
    void closingTakesBothRanges_data();
    void closingTakesBothRanges();
    void capturesCopyRawValues();
    void capturesChangeOnlyLaterReadings();
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
    const QStringList frames = {"Calibrate Pressure 1", "Calibrate Pressure 2",
                                "Calibrate Temperature"};
    const QStringList zero = {"4mA", "4mA", "0 deg."};
    const QStringList span = {"20mA", "20mA", "100 deg."};
    for (int c = 0; c < kCalibChannels; ++c) {
        QCOMPARE(frameOf(c)->title(), frames[c]);
        QVERIFY(frameOf(c)->isEnabled());
        QCOMPARE(button("cmd4", c)->text(), zero[c]);
        QCOMPARE(button("cmd20", c)->text(), span[c]);
        QCOMPARE(button("cmdCalib", c)->text(), QStringLiteral("Calibrate"));
        QCOMPARE(named<QLabel>(m_window.get(), "lblValue", c)->text(), QStringLiteral("0.0"));
    }
    QCOMPARE(named<QLabel>(m_window.get(), "Label1(1)")->text(), QStringLiteral("Range:"));
    auto *scan = named<QTimer>(m_window.get(), "tmrScan");
    QVERIFY(scan->isActive());
    QCOMPARE(scan->interval(), 100);
}

void TestCalibration::calibrateLocksTheOtherChannels_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<float>("range0"); // the ranges once Calibrate is pressed
    QTest::addColumn<float>("range1");
    QTest::newRow("pressure 1 takes its range") << 0 << 1600.0f << 1000.0f;
    QTest::newRow("pressure 2 takes its range") << 1 << 1000.0f << 1700.0f;
    QTest::newRow("temperature takes no range") << 2 << 1000.0f << 1000.0f;
}

void TestCalibration::calibrateLocksTheOtherChannels()
{
    QFETCH(int, channel);
    QFETCH(float, range0);
    QFETCH(float, range1);
    openWindow();
    range(0)->setText(QStringLiteral("1600"));
    range(1)->setText(QStringLiteral("1700"));
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
    range(1)->setText(QStringLiteral("1900"));
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(toggle->text(), QStringLiteral("Calibrate"));
    QCOMPARE(m_state->calibration.CalRange[0], range0);
    QCOMPARE(m_state->calibration.CalRange[1], range1);
    for (int c = 0; c < kCalibChannels; ++c) {
        QVERIFY(frameOf(c)->isEnabled());
        QVERIFY(button("cmdCalib", c)->isEnabled());
    }
}

void TestCalibration::closingTakesBothRanges_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("taken");
    QTest::newRow("fraction and unit") << " 1250.5 KPa" << 1250.5f;
    QTest::newRow("beyond a float") << "1e39" << std::numeric_limits<float>::max();
}

void TestCalibration::closingTakesBothRanges()
{
    QFETCH(QString, typed);
    QFETCH(float, taken);
    openWindow();
    QTest::mouseClick(button("cmdCalib", 0), Qt::LeftButton); // closing in the "Stop" state too
    range(0)->setText(typed);
    range(1)->setText(QStringLiteral("800"));
    m_window->close();
    QCOMPARE(m_state->calibration.CalRange[0], taken);
    QCOMPARE(m_state->calibration.CalRange[1], 800.0f);
    QVERIFY(!named<QTimer>(m_window.get(), "tmrScan")->isActive());
}

void TestCalibration::capturesCopyRawValues()
{
    openWindow();
    Readings &readings = m_state->readings;
    CalibrationConstants &calibration = m_state->calibration;
    readings.RawTemp = 123;
    readings.RawPressure1 = 2000;
    readings.RawPressure2 = -1; // an invalid channel is captured as it stands
    for (int c : {2, 0, 1})
        QTest::mouseClick(button("cmd4", c), Qt::LeftButton);
    QCOMPARE(calibration.TempZero, 123.0f);
    QCOMPARE(calibration.CalZero[0], 2000.0f);
    QCOMPARE(calibration.CalZero[1], -1.0f);
    readings.RawTemp = 1123;
    readings.RawPressure1 = 12000;
    readings.RawPressure2 = 11000;
    for (int c : {2, 0, 1})
        QTest::mouseClick(button("cmd20", c), Qt::LeftButton);
    QCOMPARE(calibration.TempSpan, 1123.0f);
    QCOMPARE(calibration.CalSpan[0], 12000.0f);
    QCOMPARE(calibration.CalSpan[1], 11000.0f);
    QCOMPARE(calibration.TempZero, 123.0f); // the zeros stay
    QCOMPARE(calibration.CalZero[0], 2000.0f);
}

void TestCalibration::capturesChangeOnlyLaterReadings()
{
    openWindow();
    Readings &readings = m_state->readings;
    auto reply = [&](int temp, int p1) {
        pollStep(readings, true, m_port, kPollCommand);
        receiveText(readings, m_state->calibration, frame(temp, p1, 0));
    };
    reply(123, 400);
    QTest::mouseClick(button("cmd4", 2), Qt::LeftButton);
    QTest::mouseClick(button("cmd4", 0), Qt::LeftButton);
    QCOMPARE(readings.BathTemp, 12.3f); // the reading already decoded stays
    reply(1123, 5400);
    QCOMPARE(readings.BathTemp, 100.0f);  // (1123 - 123) / 10
    QCOMPARE(readings.Pressure1, 500.0f); // (5400 - 400) × 1000 / 10000

    // A span capture is stored only: no reading uses it.
    QTest::mouseClick(button("cmd20", 0), Qt::LeftButton);
    QTest::mouseClick(button("cmd20", 2), Qt::LeftButton);
    QCOMPARE(m_state->calibration.CalSpan[0], 5400.0f);
    reply(1123, 5400);
    QCOMPARE(readings.Pressure1, 500.0f);
    QCOMPARE(readings.BathTemp, 100.0f);
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
