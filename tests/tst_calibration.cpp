#include "app/sharedstate.h"
#include "calib/calibrationwindow.h"
#include "device/commoutput.h"
#include "device/devicelink.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

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
    void opensInItsDesignState();
    void toggleLocksTheOtherChannels();
    void temperatureToggleReadsNoRange();
    void closingTakesBothRanges_data();
    void closingTakesBothRanges();
    void capturesCopyRawValues();
    void spanCaptureLeavesReadingsAlone();
    void zeroCaptureAppliesToTheNextReply();
    void scanTickPollsAndShowsLiveValues();
    void noPollWhileThePortIsNotReady();

private:
    std::unique_ptr<SharedState> m_state;
    RecordingOutput m_port;
};

void TestCalibration::init()
{
    m_state = std::make_unique<SharedState>();
    m_state->calibration.CalRange = {1000, 1000};
    m_state->calibration.TempSpan = 100;
    m_state->calibration.CalSpan = {1000, 1000};
    m_port.sent.clear();
}

void TestCalibration::opensInItsDesignState()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    QCOMPARE(window.windowTitle(), QStringLiteral("Calibration"));
    QCOMPARE(window.txtRange[0]->text(), QStringLiteral("1000"));
    QCOMPARE(window.txtRange[1]->text(), QStringLiteral("1000"));
    const QStringList frames = {QStringLiteral("Calibrate Pressure 1"),
                                QStringLiteral("Calibrate Pressure 2"),
                                QStringLiteral("Calibrate Temperature")};
    for (int i = 0; i < kCalibChannels; ++i) {
        QCOMPARE(window.Frame[i]->title(), frames[i]);
        QCOMPARE(window.cmdCalib[i]->text(), QStringLiteral("Calibrate"));
        QVERIFY(window.Frame[i]->isEnabled());
        QCOMPARE(window.lblValue[i]->text(), QStringLiteral("0.0"));
    }
    QCOMPARE(window.cmd4[0]->text(), QStringLiteral("4mA"));
    QCOMPARE(window.cmd20[1]->text(), QStringLiteral("20mA"));
    QCOMPARE(window.cmd4[2]->text(), QStringLiteral("0 deg."));
    QCOMPARE(window.cmd20[2]->text(), QStringLiteral("100 deg."));
    QCOMPARE(window.Label1[1]->text(), QStringLiteral("Range:"));
    QVERIFY(window.tmrScan->isActive());
    QCOMPARE(window.tmrScan->interval(), 100);
}

void TestCalibration::toggleLocksTheOtherChannels()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    window.txtRange[1]->setText(QStringLiteral("1600"));
    QTest::mouseClick(window.cmdCalib[1], Qt::LeftButton);
    QCOMPARE(window.cmdCalib[1]->text(), QStringLiteral("Stop"));
    QVERIFY(!window.cmdCalib[0]->isEnabled());
    QVERIFY(!window.cmdCalib[2]->isEnabled());
    QVERIFY(!window.Frame[0]->isEnabled());
    QVERIFY(!window.Frame[2]->isEnabled());
    QVERIFY(!window.cmd4[0]->isEnabled()); // a disabled frame disables what it holds
    QVERIFY(window.Frame[1]->isEnabled());
    QVERIFY(window.cmd4[1]->isEnabled());
    QCOMPARE(m_state->calibration.CalRange[1], 1600.0f);
    QCOMPARE(m_state->calibration.CalRange[0], 1000.0f);

    // The range may be edited again, but only the next Calibrate press or closing takes it.
    window.txtRange[1]->setText(QStringLiteral("1700"));
    QTest::mouseClick(window.cmdCalib[1], Qt::LeftButton);
    QCOMPARE(window.cmdCalib[1]->text(), QStringLiteral("Calibrate"));
    QCOMPARE(m_state->calibration.CalRange[1], 1600.0f);
    for (int i = 0; i < kCalibChannels; ++i) {
        QVERIFY(window.cmdCalib[i]->isEnabled());
        QVERIFY(window.Frame[i]->isEnabled());
    }
}

void TestCalibration::temperatureToggleReadsNoRange()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    window.txtRange[0]->setText(QStringLiteral("5"));
    window.txtRange[1]->setText(QStringLiteral("6"));
    QTest::mouseClick(window.cmdCalib[2], Qt::LeftButton);
    QCOMPARE(window.cmdCalib[2]->text(), QStringLiteral("Stop"));
    QVERIFY(!window.Frame[0]->isEnabled());
    QVERIFY(!window.Frame[1]->isEnabled());
    QCOMPARE(m_state->calibration.CalRange[0], 1000.0f);
    QCOMPARE(m_state->calibration.CalRange[1], 1000.0f);
}

void TestCalibration::closingTakesBothRanges_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<float>("range");
    QTest::newRow("comma stops the number") << "1,500" << 1.0f;
    QTest::newRow("fraction") << " 1250.5 KPa" << 1250.5f;
    QTest::newRow("no number") << "abc" << 0.0f;
    QTest::newRow("beyond a float") << "1e39" << std::numeric_limits<float>::max();
}

void TestCalibration::closingTakesBothRanges()
{
    QFETCH(QString, typed);
    QFETCH(float, range);
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    QTest::mouseClick(window.cmdCalib[0], Qt::LeftButton); // closing in the "Stop" state too
    window.txtRange[0]->setText(typed);
    window.txtRange[1]->setText(QStringLiteral("800"));
    window.close();
    QCOMPARE(m_state->calibration.CalRange[0], range);
    QCOMPARE(m_state->calibration.CalRange[1], 800.0f);
    QVERIFY(!window.tmrScan->isActive());
}

void TestCalibration::capturesCopyRawValues()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    m_state->readings.RawTemp = 123;
    m_state->readings.RawPressure1 = 2000;
    m_state->readings.RawPressure2 = -1; // an invalid channel is captured as it stands
    QTest::mouseClick(window.cmd4[2], Qt::LeftButton);
    QTest::mouseClick(window.cmd4[0], Qt::LeftButton);
    QTest::mouseClick(window.cmd4[1], Qt::LeftButton);
    QCOMPARE(m_state->calibration.TempZero, 123.0f);
    QCOMPARE(m_state->calibration.CalZero[0], 2000.0f);
    QCOMPARE(m_state->calibration.CalZero[1], -1.0f);
    m_state->readings.RawTemp = 1123;
    m_state->readings.RawPressure1 = 12000;
    m_state->readings.RawPressure2 = 11000;
    QTest::mouseClick(window.cmd20[2], Qt::LeftButton);
    QTest::mouseClick(window.cmd20[0], Qt::LeftButton);
    QTest::mouseClick(window.cmd20[1], Qt::LeftButton);
    QCOMPARE(m_state->calibration.TempSpan, 1123.0f);
    QCOMPARE(m_state->calibration.CalSpan[0], 12000.0f);
    QCOMPARE(m_state->calibration.CalSpan[1], 11000.0f);
}

void TestCalibration::spanCaptureLeavesReadingsAlone()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    m_state->PortReady = true;
    pollStep(*m_state, m_port, kPollCommand);
    receiveText(*m_state, frame(250, 5000, 6000));
    QCOMPARE(m_state->readings.Pressure1, 500.0f);
    QTest::mouseClick(window.cmd20[0], Qt::LeftButton);
    QTest::mouseClick(window.cmd20[2], Qt::LeftButton);
    QCOMPARE(m_state->calibration.CalSpan[0], 5000.0f);
    pollStep(*m_state, m_port, kPollCommand);
    receiveText(*m_state, frame(250, 5000, 6000));
    QCOMPARE(m_state->readings.Pressure1, 500.0f);
    QCOMPARE(m_state->readings.BathTemp, 25.0f);
}

void TestCalibration::zeroCaptureAppliesToTheNextReply()
{
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    m_state->PortReady = true;
    pollStep(*m_state, m_port, kPollCommand);
    receiveText(*m_state, frame(123, 400, 0));
    QTest::mouseClick(window.cmd4[2], Qt::LeftButton);
    QTest::mouseClick(window.cmd4[0], Qt::LeftButton);
    QCOMPARE(m_state->readings.BathTemp, 12.3f); // the reading already decoded stays
    pollStep(*m_state, m_port, kPollCommand);
    receiveText(*m_state, frame(1123, 5400, 0));
    QCOMPARE(m_state->readings.BathTemp, 100.0f);
    QCOMPARE(m_state->readings.Pressure1, 500.0f);
}

void TestCalibration::scanTickPollsAndShowsLiveValues()
{
    m_state->PortReady = true;
    m_state->readings.RxBuffer = QStringLiteral("partial");
    m_state->readings.Pressure1 = 1234.56f;
    m_state->readings.Pressure1Valid = true;
    m_state->readings.BathTemp = 25;
    m_state->readings.BathTempValid = true;
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    QTRY_VERIFY(!m_port.sent.isEmpty());
    QCOMPARE(m_port.sent.first(), QStringLiteral("?Z\r"));
    QVERIFY(m_state->readings.RxBuffer.isEmpty());
    QTRY_COMPARE(window.lblValue[0]->text(), QStringLiteral("1234.6"));
    QCOMPARE(window.lblValue[1]->text(), QStringLiteral("---"));
    QCOMPARE(window.lblValue[2]->text(), QStringLiteral("25.0"));
}

void TestCalibration::noPollWhileThePortIsNotReady()
{
    m_state->readings.RxBuffer = QStringLiteral("kept");
    CalibrationWindow window(*m_state, m_port, nullptr);
    window.show();
    QTRY_COMPARE(window.lblValue[0]->text(), QStringLiteral("---"));
    QVERIFY(m_port.sent.isEmpty());
    QCOMPARE(m_state->readings.RxBuffer, QStringLiteral("kept"));
}

QTEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
