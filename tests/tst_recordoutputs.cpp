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
    void decayChartGapsAndAbsentPhase();
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
    QTest::addColumn<double>("mainRef");   // NaN: no main start
    QTest::addColumn<int>("mainStart");    // elapsed second of the main start
    QTest::addColumn<QString>("decision"); // "tenths from the start:pressure", a leak failure
    // For the leak test, the main test and the post-test phase: fall, seconds from the
    // reference, end-to-end rate, least-squares rate, compensated fall ("-" for none), or
    // "none" for a phase that did not run. A sample of elapsed second k is taken k + 1 s
    // after the start.
    QTest::addColumn<QString>("expected");

    const double none = qQNaN();
    // 0.6 KPa in 5 s end to end is 7.2 KPa/min; the line through 0.1 KPa a second is 6.
    QTest::newRow("steady leak fall")
        << "0:700:100:L 1:699.9:100:L 2:699.8:100:L 3:699.7:100:L 4:699.6:100:L" << 700.2 << none
        << 0 << ""
        << "0.600 5.0 7.200 6.000 0.600 | none | none";
    // Valid pressures at 1 s (699) and 3 s (698); both readings only at 1 s.
    QTest::newRow("readings that are not valid")
        << "0:699:100:L 1:-:100:L 2:698:-:L 3:-:-:L" << 700.0 << none << 0 << ""
        << "2.000 3.0 40.000 30.000 1.000 | none | none";
    // 701 × (100 + 273.15) / (101 + 273.15) = 699.12642
    QTest::newRow("bath temperature compensation")
        << "0:700:100:L 60:701:101:L" << 700.0 << none << 0 << ""
        << "-1.000 61.0 -0.984 -1.000 0.874 | none | none";
    // Main start at 10 s (11 s after the start): the samples of 8 s (an earlier start) and
    // 10 s are left out; the main test has 689.5 at 1 s, the post-test 689 and 688 at 2 and
    // 3 s from the main start, both against the main reference.
    QTest::newRow("main test and post-test phase, each on its own")
        << "0:700:100:L 1:699.5:100:L 5:699:100:A 8:695:100:M 10:694:100:M 11:689.5:100:M "
           "12:689:100:P 13:688:100:P"
        << 700.0 << 690.0 << 10 << ""
        << "0.500 2.0 15.000 30.000 0.500 | 0.500 1.0 30.000 - 0.500 | "
           "2.000 3.0 40.000 60.000 2.000";
    // Failed at 2.5 s at 692.75 KPa: 7.25 KPa in 2.5 s is 174 KPa/min; the line through
    // (1, 700), (2, 699.5), (2.5, 692.75) falls 4.21 KPa a second.
    QTest::newRow("deciding reading between two samples")
        << "0:700:100:L 1:699.5:100:L" << 700.0 << none << 0 << "25:692.75"
        << "7.250 2.5 174.000 252.857 0.500 | none | none";
    QTest::newRow("one sample") << "0:699.5:100:L" << 700.0 << none << 0 << ""
                                << "0.500 1.0 30.000 - 0.500 | none | none";
    QTest::newRow("no main start") << "0:699.5:100:M" << 700.0 << none << 0 << ""
                                   << "- - - - - | none | none";
}

void TestRecordOutputs::figures()
{
    QFETCH(QString, trace);
    QFETCH(double, leakRef);
    QFETCH(double, mainRef);
    QFETCH(int, mainStart);
    QFETCH(QString, decision);
    QFETCH(QString, expected);

    TestRecord record;
    record.start = kStart;
    record.leakRefPressure = float(leakRef);
    if (!std::isnan(mainRef)) {
        record.mainRefPressure = float(mainRef);
        record.mainStartTime = kStart.addSecs(mainStart + 1);
    }
    std::vector<Decision> decisions;
    if (!decision.isEmpty()) {
        const QStringList parts = decision.split(u':');
        decisions.push_back({PhaseChange::LeakFailed, kStart.addMSecs(parts[0].toInt() * 100),
                             parts[1].toFloat(), record.leakRefPressure, 7});
    }
    const LeakFigures f = leakFigures(record, traceOf(kStart, trace), decisions);
    QStringList phases;
    for (const PhaseFigures *phase : {&f.leak, &f.main, &f.post}) {
        if (!phase->reference) {
            phases << QStringLiteral("none");
            continue;
        }
        const auto text = [](const std::optional<double> &value, int decimals) {
            return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
        };
        phases << QStringList{text(phase->fall, 3), text(phase->seconds, 1),
                              text(phase->endToEndRate, 3), text(phase->slopeRate, 3),
                              text(phase->compensatedFall, 3)}
                      .join(u' ');
    }
    QCOMPARE(phases.join(QStringLiteral(" | ")), expected);
    QCOMPARE(f.leak.decided, !decision.isEmpty());
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
    RecordDetails details;
    details.record.id = 7;
    details.record.station = 1;
    details.record.start = kStart;
    details.record.serial = QStringLiteral("4711, \"B\""); // quoted as RFC 4180 says
    details.record.model = QStringLiteral("Valve");
    details.trace = traceOf(kStart, "0:699.9:100.25:L 1:-:100.5:A 2:-0.25:-:M 3:1234567:0.0001:P");
    // The main test ended between the samples of 10:00:03 and 10:00:04.
    details.decisions.push_back(
        {PhaseChange::PostTestStarted, kStart.addMSecs(3470), 686.25f, 700, 14});
    QByteArray text = csvHeaderLine();
    appendCsvRows(text, details);
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");

    QCOMPARE(text,
             QByteArray(
                 "record,station,serial,model,start,elapsed_s,time,pressure_kpa,"
                 "pressure_valid,bath_temp_c,bath_temp_valid,phase,decision\r\n"
                 "7,2,\"4711, "
                 "\"\"B\"\"\",Valve,2026-07-12T10:00:00+02:00,0,2026-07-12T10:00:01+02:00,699.9,1,"
                 "100.25,1,leak,\r\n"
                 "7,2,\"4711, "
                 "\"\"B\"\"\",Valve,2026-07-12T10:00:00+02:00,1,2026-07-12T10:00:02+02:00,,0,"
                 "100.5,1,after,\r\n"
                 "7,2,\"4711, "
                 "\"\"B\"\"\",Valve,2026-07-12T10:00:00+02:00,2,2026-07-12T10:00:03+02:00,-0.25,1,"
                 ",0,main,\r\n"
                 "7,2,\"4711, "
                 "\"\"B\"\"\",Valve,2026-07-12T10:00:00+02:00,2.4,2026-07-12T10:00:03.4+02:00,"
                 "686.25,1,,0,main,main test ended\r\n"
                 "7,2,\"4711, "
                 "\"\"B\"\"\",Valve,2026-07-12T10:00:00+02:00,3,2026-07-12T10:00:04+02:00,1234567,"
                 "1,0.0001,1,post,\r\n"));
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
    RecordDetails details;
    details.record.start = kStart; // summer time
    TraceSample sample;
    sample.time = time;
    details.trace.push_back(sample);
    QByteArray row;
    appendCsvRows(row, details);
    QCOMPARE(row.split(',').value(6), text.toLatin1());
}

void TestRecordOutputs::decayChart_data()
{
    QTest::addColumn<double>("fall");
    QTest::addColumn<double>("limit");
    QTest::newRow("7 KPa fall past a 5 KPa limit") << 7.0 << 5.0;
    QTest::newRow("2 KPa fall within a 5 KPa limit") << 2.0 << 5.0;
    QTest::newRow("flat curve") << 0.0 << 7.0;
}

void TestRecordOutputs::decayChart()
{
    QFETCH(double, fall);
    QFETCH(double, limit);
    // A steady fall over a minute, at a sample a second: fewer samples than pixel columns.
    DecayCurve curve;
    curve.phaseName = QStringLiteral("leak test");
    curve.ran = true;
    for (int k = 0; k <= 60; ++k) {
        curve.seconds.push_back(float(k));
        curve.relative.push_back(float(-fall * k / 60));
    }
    curve.fallLimit = float(limit);

    PictureArea area(QSize(400, 300), RGB(255, 255, 255));
    const DecayChartGeometry g = drawDecayChart(area, curve);
    QVERIFY(!g.byColumns);
    const QImage image = area.picture();
    const auto rowOf = [&g](double value) {
        return g.plot.top() + (g.top - value) / (g.top - g.bottom) * g.plot.height();
    };
    // The scale holds the reference, the limit and the curve, a tenth of the range clear of
    // the frame above and below.
    const double range = std::max(fall, limit);
    QVERIFY2(std::abs(g.top - 0.1 * range) < 1e-4, qPrintable(QString::number(g.top)));
    QVERIFY2(std::abs(g.bottom + 1.1 * range) < 1e-4, qPrintable(QString::number(g.bottom)));

    // The curve runs from the reference down to its last reading, off the frame's edges.
    const QList<int> curveRows = rowsWith(image, kBlue, 1);
    QVERIFY(!curveRows.isEmpty());
    QVERIFY2(std::abs(curveRows.first() - rowOf(0)) <= 1,
             qPrintable(QString::number(curveRows.first())));
    QVERIFY2(std::abs(curveRows.last() - rowOf(-fall)) <= 1,
             qPrintable(QString::number(curveRows.last())));
    QVERIFY(curveRows.first() > g.plot.top() + 2 && curveRows.last() < g.plot.bottom() - 2);

    // The limit is always a line across.
    const QList<int> limitRows = rowsWith(image, kRed, int(g.plot.width() / 2));
    QCOMPARE(limitRows.size(), 1);
    QVERIFY2(
        std::abs(limitRows[0] - rowOf(-limit)) <= 1,
        qPrintable(QStringLiteral("limit at row %1, not %2").arg(limitRows[0]).arg(rowOf(-limit))));
    RecordingSurface recording(QSizeF(400, 300));
    drawDecayChart(recording, curve);
    const QStringList texts = recording.textList();
    QVERIFY2(
        texts.contains(
            QStringLiteral("leak test from its reference; limit -%1 KPa").arg(limit, 0, 'f', 2)),
        qPrintable(texts.join(u'|')));
    QVERIFY2(texts.contains(QStringLiteral("0 s")) && texts.contains(QStringLiteral("60 s")) &&
                 texts.contains(QStringLiteral("0.00 KPa")),
             qPrintable(texts.join(u'|')));
}

void TestRecordOutputs::decayChartGapsAndAbsentPhase()
{
    // A reading a second for 40 s; none from 10 to 19 s but a lone one at 15 s; no sample
    // at all from 30 to 35 s (a cable pulled).
    DecayCurve curve;
    curve.phaseName = QStringLiteral("main test");
    curve.ran = true;
    curve.fallLimit = 14;
    for (int k = 0; k <= 40; ++k) {
        if (k > 30 && k < 35)
            continue;
        curve.seconds.push_back(float(k));
        const bool lost = k >= 10 && k < 20 && k != 15;
        curve.relative.push_back(lost ? std::numeric_limits<float>::quiet_NaN() : -0.1f * k);
    }
    PictureArea area(QSize(400, 300), RGB(255, 255, 255));
    const DecayChartGeometry g = drawDecayChart(area, curve);
    const QImage image = area.picture();
    const auto column = [&g](double second) {
        return int(g.plot.left() + second / g.seconds * g.plot.width());
    };
    constexpr Colour kBand = RGB(232, 232, 232);
    // Both gaps are marked and crossed by no curve; the lone reading shows.
    QCOMPARE(g.gaps, (std::vector<std::pair<double, double>>{{9, 15}, {15, 20}, {30, 35}}));
    for (const double second : {12.0, 17.0, 32.5}) {
        QVERIFY2(columnHas(image, column(second), kBand), qPrintable(QString::number(second)));
        QVERIFY2(!columnHas(image, column(second), kBlue), qPrintable(QString::number(second)));
    }
    QVERIFY(columnHas(image, column(15), kBlue));
    QVERIFY(columnHas(image, column(25), kBlue) && !columnHas(image, column(25), kBand));

    // A phase that did not run: its name, and neither curve nor limit.
    DecayCurve absent;
    absent.phaseName = QStringLiteral("main test");
    RecordingSurface recording(QSizeF(400, 300));
    drawDecayChart(recording, absent);
    QCOMPARE(recording.textList(), QStringList{QStringLiteral("No main test")});
    QVERIFY(recording.segmentsIn(kBlue).isEmpty() && recording.segmentsIn(kRed).isEmpty());
}

void TestRecordOutputs::denseTraceDrawnByColumns()
{
    // 100000 samples with a small wobble, one sample 7 KPa down near the middle and a gap of
    // lost readings from 70 % to 75 %.
    DecayCurve curve;
    curve.ran = true;
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
    // The lone low sample reaches its depth in its column.
    const int bottom =
        int(std::round(g.plot.top() + (g.top + 7) / (g.top - g.bottom) * g.plot.height()));
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
    done.serial = QStringLiteral("4711");
    done.model = QStringLiteral("Valve");
    done.modelVolume = 250;
    RecordDetails details{done, {}, {}, {}};
    details.trace = traceOf(kStart, "0:700:105:L 1:699.5:105:L 2:699:105:L 3:699:105:M "
                                    "4:698:105:M 5:697:105:P");
    details.decisions = {{PhaseChange::LeakPassed, kStart.addMSecs(3000), 699, 700, 7},
                         {PhaseChange::PostTestStarted, kStart.addMSecs(6000), 697.5f, 699, 14},
                         {PhaseChange::Completed, kStart.addMSecs(1205300), 684.75f, 699, 14}};
    details.events = {
        {kStart.addSecs(4), LinkEventKind::PortLost, QStringLiteral("The device was removed.")},
        {kStart.addSecs(5), LinkEventKind::Reconnected, {}}};
    const QString conditions = QStringLiteral(
        "Parameters: start pressure limit 600.0 KPa, leak fall limit 7.0 KPa, leak test 600 s, "
        "bath fall limit 14.0 KPa, main test 900 s, minimum bath temperature 100.0 °C\n"
        "Calibration: range 1000, zero 12.5, span 10000; temperature zero 0, span 1000\n");
    QCOMPARE(recordDetailText(details), QStringLiteral(R"(Test 1, record 42: completed
Start: 12-07-2026 10:00:00
End: 12-07-2026 10:20:05 (00:20:05)
Leak test passed: 12-07-2026 10:00:03
Main test started: 12-07-2026 10:00:03
Post-test started: 12-07-2026 10:00:06
Test name: Vessel 7, east
Operator: Kim
Part: serial 4711, model Valve (250 ml)
)") + conditions + QStringLiteral(R"(Reference pressures: leak 700.0 KPa, main 699.0 KPa

Decisions:
12-07-2026 10:00:03.0 leak test passed: pressure 699.00 KPa, reference 700.00 KPa, fall 1.00 KPa, limit 7.00 KPa
12-07-2026 10:00:06.0 main test ended: pressure 697.50 KPa, reference 699.00 KPa, fall 1.50 KPa, limit 14.00 KPa
12-07-2026 10:20:05.3 test completed: pressure 684.75 KPa, reference 699.00 KPa, fall 14.25 KPa, limit 14.00 KPa

Leak test: fall 1.00 KPa to the deciding reading after 3.0 s; end-to-end rate 20.000 KPa/min; least-squares rate 30.000 KPa/min; compensated fall 1.00 KPa; 3 samples
Main test: fall 1.50 KPa to the deciding reading after 3.0 s; end-to-end rate 30.000 KPa/min; least-squares rate 45.000 KPa/min; compensated fall 1.00 KPa; 2 samples
Post-test: fall 14.25 KPa to the deciding reading after 1202.3 s; end-to-end rate 0.711 KPa/min; least-squares rate 0.613 KPa/min; compensated fall 2.00 KPa; 1 sample
)") + figuresExplanation() + QStringLiteral(R"(

Link events:
12-07-2026 10:00:04 port lost: The device was removed.
12-07-2026 10:00:05 reconnected)"));

    // In a flow unit, each end-to-end rate also in that unit, through the part's volume:
    // 20 KPa/min = 333.333 Pa/s; × 250 cm³ / 101325 Pa × 60 = 49.346 sccm.
    QVERIFY(recordDetailText(details, RateUnit::Sccm)
                .contains(QStringLiteral("Leak test: fall 1.00 KPa to the deciding reading after "
                                         "3.0 s; end-to-end rate 20.000 KPa/min = 49.346 sccm; "
                                         "least-squares rate 30.000 KPa/min;")));
    details.record.modelVolume.reset();
    QVERIFY(recordDetailText(details, RateUnit::MbarLitrePerSecond)
                .contains(QStringLiteral("end-to-end rate 20.000 KPa/min = no mbar·l/s without "
                                         "the part's volume;")));
    QVERIFY(recordDetailText(details, RateUnit::PaPerSecond)
                .contains(QStringLiteral("end-to-end rate 20.000 KPa/min = 333.333 Pa/s;")));

    // A record kept before decisions were: its completed phases say so.
    details.record.decisionsRecorded = false;
    details.decisions.clear();
    const QStringList lines = recordDetailText(details).split(u'\n');
    QVERIFY(lines.contains(QStringLiteral("Decisions: not recorded")));
    QVERIFY(lines.contains(QStringLiteral(
        "Post-test: fall 2.00 KPa to the last valid reading (the deciding reading was not "
        "recorded) after 3.0 s; end-to-end rate 40.000 KPa/min; least-squares rate none; "
        "compensated fall 2.00 KPa; 1 sample")));

    // A test still running, on station 2, before its main start.
    RecordDetails opened;
    TestRecord &open = opened.record;
    open = done;
    open.id = 7;
    open.station = 1;
    open.end = open.leakPassTime = open.mainStartTime = open.postTestTime = std::nullopt;
    open.outcome.reset();
    open.mainRefPressure.reset();
    open.testName.clear();
    open.operatorName.clear();
    open.serial.clear();
    open.model.clear();
    QCOMPARE(recordDetailText(opened), QStringLiteral(
                                           R"(Test 2, record 7: running
Start: 12-07-2026 10:00:00
End: running
Test name: none
Operator: none
Part: none
)") + conditions + QStringLiteral(R"(Reference pressures: leak 700.0 KPa, main none

Decisions: none

Leak test: fall none; end-to-end rate none; least-squares rate none; compensated fall none; 0 samples
Main test: did not run
Post-test: did not run
)") + figuresExplanation() + QStringLiteral(R"(

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
