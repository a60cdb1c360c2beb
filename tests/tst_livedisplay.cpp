#include "app/sharedstate.h"
#include "station/livedisplay.h"

#include <QTest>

class TestLiveDisplay : public QObject {
    Q_OBJECT

private slots:
    void init();
    void readingTexts_data();
    void readingTexts();
    void invalidReadingsShowDashes();
    void statusLineShowsPortDateAndTime();
    void samplesOnlyRunningStations();
    void invalidReadingIsRecordedAsZero();
    void sampleCountFollowsTheNewTest();
    void recordingStopsWhenTheStoreIsFull();

private:
    std::unique_ptr<SharedState> m_state;
};

void TestLiveDisplay::init()
{
    m_state = std::make_unique<SharedState>();
    m_state->clock =
        std::make_unique<ManualClock>(QDateTime(QDate(2026, 12, 7), QTime(22, 48, 33)));
}

void TestLiveDisplay::readingTexts_data()
{
    QTest::addColumn<float>("temp");
    QTest::addColumn<float>("p1");
    QTest::addColumn<float>("p2");
    QTest::addColumn<QString>("tempText");
    QTest::addColumn<QString>("p1Text");
    QTest::addColumn<QString>("p2Text");
    QTest::newRow("whole values") << 25.0f << 500.0f << 0.0f << "25.0°C" << "500.0KPa" << "0.0KPa";
    QTest::newRow("rounding") << 104.96f << 1234.56f << 699.94f << "105.0°C" << "1234.6KPa"
                              << "699.9KPa";
    QTest::newRow("negative") << -3.25f << -12.5f << -0.04f << "-3.3°C" << "-12.5KPa" << "0.0KPa";
}

void TestLiveDisplay::readingTexts()
{
    QFETCH(float, temp);
    QFETCH(float, p1);
    QFETCH(float, p2);
    m_state->readings.BathTemp = temp;
    m_state->readings.Pressure1 = p1;
    m_state->readings.Pressure2 = p2;
    m_state->readings.BathTempValid = m_state->readings.Pressure1Valid = m_state->readings.Pressure2Valid = true;
    const LiveTexts texts = liveTexts(*m_state);
    QTEST(texts.bathTemp, "tempText");
    QTEST(texts.pressure[0], "p1Text");
    QTEST(texts.pressure[1], "p2Text");
}

void TestLiveDisplay::invalidReadingsShowDashes()
{
    m_state->readings.BathTemp = 25;
    m_state->readings.Pressure1 = 500;
    m_state->readings.Pressure1Valid = true;
    const LiveTexts texts = liveTexts(*m_state);
    QCOMPARE(texts.bathTemp, QStringLiteral("---"));
    QCOMPARE(texts.pressure[0], QStringLiteral("500.0KPa"));
    QCOMPARE(texts.pressure[1], QStringLiteral("---"));
}

void TestLiveDisplay::statusLineShowsPortDateAndTime()
{
    m_state->CommPort = 3;
    QCOMPARE(liveTexts(*m_state).statusLine, QStringLiteral("COM 3 | 07-12-2026 | 22:48:33"));
    m_state->CommPort = 0;
    static_cast<ManualClock &>(*m_state->clock).set(QDateTime(QDate(2027, 1, 2), QTime(3, 4, 5)));
    QCOMPARE(liveTexts(*m_state).statusLine, QStringLiteral("COM 0 | 02-01-2027 | 03:04:05"));
}

void TestLiveDisplay::samplesOnlyRunningStations()
{
    m_state->stations[1].TestRunning = true;
    m_state->readings.Pressure1 = 111;
    m_state->readings.Pressure2 = 222;
    m_state->readings.Pressure1Valid = m_state->readings.Pressure2Valid = true;
    for (int tick = 0; tick < 3; ++tick) {
        recordSamples(*m_state);
        m_state->readings.Pressure2 += 1;
    }
    QCOMPARE(m_state->stations[1].SampleIndex, 3);
    QCOMPARE(m_state->stations[1].SampleCount, int16_t(2));
    QCOMPARE(m_state->stations[1].Samples[0], 222.0f);
    QCOMPARE(m_state->stations[1].Samples[2], 224.0f);
    QCOMPARE(m_state->stations[0].SampleIndex, 0);
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(0));
    QCOMPARE(m_state->stations[0].Samples[0], 0.0f);
}

void TestLiveDisplay::invalidReadingIsRecordedAsZero()
{
    m_state->stations[0].TestRunning = true;
    m_state->readings.Pressure1 = 0; // the decoder leaves 0 behind an invalid reading
    m_state->readings.Pressure1Valid = false;
    m_state->stations[0].Samples[0] = 55;
    recordSamples(*m_state);
    QCOMPARE(m_state->stations[0].Samples[0], 0.0f);
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(0));
}

void TestLiveDisplay::sampleCountFollowsTheNewTest()
{
    // A new test restarts SampleIndex; SampleCount still holds the old test's last index
    // until the first new sample.
    m_state->stations[0].SampleCount = 1199;
    m_state->stations[0].SampleIndex = 0;
    m_state->stations[0].TestRunning = true;
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(1199));
    recordSamples(*m_state);
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(0));
}

void TestLiveDisplay::recordingStopsWhenTheStoreIsFull()
{
    m_state->stations[0].TestRunning = true;
    m_state->readings.Pressure1 = 700;
    m_state->stations[0].SampleIndex = kMaxRecordedSamples - 1;
    recordSamples(*m_state);
    QCOMPARE(m_state->stations[0].SampleIndex, kMaxRecordedSamples);
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(32767));
    QCOMPARE(m_state->stations[0].Samples[32767], 700.0f);
    m_state->readings.Pressure1 = 1;
    recordSamples(*m_state);
    QCOMPARE(m_state->stations[0].SampleIndex, kMaxRecordedSamples);
    QCOMPARE(m_state->stations[0].SampleCount, int16_t(32767));
    QCOMPARE(m_state->stations[0].Samples[32768], 0.0f);
    QVERIFY(m_state->stations[0].TestRunning);
}

QTEST_APPLESS_MAIN(TestLiveDisplay)
#include "tst_livedisplay.moc"
