// What a record gives out: its leak figures, its CSV rows and its decay chart.
#include "recordingsurface.h"

#include "charts/picturearea.h"
#include "records/decaychart.h"
#include "records/leakfigures.h"
#include "records/recordcsv.h"
#include "records/recordstore.h"
#include "records/recordview.h"
#include "records/testrecord.h"
#include "support/records.h"

#include <QImage>
#include <QLocale>
#include <QTest>

#include <clocale>
#include <cmath>

namespace {

const QDateTime kStart = QDateTime::fromSecsSinceEpoch(1783843200); // 2026-07-12 10:00 +02:00

QRgb rgbOf(Colour colour)
{
    return qRgb(colour & 0xff, (colour >> 8) & 0xff, (colour >> 16) & 0xff);
}

constexpr Colour kBlue = RGB(0, 0, 255);
constexpr Colour kRed = RGB(255, 0, 0);

/// Rows (or, across, columns) of the image holding at least `least` pixels of the colour.
QList<int> rowsWith(const QImage &image, Colour colour, int least)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        int count = 0;
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == rgbOf(colour);
        if (count >= least)
            rows << y;
    }
    return rows;
}

bool columnHas(const QImage &image, int x, Colour colour)
{
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == rgbOf(colour))
            return true;
    return false;
}

} // namespace

class TestRecordOutputs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void figures_data();
    void figures();
    void csvField_data();
    void csvField();
    void csvRows_data();
    void csvRows();
    void csvTimes_data();
    void csvTimes();
    void decayChart_data();
    void decayChart();
    void denseTraceDrawnByColumns();
    void detailText();
    void reportPressures();
};

void TestRecordOutputs::initTestCase()
{
    QCOMPARE(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    QCOMPARE(isoTime(kStart), QStringLiteral("2026-07-12T10:00:00+02:00"));
}

void TestRecordOutputs::figures_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<double>("leakRef");
    QTest::addColumn<double>("mainRef"); // NaN: no main start
    QTest::addColumn<int>("mainStart");  // elapsed second of the main start
    // fall, rate, compensated fall of the leak test, then of the main test; "-": none
    QTest::addColumn<QString>("expected");

    const double none = qQNaN();
    QTest::newRow("steady leak fall")
        << "0:700:100:L 1:699.9:100:L 2:699.8:100:L 3:699.7:100:L 4:699.6:100:L" << 700.2 << none
        << 0 << "0.600 6.000 0.600 - - -";
    // Valid pressures at 0 s (699) and 2 s (698); both readings only at 0 s.
    QTest::newRow("readings that are not valid")
        << "0:699:100:L 1:-:100:L 2:698:-:L 3:-:-:L" << 700.0 << none << 0
        << "2.000 30.000 1.000 - - -";
    // 701 × (100 + 273.15) / (101 + 273.15) = 699.12642
    QTest::newRow("bath temperature compensation")
        << "0:700:100:L 60:701:101:L" << 700.0 << none << 0 << "-1.000 -1.000 0.874 - - -";
    // Main start at 10 s: the samples of 8 s (an earlier start) and 10 s are left out; the
    // main samples 689.5, 689, 688 at 11, 12, 13 s fall 0.75 KPa/s.
    QTest::newRow("main test from its last start, with its post-test phase")
        << "0:700:100:L 1:699.5:100:L 5:699:100:A 8:695:100:M 10:694:100:M 11:689.5:100:M "
           "12:689:100:P 13:688:100:P"
        << 700.0 << 690.0 << 10 << "0.500 30.000 0.500 2.000 45.000 2.000";
    QTest::newRow("one sample") << "0:699.5:100:L" << 700.0 << none << 0 << "0.500 - 0.500 - - -";
    QTest::newRow("no main start") << "0:699.5:100:M" << 700.0 << none << 0 << "- - - - - -";
}

void TestRecordOutputs::figures()
{
    QFETCH(QString, trace);
    QFETCH(double, leakRef);
    QFETCH(double, mainRef);
    QFETCH(int, mainStart);
    QFETCH(QString, expected);

    TestRecord record;
    record.start = kStart;
    record.leakRefPressure = float(leakRef);
    if (!std::isnan(mainRef)) {
        record.mainRefPressure = float(mainRef);
        record.mainStartTime = kStart.addSecs(mainStart + 1);
    }
    const LeakFigures f = leakFigures(record, traceOf(kStart, trace));
    QStringList figures;
    for (const std::optional<double> &figure :
         {f.leak.fall, f.leak.fallRate, f.leak.compensatedFall, f.main.fall, f.main.fallRate,
          f.main.compensatedFall})
        figures << (figure ? QString::number(*figure, 'f', 3) : QStringLiteral("-"));
    QCOMPARE(figures.join(u' '), expected);
}

void TestRecordOutputs::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("plain") << "Vessel 7" << QByteArray("Vessel 7");
    QTest::newRow("comma") << "Vessel 7, lot 12" << QByteArray("\"Vessel 7, lot 12\"");
    QTest::newRow("quotes") << "lot \"A\"" << QByteArray("\"lot \"\"A\"\"\"");
    QTest::newRow("line feed") << "two\nlines" << QByteArray("\"two\nlines\"");
    QTest::newRow("carriage return") << "cr\r" << QByteArray("\"cr\r\"");
    QTest::newRow("UTF-8") << "Jürgen Weiß" << QByteArray("J\xc3\xbcrgen Wei\xc3\x9f");
}

void TestRecordOutputs::csvField()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(::csvField(text), field);
}

void TestRecordOutputs::csvRows_data()
{
    QTest::addColumn<bool>("german");
    QTest::newRow("C locale") << false;
    QTest::newRow("German locale") << true;
}

void TestRecordOutputs::csvRows()
{
    QFETCH(bool, german);
    if (german) {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where it is installed
    }
    TestRecord record;
    record.id = 7;
    record.station = 1;
    record.start = kStart;
    const std::vector<TraceSample> trace =
        traceOf(kStart, "0:699.9:100.25:L 1:-:100.5:A 2:-0.25:-:M 3:1234567:0.0001:P");
    QByteArray text = csvHeaderLine();
    appendCsvRows(text, record, trace);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");

    QCOMPARE(text, QByteArray("record,station,start,elapsed_s,time,pressure_kpa,pressure_valid,"
                              "bath_temp_c,bath_temp_valid,phase\r\n"
                              "7,2,2026-07-12T10:00:00+02:00,0,2026-07-12T10:00:01+02:00,699.9,1,"
                              "100.25,1,leak\r\n"
                              "7,2,2026-07-12T10:00:00+02:00,1,2026-07-12T10:00:02+02:00,,0,"
                              "100.5,1,after\r\n"
                              "7,2,2026-07-12T10:00:00+02:00,2,2026-07-12T10:00:03+02:00,-0.25,1,"
                              ",0,main\r\n"
                              "7,2,2026-07-12T10:00:00+02:00,3,2026-07-12T10:00:04+02:00,1234567,"
                              "1,0.0001,1,post\r\n"));
}

void TestRecordOutputs::csvTimes_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    // Each sample carries its own offset: the clocks go back during a test.
    QTest::newRow("last second of summer time")
        << QDateTime::fromSecsSinceEpoch(1792889999) << "2026-10-25T02:59:59+02:00";
    QTest::newRow("first second of winter time")
        << QDateTime::fromSecsSinceEpoch(1792890000) << "2026-10-25T02:00:00+01:00";
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59))
                              << "2028-02-29T23:59:59+01:00";
    QTest::newRow("year end") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))
                              << "2026-12-31T23:59:59+01:00";
    QTest::newRow("negative offset")
        << QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::OffsetFromUTC, -12600)
        << "2026-01-01T00:00:00-03:30";
}

void TestRecordOutputs::csvTimes()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(isoTime(time), text);
    QCOMPARE(fromIsoTime(text), time);
    TestRecord record;
    record.start = kStart; // summer time
    TraceSample sample;
    sample.time = time;
    QByteArray row;
    appendCsvRows(row, record, std::vector<TraceSample>{sample});
    QCOMPARE(row.split(',').value(4), text.toLatin1());
}

void TestRecordOutputs::decayChart_data()
{
    QTest::addColumn<double>("fall");
    QTest::addColumn<double>("limit");
    QTest::newRow("7 KPa fall past a 5 KPa limit") << 7.0 << 5.0;
    QTest::newRow("2 KPa fall within a 5 KPa limit") << 2.0 << 5.0;
}

void TestRecordOutputs::decayChart()
{
    QFETCH(double, fall);
    QFETCH(double, limit);
    // A steady fall over a minute, at a sample a second: fewer samples than pixel columns.
    DecayCurve curve;
    for (int k = 0; k <= 60; ++k) {
        curve.seconds.push_back(float(k));
        curve.relative.push_back(float(-fall * k / 60));
    }
    curve.fallLimit = float(limit);

    PictureArea area(QSize(400, 300), RGB(255, 255, 255));
    const DecayChartGeometry g = drawDecayChart(area, curve);
    QVERIFY(!g.byColumns);
    QCOMPARE(g.top, 0.0);
    QVERIFY(std::abs(g.bottom + fall) < 1e-5);
    const QImage image = area.picture();

    // The curve fills the plot from its top edge to its bottom edge.
    const QList<int> curveRows = rowsWith(image, kBlue, 1);
    QVERIFY(!curveRows.isEmpty());
    QVERIFY2(std::abs(curveRows.first() - g.plot.top()) <= 1,
             qPrintable(QString::number(curveRows.first())));
    QVERIFY2(std::abs(curveRows.last() - g.plot.bottom()) <= 1,
             qPrintable(QString::number(curveRows.last())));

    const QList<int> limitRows = rowsWith(image, kRed, int(g.plot.width() / 2));
    RecordingSurface recording(QSizeF(400, 300));
    drawDecayChart(recording, curve);
    const QString limitText = recording.textList().filter(QStringLiteral("limit")).value(0);
    if (limit > fall) {
        QCOMPARE(limitRows, QList<int>());
        QCOMPARE(limitText, QStringLiteral("limit -5.00 KPa (below the chart)"));
    } else {
        QCOMPARE(limitRows.size(), 1);
        const double expected = g.plot.top() + limit / fall * g.plot.height();
        QVERIFY2(
            std::abs(limitRows[0] - expected) <= 1,
            qPrintable(QStringLiteral("limit at row %1, not %2").arg(limitRows[0]).arg(expected)));
        QCOMPARE(limitText, QStringLiteral("limit -5.00 KPa"));
    }
}

void TestRecordOutputs::denseTraceDrawnByColumns()
{
    // 100000 samples with a small wobble, one sample 7 KPa down near the middle and a gap of
    // lost readings from 70 % to 75 %.
    DecayCurve curve;
    curve.fallLimit = 5;
    const int n = 100000;
    for (int k = 0; k < n; ++k) {
        curve.seconds.push_back(float(k));
        float value = -0.5f * float(k) / n + 0.01f * float((k * 7919) % 100) / 100;
        if (k == 50123)
            value = -7;
        if (k >= 70000 && k < 75000)
            value = std::numeric_limits<float>::quiet_NaN();
        curve.relative.push_back(value);
    }

    RecordingSurface recording(QSizeF(400, 300));
    const DecayChartGeometry g = drawDecayChart(recording, curve);
    QVERIFY(g.byColumns);
    const qsizetype curveSegments = recording.segmentsIn(kBlue).size();
    QVERIFY2(curveSegments <= 2 * qsizetype(g.plot.width()) + 2,
             qPrintable(QStringLiteral("%1 segments").arg(curveSegments)));

    PictureArea area(QSize(400, 300), RGB(255, 255, 255));
    drawDecayChart(area, curve);
    const QImage image = area.picture();
    // The lone low sample reaches the bottom of the plot in its column.
    const int bottom = int(std::round(g.plot.bottom()));
    const int middle = int(g.plot.left() + g.plot.width() / 2);
    bool spikeShown = false;
    for (int x = middle - 2; x <= middle + 2; ++x)
        for (int y = bottom - 1; y <= bottom + 1; ++y)
            spikeShown = spikeShown || image.pixel(x, y) == rgbOf(kBlue);
    QVERIFY2(spikeShown, "the lowest sample is not drawn");
    // Nothing is drawn across the gap.
    for (int x = int(g.plot.left() + 0.70 * g.plot.width()) + 2;
         x < int(g.plot.left() + 0.75 * g.plot.width()) - 1; ++x)
        QVERIFY2(!columnHas(image, x, kBlue),
                 qPrintable(QStringLiteral("curve in column %1").arg(x)));
    QVERIFY(columnHas(image, int(g.plot.left() + 0.69 * g.plot.width()), kBlue));
    QVERIFY(columnHas(image, int(g.plot.left() + 0.76 * g.plot.width()), kBlue));
}

void TestRecordOutputs::detailText()
{
    TestRecord done;
    done.id = 42;
    done.start = kStart;
    done.end = kStart.addSecs(1205);
    done.outcome = Outcome::Completed;
    done.parameters = {600, 7, 600, 14, 900, 100};
    done.calRange = 1000;
    done.calZero = 12.5f;
    done.calSpan = 10000;
    done.tempSpan = 1000;
    done.leakRefPressure = 700;
    done.mainRefPressure = 699;
    done.leakPassTime = kStart.addSecs(3);
    done.mainStartTime = kStart.addSecs(3);
    done.postTestTime = kStart.addSecs(6);
    done.testName = QStringLiteral("Vessel 7, east");
    done.operatorName = QStringLiteral("Kim");
    const std::vector<TraceSample> trace =
        traceOf(kStart, "0:700:105:L 1:699.5:105:L 2:699:105:L 3:699:105:M 4:698:105:M "
                        "5:697:105:P");
    const std::vector<RecordedLinkEvent> events{
        {kStart.addSecs(4), LinkEventKind::PortLost, QStringLiteral("The device was removed.")},
        {kStart.addSecs(5), LinkEventKind::Reconnected, {}}};
    const QString conditions = QStringLiteral(
        "Parameters: start pressure limit 600.0 KPa, leak fall limit 7.0 KPa, leak test 600 s, "
        "bath fall limit 14.0 KPa, main test 900 s, minimum bath temperature 100.0 °C\n"
        "Calibration: range 1000, zero 12.5, span 10000; temperature zero 0, span 1000\n");
    QCOMPARE(recordDetailText(done, leakFigures(done, trace), events),
             QStringLiteral(R"(Test 1, record 42: completed
Start: 12-07-2026 10:00:00
End: 12-07-2026 10:20:05 (00:20:05)
Leak test passed: 12-07-2026 10:00:03
Main test started: 12-07-2026 10:00:03
Post-test started: 12-07-2026 10:00:06
Test name: Vessel 7, east
Operator: Kim
)") + conditions +
                 QStringLiteral(R"(Reference pressures: leak 700.0 KPa, main 699.0 KPa

Leak test: fall 1.00 KPa, fall rate 30.000 KPa/min, compensated fall 1.00 KPa, 3 samples
Main test: fall 2.00 KPa, fall rate 60.000 KPa/min, compensated fall 2.00 KPa, 3 samples

Link events:
12-07-2026 10:00:04 port lost: The device was removed.
12-07-2026 10:00:05 reconnected)"));

    // A test still running, on station 2, before its main start.
    TestRecord open = done;
    open.id = 7;
    open.station = 1;
    open.end = open.leakPassTime = open.mainStartTime = open.postTestTime = std::nullopt;
    open.outcome.reset();
    open.mainRefPressure.reset();
    open.testName.clear();
    open.operatorName.clear();
    QCOMPARE(recordDetailText(open, leakFigures(open, {}), {}), QStringLiteral(
                                                                    R"(Test 2, record 7: running
Start: 12-07-2026 10:00:00
End: running
Test name: none
Operator: none
)") + conditions + QStringLiteral(R"(Reference pressures: leak 700.0 KPa, main none

Leak test: fall none, fall rate none, compensated fall none, 0 samples
Main test: fall none, fall rate none, compensated fall none, 0 samples

Link events: none)"));
}

void TestRecordOutputs::reportPressures()
{
    // As the export file keeps them: a reading that was not valid is 0; the last is the newest.
    const std::vector<float> pressures =
        exportedPressures(traceOf(kStart, "0:700:105:L 1:-:105:L 2:699.5:-:L"));
    QCOMPARE(pressures, (std::vector<float>{700, 0, 699.5f}));
    QCOMPARE(chartSamplesOf(pressures).n, 2);
    QCOMPARE(chartSamplesOf(std::vector<float>{}).n, 0);
}

QTEST_MAIN(TestRecordOutputs)
#include "tst_recordoutputs.moc"
