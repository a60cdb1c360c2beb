#include "app/sharedstate.h"
#include "station/livedisplay.h"

#include <QTest>

#include <cmath>

class TestLiveDisplay : public QObject {
    Q_OBJECT

private slots:
    void readingTexts_data();
    void readingTexts();
    void statusLineShowsPortDateAndTime();
    void samplesOnlyRunningStations();
    void recordingStopsWhenTheStoreIsFull();
};

void TestLiveDisplay::readingTexts_data()
{
    const float lost = std::nanf("");
    QTest::addColumn<float>("temp"); // NaN: no valid reading
    QTest::addColumn<float>("p1");
    QTest::addColumn<float>("p2");
    QTest::addColumn<QString>("tempText");
    QTest::addColumn<QString>("p1Text");
    QTest::addColumn<QString>("p2Text");
    QTest::newRow("readings") << 104.96f << 1234.56f << -0.04f << "105.0°C"
                              << "1234.6KPa"
                              << "-0.0KPa";
    QTest::newRow("negative") << -3.25f << -12.5f << 500.0f << "-3.3°C"
                              << "-12.5KPa"
                              << "500.0KPa";
    QTest::newRow("lost readings") << lost << 500.0f << lost << "---"
                                   << "500.0KPa"
                                   << "---";
}

void TestLiveDisplay::readingTexts()
{
    QFETCH(float, temp);
    QFETCH(float, p1);
    QFETCH(float, p2);
    Readings readings;
    // An invalid reading stands as 0, as the device link leaves it.
    auto set = [](float &value, bool &valid, float reading) {
        valid = !std::isnan(reading);
        value = valid ? reading : 0.0f;
    };
    set(readings.BathTemp, readings.BathTempValid, temp);
    set(readings.Pressure1, readings.Pressure1Valid, p1);
    set(readings.Pressure2, readings.Pressure2Valid, p2);
    const LiveTexts texts = liveTexts(readings, 1, QDateTime::currentDateTime());
    QTEST(texts.bathTemp, "tempText");
    QTEST(texts.pressure[0], "p1Text");
    QTEST(texts.pressure[1], "p2Text");
}

void TestLiveDisplay::statusLineShowsPortDateAndTime()
{
    const QDateTime now(QDate(2027, 1, 2), QTime(3, 4, 5));
    QCOMPARE(liveTexts(Readings{}, 3, now).statusLine,
             QStringLiteral("COM 3 | 02-01-2027 | 03:04:05"));
    // A lost port that is being reopened shows only here.
    QCOMPARE(liveTexts(Readings{}, 3, now, true).statusLine,
             QStringLiteral("COM 3 (reconnecting) | 02-01-2027 | 03:04:05"));
}

void TestLiveDisplay::samplesOnlyRunningStations()
{
    SharedState state;
    state.stations[1].TestRunning = true;
    state.readings.Pressure1 = 111;
    state.readings.Pressure2 = 222;
    state.readings.Pressure1Valid = state.readings.Pressure2Valid = true;
    for (int tick = 0; tick < 3; ++tick) {
        state.readings.Pressure2Valid = tick != 1; // the second reading lost
        recordSamples(state);
        state.readings.Pressure2 += 1;
    }
    QCOMPARE(state.stations[1].SampleIndex, 3);
    QCOMPARE(state.stations[1].SampleCount, int16_t(2));
    QCOMPARE(state.stations[1].Samples[0], 222.0f);
    QCOMPARE(state.stations[1].Samples[2], 224.0f);
    const auto &valid = state.stations[1].sampleValid;
    QCOMPARE(std::vector<uint8_t>(valid.begin(), valid.begin() + 3),
             (std::vector<uint8_t>{1, 0, 1}));
    QCOMPARE(state.stations[0].SampleIndex, 0);
    QCOMPARE(state.stations[0].SampleCount, int16_t(0));
    QCOMPARE(state.stations[0].Samples[0], 0.0f);
}

void TestLiveDisplay::recordingStopsWhenTheStoreIsFull()
{
    StationRecord record;
    record.TestRunning = true;
    record.SampleIndex = kMaxRecordedSamples - 1;
    QVERIFY(recordSample(record, Reading{700, true}));
    QCOMPARE(record.SampleIndex, kMaxRecordedSamples);
    QCOMPARE(record.SampleCount, int16_t(32767));
    QCOMPARE(record.Samples[32767], 700.0f);

    QVERIFY(!recordSample(record, Reading{1, true}));
    QCOMPARE(record.SampleIndex, kMaxRecordedSamples);
    QCOMPARE(record.SampleCount, int16_t(32767));
    QCOMPARE(record.Samples[32768], 0.0f);
    QVERIFY(record.TestRunning); // the test goes on
}

QTEST_APPLESS_MAIN(TestLiveDisplay)
#include "tst_livedisplay.moc"
