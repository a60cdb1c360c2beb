// Process statistics and flow units: the hand-worked set of twenty records with one break of
// each rule, what is left out, the fail rate by day, too few records, and the flow units of a
// case worked by hand.
#include "records/flowunits.h"
#include "records/statistics.h"
#include "records/statisticschart.h"
#include "support/statisticsset.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <random>

class TestStatistics : public QObject {
    Q_OBJECT

private slots:
    void handWorkedSet_data();
    void handWorkedSet();
    void failRateByDay();
    void tooFewRecords_data();
    void tooFewRecords();
    void flowUnits_data();
    void flowUnits();
    void reducedChartLooksTheSame();
};

void TestStatistics::handWorkedSet_data()
{
    statisticsSetTable();
}

void TestStatistics::handWorkedSet()
{
    QFETCH(QString, figure);
    QFETCH(QString, unit);
    QFETCH(QStringList, lines);
    std::vector<TestRecord> records = statisticsSet();
    // The points are taken in time order whatever order the records come in.
    std::shuffle(records.begin(), records.end(), std::mt19937(16));
    const StatisticsFigure f = *figureFromName(figure);
    const RateUnit u = *rateUnitFromText(unit);
    const Fallible<ProcessStatistics> statistics = processStatistics(records, f, u);
    QVERIFY(statistics.ok());
    QCOMPARE(statisticsLines(*statistics, f, u).split(u'\n', Qt::SkipEmptyParts), lines);
    QCOMPARE(statistics->ids.front(), int64_t(1));
    QCOMPARE(statistics->ids.back(), int64_t(21));
}

void TestStatistics::failRateByDay()
{
    const Fallible<ProcessStatistics> s =
        processStatistics(statisticsSet(), StatisticsFigure::LeakFall, RateUnit::KpaPerMinute);
    QVERIFY(s.ok());
    QStringList days;
    for (const DayFailRate &day : s->days)
        days << QStringLiteral("%1 %2/%3")
                    .arg(day.day.toString(Qt::ISODate))
                    .arg(day.failed)
                    .arg(day.tests);
    // The stopped test is no test of the day; the failed leak test is, and has a leak fall.
    QCOMPARE(days, (QStringList{"2026-07-10 0/11", "2026-07-11 1/10"}));
    QCOMPARE(s->values.size(), size_t(21));
    QCOMPARE(s->leftOut, 1);
}

void TestStatistics::tooFewRecords_data()
{
    QTest::addColumn<int>("keep"); // the first records of the set kept
    QTest::addColumn<QString>("figure");
    QTest::newRow("none") << 0 << "main-fall";
    QTest::newRow("one") << 1 << "main-fall";
    // Two records, but the second is the stopped one.
    QTest::newRow("one counted") << 12 << "main-fall";
    // Flow units need the part's volume: records without it give no point.
    QTest::newRow("no volume for a flow") << 22 << "main-rate";
}

void TestStatistics::tooFewRecords()
{
    QFETCH(int, keep);
    QFETCH(QString, figure);
    std::vector<TestRecord> records = statisticsSet();
    records.resize(size_t(keep));
    if (keep == 12)
        records.erase(records.begin(), records.begin() + 10);
    if (figure == u"main-rate")
        for (TestRecord &record : records)
            record.modelVolume.reset();
    const Fallible<ProcessStatistics> s =
        processStatistics(records, *figureFromName(figure), RateUnit::Sccm);
    QVERIFY(!s.ok());
    QCOMPARE(s.failure()->reason, QStringLiteral("too few records for statistics"));
}

void TestStatistics::flowUnits_data()
{
    QTest::addColumn<double>("fallKpa");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("volumeMl"); // 0: none
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("shown");
    // 2 KPa in 60 s is 2 KPa/min = 2 × 1000 / 60 = 33.333 Pa/s.
    QTest::newRow("KPa/min") << 2.0 << 60.0 << 250.0 << "KPa/min"
                             << "2.000 KPa/min";
    QTest::newRow("Pa/s") << 2.0 << 60.0 << 250.0 << "pa/s"
                          << "33.333 Pa/s";
    // 33.333 Pa/s × 250 cm³ / 101325 Pa × 60 = 4.935 sccm (4.93 to two decimals).
    QTest::newRow("sccm") << 2.0 << 60.0 << 250.0 << "sccm"
                          << "4.935 sccm";
    // 33.333 Pa/s × 0.25 l × 0.01 = 0.08333 mbar·l/s.
    QTest::newRow("mbar·l/s") << 2.0 << 60.0 << 250.0 << "mbar.l/s"
                              << "0.08333 mbar·l/s";
    // Pa/s needs no volume; a flow does.
    QTest::newRow("Pa/s without a volume") << 2.0 << 60.0 << 0.0 << "Pa/s"
                                           << "33.333 Pa/s";
    QTest::newRow("sccm without a volume") << 2.0 << 60.0 << 0.0 << "SCCM"
                                           << "none";
    // A rise of 0.5 KPa in 30 s: -1 KPa/min = -16.667 Pa/s; × 1 l × 0.01 = -0.16667 mbar·l/s.
    QTest::newRow("a rise") << -0.5 << 30.0 << 1000.0 << "mbar·l/s"
                            << "-0.16667 mbar·l/s";
}

void TestStatistics::flowUnits()
{
    QFETCH(double, fallKpa);
    QFETCH(double, seconds);
    QFETCH(double, volumeMl);
    QFETCH(QString, unit);
    QFETCH(QString, shown);
    const std::optional<RateUnit> u = rateUnitFromText(unit);
    QVERIFY(u);
    const std::optional<double> volume =
        volumeMl > 0 ? std::optional<double>(volumeMl) : std::nullopt;
    QCOMPARE(rateText(convertRate(fallKpa / seconds * 60.0, *u, volume), *u), shown);
}

void TestStatistics::reducedChartLooksTheSame()
{
    // 100000 points on a chart 600 pixels wide: the curve reduced by columns against every
    // point joined, in the same frame.
    std::vector<double> values;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.05);
    for (int i = 0; i < 100000; ++i)
        values.push_back(2.0 + 0.3 * std::sin(i / 4000.0) + noise(random) +
                         (i % 25000 == 0 ? 0.8 : 0.0));
    ChartFrame frame;
    frame.plot = QRectF(0, 0, 600, 200);
    frame.count = int(values.size());
    frame.low = 1.0;
    frame.high = 3.5;
    const auto draw = [&](const CurvePolylines &curve) {
        QImage image(600, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(QPen(Qt::black, 0));
        drawPolylines(painter, curve);
        return image;
    };
    CurvePolylines all;
    for (size_t i = 0; i < values.size(); ++i)
        all.points.emplace_back(frame.xOf(int(i)), frame.yOf(values[i]));
    all.ends.push_back(int(all.points.size()));
    const CurvePolylines reduced = reducedCurve(frame, values);
    QVERIFY(reduced.points.size() <= 4 * 600);
    const QImage full = draw(all), byColumns = draw(reduced);
    // The rows each drawing inks in a column.
    const auto extent = [](const QImage &image, int x) {
        std::pair<int, int> rows{200, -1};
        for (int y = 0; y < 200; ++y)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                rows = {std::min(rows.first, y), std::max(rows.second, y)};
        return rows;
    };
    // Each column of one drawing reaches no further than the other drawing does within a
    // pixel across and down: no line of one is missing from the other.
    int differing = 0;
    for (int x = 0; x < 600; ++x) {
        for (const auto &[a, b] : {std::pair{&full, &byColumns}, std::pair{&byColumns, &full}}) {
            const auto [top, bottom] = extent(*a, x);
            int reachTop = 200, reachBottom = -1;
            for (int n = std::max(0, x - 1); n <= std::min(599, x + 1); ++n) {
                const auto [t, u] = extent(*b, n);
                reachTop = std::min(reachTop, t);
                reachBottom = std::max(reachBottom, u);
            }
            QVERIFY2(top >= reachTop - 1 && bottom <= reachBottom + 1,
                     qPrintable(QStringLiteral("column %1: rows %2..%3 beyond %4..%5")
                                    .arg(x)
                                    .arg(top)
                                    .arg(bottom)
                                    .arg(reachTop)
                                    .arg(reachBottom)));
        }
        for (int y = 0; y < 200; ++y)
            differing += full.pixel(x, y) != byColumns.pixel(x, y) ? 1 : 0;
    }
    qInfo("pixels differing: %.2f %%", 100.0 * differing / (600 * 200));
    // Few points are drawn every one.
    const std::vector<double> few(values.begin(), values.begin() + 50);
    frame.count = 50;
    QCOMPARE(reducedCurve(frame, few).points.size(), size_t(50));
}

QTEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
