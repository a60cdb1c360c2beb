#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "charts/trendwindow.h"
#include "recordingsurface.h"
#include "records/recordview.h"
#include "report/reportfilename.h"
#include "report/reportwindow.h"
#include "station/livedisplay.h"
#include "support/widgets.h"
#include "ui/twips.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr Colour kCyan = RGB(0, 255, 255);
constexpr Colour kGreen = RGB(0, 255, 0);
constexpr Colour kYellow = RGB(255, 255, 0);
constexpr Colour kBlack = RGB(0, 0, 0);
const QColor kGrey(64, 64, 64);

/// Samples 0..n of the station, each at the given pressure; SampleCount n.
void record(StationRecord &station, int n, float pressure)
{
    for (int k = 0; k <= n && k < kSampleSlots; ++k)
        station.Samples[size_t(k)] = pressure;
    station.SampleCount = int16_t(n);
}

/// The trend tick on a recorder with the chart's user scale over it.
std::unique_ptr<RecordingSurface> trendOf(const StationRecord &station)
{
    auto surface = std::make_unique<RecordingSurface>();
    surface->ScaleHeight = kChartScale;
    surface->ScaleWidth = kChartScale;
    drawTrendTick(*surface, chartSamplesOf(station));
    return surface;
}

bool hasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

QImage shownOf(QWidget *window)
{
    return named<PictureBox>(window, QStringLiteral("pic"))->area().picture();
}

QString fieldText(QWidget *window, const char *name)
{
    return named<QLineEdit>(window, QString::fromLatin1(name))->text();
}

/// Each text drawn on the surface as "text@x,y#colour", its top-left corner in device units.
QStringList placed(const RecordingSurface &surface)
{
    QStringList list;
    for (const RecordingSurface::Text &t : surface.texts)
        list << QStringLiteral("%1@%2,%3#%4").arg(t.text).arg(t.at.x()).arg(t.at.y()).arg(t.colour);
    return list;
}

/// The texts every chart draws, as placed() gives them, on a device of sx by sy device units
/// per user unit: the pressure labels from labelTop upward and the axis captions in the
/// pressure colour, then the time texts ending with the end label.
QStringList chartTexts(qreal labelTop, const QString &endLabel, qreal sx, qreal sy,
                       Colour pressureColour, Colour timeColour)
{
    QStringList list;
    auto at = [&](const QString &text, qreal x, qreal y, Colour colour) {
        list << QStringLiteral("%1@%2,%3#%4").arg(text).arg(x * sx).arg(y * sy).arg(colour);
    };
    for (int i = 0; i <= 10; ++i)
        at(QStringLiteral(" %1 ").arg(i * 100), 500, labelTop - 1000 * i, pressureColour);
    at(QStringLiteral("Pressure"), 100, 100, pressureColour);
    at(QStringLiteral("KPa"), 200, 400, pressureColour);
    at(QStringLiteral("Time"), 5900, 11250, timeColour);
    at(QStringLiteral("00:00:00"), 700, 11250, timeColour);
    at(endLabel, 10700, 11250, timeColour);
    return list;
}

} // namespace

class TstCharts : public QObject {
    Q_OBJECT

private slots:
    void trendSpanFollowsSampleCount_data();
    void trendSpanFollowsSampleCount();
    void pressureMapsOntoTheGrid_data();
    void pressureMapsOntoTheGrid();
    void farOffPressuresReachTheSurfaceFinite();
    void reportAxisSpansTheWholeRecording_data();
    void reportAxisSpansTheWholeRecording();
    void reportDrawsGridLabelsAndTwoPixelLine();
    void reportPageAddsHeaderAndLowersLabels();
    void reportLeavesAGapForEachLostReading_data();
    void reportLeavesAGapForEachLostReading();
    void columnDrawingShowsEverySegmentsPicture_data();
    void columnDrawingShowsEverySegmentsPicture();
    void reportFileNameHoldsStationDateAndTime_data();
    void reportFileNameHoldsStationDateAndTime();
    void reportOfNoStationHasNoSamples();

    void trendWindowShowsGridThenRedrawsEverySecond_data();
    void trendWindowShowsGridThenRedrawsEverySecond();
    void reportWindowShowsTestAndChartAsLoaded_data();
    void reportWindowShowsTestAndChartAsLoaded();
    void reportDetailsFrameIsWhite_data();
    void reportDetailsFrameIsWhite();
};

void TstCharts::trendSpanFollowsSampleCount_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("endLabel");
    QTest::addColumn<int>("segments");
    QTest::addColumn<qreal>("lastX");
    // Each bound of the span table and the count just past it.
    QTest::newRow("no sample") << 0 << "00:00:10" << 0 << 0.0;
    QTest::newRow("10") << 10 << "00:00:10" << 10 << 11000.0;
    QTest::newRow("11") << 11 << "00:00:50" << 11 << 3200.0;
    QTest::newRow("50") << 50 << "00:00:50" << 50 << 11000.0;
    QTest::newRow("51") << 51 << "00:01:40" << 51 << 6100.0;
    QTest::newRow("100") << 100 << "00:01:40" << 100 << 11000.0;
    QTest::newRow("101") << 101 << "00:08:20" << 101 << 3020.0;
    QTest::newRow("500") << 500 << "00:08:20" << 500 << 11000.0;
    QTest::newRow("501") << 501 << "00:16:40" << 501 << 6010.0;
    QTest::newRow("1000") << 1000 << "00:16:40" << 1000 << 11000.0;
    QTest::newRow("1001") << 1001 << "01:23:20" << 1001 << 3002.0;
    QTest::newRow("5000") << 5000 << "01:23:20" << 5000 << 11000.0;
    QTest::newRow("5001") << 5001 << "02:46:40" << 5001 << 6001.0;
    QTest::newRow("10000") << 10000 << "02:46:40" << 10000 << 11000.0;
    QTest::newRow("10001") << 10001 << "02:46:40" << 10000 << 11000.0;
    QTest::newRow("largest count") << 32767 << "02:46:40" << 10000 << 11000.0;
    QTest::newRow("negative") << -3 << "00:00:10" << 0 << 0.0;
}

void TstCharts::trendSpanFollowsSampleCount()
{
    QFETCH(int, n);
    QFETCH(QString, endLabel);
    QFETCH(int, segments);
    QFETCH(qreal, lastX);
    StationRecord station;
    record(station, std::max(n, 0), 400);
    station.SampleCount = int16_t(n);
    station.Samples[size_t(segments) + 1] = 900; // would show as a jump if read

    // Each tick starts from a cleared area: nothing drawn before it stays.
    RecordingSurface surface;
    surface.ScaleHeight = kChartScale;
    surface.ScaleWidth = kChartScale;
    surface.print(QStringLiteral("stale"));
    drawTrendTick(surface, chartSamplesOf(station));
    QCOMPARE(surface.clears, 1);
    QCOMPARE(placed(surface), chartTexts(10750, endLabel, 1, 1, kCyan, kGreen));
    // The grid is the window's line elements, never drawn here; the curve's colour goes with
    // each segment, so ForeColor stays the last text colour.
    QCOMPARE(surface.ForeColor, kGreen);
    const auto curve = surface.segmentsIn(kYellow);
    QCOMPARE(surface.segments.size(), segments);
    QCOMPARE(curve.size(), segments);
    if (segments == 0)
        return;
    QCOMPARE(curve.first().line.p1(), QPointF(1000, 7000));
    QCOMPARE(curve.last().line.p2(), QPointF(lastX, 7000));
    QCOMPARE(curve.first().width, 1.0);
    // One segment for each pair of neighbouring samples, in index order, none past the last.
    for (qsizetype k = 1; k < curve.size(); ++k) {
        QCOMPARE(curve[k].line.p1(), curve[k - 1].line.p2());
        QCOMPARE(curve[k].line.y2(), 7000.0);
    }
}

void TstCharts::pressureMapsOntoTheGrid_data()
{
    QTest::addColumn<float>("pressure");
    QTest::addColumn<qreal>("y");
    QTest::newRow("top line") << 1000.0f << 1000.0;
    QTest::newRow("middle line") << 500.0f << 6000.0;
    QTest::newRow("bottom line") << 0.0f << 11000.0;
    QTest::newRow("above the frame") << 1050.0f << 500.0;
    QTest::newRow("below the frame") << -60.0f << 11600.0;
}

void TstCharts::pressureMapsOntoTheGrid()
{
    QFETCH(float, pressure);
    QFETCH(qreal, y);
    StationRecord station;
    record(station, 4, pressure);
    const auto trend = trendOf(station);
    RecordingSurface report;
    drawReportChart(report, chartSamplesOf(station));
    const auto reportLine = report.segments.mid(22);
    QCOMPARE(reportLine.size(), 4);
    for (const auto &curve : {trend->segmentsIn(kYellow), reportLine})
        for (const auto &segment : curve) {
            QCOMPARE(segment.line.y1(), y);
            QCOMPARE(segment.line.y2(), y);
        }
}

void TstCharts::farOffPressuresReachTheSurfaceFinite()
{
    StationRecord station;
    record(station, 6, 500);
    station.Samples[1] = 1.0e30f;
    station.Samples[2] = -std::numeric_limits<float>::infinity();
    station.Samples[3] = std::numeric_limits<float>::quiet_NaN();
    station.Samples[4] = -3.0e38f;
    const auto curve = trendOf(station)->segmentsIn(kYellow);
    QCOMPARE(curve.size(), 6);
    for (const auto &segment : curve) {
        QVERIFY(std::isfinite(segment.line.y1()));
        QVERIFY(std::isfinite(segment.line.y2()));
    }
    QVERIFY(curve[0].line.y2() < -1.0e6); // far above the top
    QVERIFY(curve[1].line.y2() > 1.0e6);  // far below the bottom
    QCOMPARE(curve[5].line.p2(), QPointF(7000, 6000));
}

void TstCharts::reportAxisSpansTheWholeRecording_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("duration");
    QTest::newRow("none") << 0 << "00:00:00";
    QTest::newRow("negative") << -1 << "00:00:-01";
    QTest::newRow("1") << 1 << "00:00:01";
    QTest::newRow("3") << 3 << "00:00:03";
    QTest::newRow("7") << 7 << "00:00:07";
    QTest::newRow("3725") << 3725 << "01:02:05";
    QTest::newRow("largest count") << 32767 << "09:06:07";
}

void TstCharts::reportAxisSpansTheWholeRecording()
{
    QFETCH(int, n);
    QFETCH(QString, duration);
    StationRecord station;
    record(station, std::max(n, 0), 250);
    station.SampleCount = int16_t(n);
    station.Samples[size_t(std::max(n, 0)) + 1] = 900; // would show as a jump if read
    // Four device units a user unit across: a pixel column for every sample, so every segment
    // is drawn.
    RecordingSurface surface(QSizeF(48000, 12000));
    drawReportChart(surface, chartSamplesOf(station));
    QCOMPARE(placed(surface), chartTexts(10750, duration, 4, 1, kBlack, kBlack));
    const auto line = surface.segments.mid(22);
    QCOMPARE(line.size(), std::max(n, 0));
    if (n <= 0) {
        QCOMPARE(surface.DrawWidth, int16_t(1)); // no curve, so the width stays
        return;
    }
    QCOMPARE(reportScale(n), 10000.0f / float(n));
    QCOMPARE(line.first().line.p1(), QPointF(4000, 8500));
    // Sample n on the right grid line, within float rounding of the 32-bit scale.
    QVERIFY2(std::abs(line.last().line.x2() - 44000) < 0.04,
             qPrintable(QString::number(line.last().line.x2(), 'f', 4)));
    const int k = n / 2;
    QCOMPARE(line[k].line.x1(), 4 * qreal(float(1000.0 + double(reportScale(n)) * k)));
    QCOMPARE(line.last().line.y2(), 8500.0);
}

void TstCharts::reportDrawsGridLabelsAndTwoPixelLine()
{
    StationRecord station;
    record(station, 3725, 500);
    RecordingSurface surface(QSizeF(6000, 3000)); // not square: units are mapped per axis
    drawReportChart(surface, chartSamplesOf(station));

    // Grid: for each i a horizontal then a vertical line, 1 pixel, black.
    for (int i = 0; i <= 10; ++i) {
        const qreal at = 1000 + 1000 * i;
        QCOMPARE(surface.segments[2 * i].line, QLineF(500, at / 4, 5500, at / 4));
        QCOMPARE(surface.segments[2 * i + 1].line, QLineF(at / 2, 250, at / 2, 2750));
        QCOMPARE(surface.segments[2 * i].width, 1.0);
        QCOMPARE(surface.segments[2 * i].colour, kBlack);
    }
    QCOMPARE(placed(surface),
             chartTexts(10750, QStringLiteral("01:02:05"), 0.5, 0.25, kBlack, kBlack));
    // The data line: 2 pixels, ForeColor, a constant 500 KPa on the middle grid line.
    const auto line = surface.segments.mid(22);
    QCOMPARE(line.size(), 3725);
    for (const auto &segment : line) {
        QCOMPARE(segment.width, 2.0);
        QCOMPARE(segment.colour, kBlack);
        QCOMPARE(segment.line.y1(), 1500.0);
    }
}

void TstCharts::reportPageAddsHeaderAndLowersLabels()
{
    StationRecord station;
    record(station, 32767, 200);
    RecordingSurface page(QSizeF(9000, 6000));
    drawReportPage(page, chartSamplesOf(station), {"Leak run 4", "", "07-12-2026", ""});
    // The header, then the chart with its labels 200 units lower than on screen.
    const QStringList header{"Leak run 4@3750,200#0", "Operator: @6000,200#0",
                             "07-12-2026@3750,400#0", "@6000,400#0"};
    QCOMPARE(placed(page),
             header + chartTexts(10950, QStringLiteral("09:06:07"), 0.75, 0.5, kBlack, kBlack));
    // The grid and the curve of the window's chart on the same device.
    RecordingSurface screen(QSizeF(9000, 6000));
    drawReportChart(screen, chartSamplesOf(station));
    QCOMPARE(page.segments, screen.segments);
}

void TstCharts::reportLeavesAGapForEachLostReading_data()
{
    QTest::addColumn<bool>("reprinted");
    QTest::addColumn<QString>("readings");
    QTest::addColumn<QString>("joined");
    // Readings a second apart, "-" for one that was not valid; what the report draws: "a-b" a
    // segment from second a to second b, "a" a dash at a reading alone between two gaps.
    const char *const cases[][3] = {
        {"none lost", "700 699 698 697", "0-1 1-2 2-3"},
        {"a second lost", "700 - 699 698", "0 2-3"},
        {"lost at both ends", "- - 700 699 -", "2-3"},
        {"lone readings between gaps", "700 699 - 650 - 600 599", "0-1 3 5-6"},
        {"all lost", "- - -", ""},
    };
    for (const bool reprinted : {false, true})
        for (const auto &c : cases)
            QTest::addRow("%s, %s", reprinted ? "reprinted" : "live", c[0])
                << reprinted << QString::fromLatin1(c[1]) << QString::fromLatin1(c[2]);
}

void TstCharts::reportLeavesAGapForEachLostReading()
{
    QFETCH(bool, reprinted);
    QFETCH(QString, readings);
    QFETCH(QString, joined);
    // The live test as the one-second sampler records it, and its stored trace.
    const QStringList items = readings.split(u' ');
    const int n = int(items.size()) - 1;
    StationRecord station;
    station.TestRunning = true;
    std::vector<TraceSample> trace;
    for (const QString &item : items) {
        const Reading reading{item.toFloat(), item != u"-"};
        recordSample(station, reading);
        trace.push_back({});
        trace.back().pressure = reading.value;
        trace.back().pressureValid = reading.valid;
    }
    const std::vector<float> pressures = exportedPressures(trace);
    const std::vector<uint8_t> valid = pressureValidity(trace);
    const ChartSamples samples =
        reprinted ? chartSamplesOf(pressures, valid) : chartSamplesOf(station);

    RecordingSurface chart;
    RecordingSurface page;
    drawReportChart(chart, samples);
    drawReportPage(page, samples, {});
    for (const RecordingSurface *surface : {&chart, &page}) {
        QStringList drawn;
        for (const auto &segment : surface->segments.mid(22)) {
            const auto second = [n](qreal x) { return qRound((x - 1000) * n / 10000); };
            const int from = second(segment.line.x1());
            const int to = second(segment.line.x2());
            // Each end at its own second's reading, never at 0 KPa; a dash short and level.
            QCOMPARE(segment.line.y1(), 11000 - 10 * items[from].toDouble());
            QCOMPARE(segment.line.y2(), 11000 - 10 * items[to].toDouble());
            if (from == to)
                QVERIFY(segment.line.dx() > 0 && segment.line.dx() <= 8);
            drawn << (from == to ? QString::number(from)
                                 : QStringLiteral("%1-%2").arg(from).arg(to));
        }
        QCOMPARE(drawn.join(u' '), joined);
    }
    // The samples that the export file writes hold 0 for a lost reading, as the trace's export
    // does; the trend joins every second as stored.
    QCOMPARE(std::vector<float>(station.Samples.begin(), station.Samples.begin() + n + 1),
             pressures);
    QCOMPARE(trendOf(station)->segmentsIn(kYellow).size(), n);
}

void TstCharts::columnDrawingShowsEverySegmentsPicture_data()
{
    QTest::addColumn<bool>("trend");
    QTest::addColumn<QString>("trace");
    for (const bool trend : {false, true})
        for (const char *trace : {"noise", "step", "spike", "gaps"})
            QTest::addRow("%s, %s", trend ? "trend" : "report", trace) << trend << trace;
}

void TstCharts::columnDrawingShowsEverySegmentsPicture()
{
    QFETCH(bool, trend);
    QFETCH(QString, trace);
    // The longest recording each chart draws, on its window's picture area.
    const int n = trend ? 10000 : 32767;
    const QSize size = trend ? QSize(1065, 449) : QSize(641, 409);
    const double columnWidth = kChartScale / size.width();
    const double step = trend ? 1.0 : double(reportScale(n));
    QRandomGenerator random(7);
    StationRecord station;
    for (int k = 0; k <= n; ++k) {
        float pressure = 530 + float(random.bounded(trace == u"noise" ? 40.0 : 1.0));
        // Steps of 200 KPa between the last second of a pixel column and the first of the next.
        if (trace == u"step" && int(std::floor((1000 + step * k) / columnWidth)) / 8 % 2)
            pressure -= 200;
        if (trace == u"spike" && k % (n / 3) == 1000)
            pressure = k % 2 ? 950 : 50; // a second alone, up or down
        // Seconds lost here and there, and a long gap with one reading in its middle.
        const bool lost =
            trace == u"gaps" && (k % 1000 == 7 || (k >= 4000 && k < 6000 && k != 5000));
        station.Samples[size_t(k)] = lost ? 0 : pressure;
        station.sampleValid[size_t(k)] = lost ? 0 : 1;
    }
    station.SampleCount = int16_t(n);
    const Colour background = trend ? kBlack : RGB(255, 255, 255);
    const QColor ink = toQColor(trend ? kYellow : kBlack);
    const auto draw = [&](DrawingSurface &surface, CurveDetail detail) {
        surface.ScaleHeight = kChartScale;
        surface.ScaleWidth = kChartScale;
        if (trend)
            drawTrendTick(surface, chartSamplesOf(station), detail);
        else
            drawReportChart(surface, chartSamplesOf(station), detail);
    };
    PictureArea every(size, background);
    PictureArea columns(size, background);
    draw(every, CurveDetail::EverySegment);
    draw(columns, CurveDetail::ByColumns);
    const QImage pictures[] = {every.picture(), columns.picture()};

    // Each pixel of one picture's curve has the other's within one pixel.
    const auto inkNear = [&](const QImage &image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (image.rect().contains(x + dx, y + dy) &&
                    image.pixelColor(x + dx, y + dy) == ink)
                    return true;
        return false;
    };
    int curve = 0;
    QStringList far;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            for (int i : {0, 1}) {
                if (pictures[i].pixelColor(x, y) != ink)
                    continue;
                curve += i;
                if (!inkNear(pictures[1 - i], x, y))
                    far << QStringLiteral("%1,%2").arg(x).arg(y);
            }
    QVERIFY(curve > size.width() / 2);
    QVERIFY2(far.isEmpty(), qPrintable(far.mid(0, 10).join(u' ')));
    // At the cost of the width: a few segments a pixel column, not one a sample.
    RecordingSurface recorder(size);
    draw(recorder, CurveDetail::ByColumns);
    QVERIFY2(recorder.segments.size() < 2 * size.width(),
             qPrintable(QString::number(recorder.segments.size())));
}

void TstCharts::reportFileNameHoldsStationDateAndTime_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("name");
    auto row = [](const char *name, int station, const char *date, const char *time,
                  const char *file) {
        QTest::newRow(name) << station << QString(date) << QString(time) << QString(file);
    };
    row("no test yet", 1, "", "", "Kestrava test 2.pdf");
    row("test", 0, "07-12-2026", "22:48:33", "Kestrava test 1 07-12-2026 22-48-33.pdf");
    row("edited texts", 1, "07/12/2026", " a*b?\\ ", "Kestrava test 2 07-12-2026 a-b--.pdf");
}

void TstCharts::reportFileNameHoldsStationDateAndTime()
{
    QFETCH(int, station);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QString, name);
    QCOMPARE(reportFileName(station, date, time), name);
}

void TstCharts::reportOfNoStationHasNoSamples()
{
    auto state = std::make_unique<SharedState>();
    record(state->stations[0], 20, 300);
    for (int16_t station : {int16_t(-1), int16_t(kStations)}) {
        state->handover.ReportStation = station;
        const ReportSource source = stationReport(*state);
        QCOMPARE(source.station, int(station));
        QVERIFY(source.samples().store.empty());
    }
}

void TstCharts::trendWindowShowsGridThenRedrawsEverySecond_data()
{
    QTest::addColumn<int>("graphStation");
    QTest::addColumn<bool>("curve");
    // Only station 1 has samples.
    QTest::newRow("recorded station") << 1 << true;
    QTest::newRow("idle station") << 0 << false;
    QTest::newRow("no such station") << 9 << false;
}

void TstCharts::trendWindowShowsGridThenRedrawsEverySecond()
{
    QFETCH(int, graphStation);
    QFETCH(bool, curve);
    auto state = std::make_unique<SharedState>();
    state->handover.GraphStation = int16_t(graphStation);
    record(state->stations[1], 40, 550); // between two grid lines
    TrendWindow graph(*state, nullptr);
    QCOMPARE(graph.windowTitle(), QStringLiteral("Graph - Test %1").arg(graphStation + 1));
    auto *timer = named<QTimer>(&graph, "tmrTrend");
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(timer->isActive());

    // Until the first tick: only the grid on black.
    QImage shown = shownOf(&graph);
    QCOMPARE(shown.size(), QSize(1065, 449));
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            QVERIFY(c == Qt::black || c == kGrey);
        }
    // Grid line 5 across lies at 6000 of 12000 units down, the left one at 1000 across.
    QCOMPARE(shown.pixelColor(500, 6000 * 449 / 12000), kGrey);
    QCOMPARE(shown.pixelColor(1000 * 1065 / 12000, 300), kGrey);

    // The first tick, a second later, adds the labels and the curve of the station's samples.
    QTRY_VERIFY_WITH_TIMEOUT(hasColour(shown = shownOf(&graph), QColor(0, 255, 255)), 5000);
    QVERIFY(hasColour(shown, QColor(0, 255, 0)));
    const int row = 5500 * 449 / 12000; // the pixel holding 550 KPa
    QCOMPARE(hasColour(shown, Qt::yellow), curve);
    QCOMPARE(shown.pixelColor(200, row) == Qt::yellow, curve);
    // The grid stays above the curve where they cross.
    QCOMPARE(shown.pixelColor(2000 * 1065 / 12000, row), kGrey);
}

void TstCharts::reportWindowShowsTestAndChartAsLoaded_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("samples");
    QTest::newRow("before any test") << 1 << QString() << QString() << 0;
    QTest::newRow("after a test") << 0 << QStringLiteral("07-12-2026") << QStringLiteral("22:48:33")
                                  << 120;
}

void TstCharts::reportWindowShowsTestAndChartAsLoaded()
{
    QFETCH(int, station);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(int, samples);
    auto state = std::make_unique<SharedState>();
    StationRecord &tested = state->stations[size_t(station)];
    tested.TestStartDate = date;
    tested.TestStartTime = time;
    record(tested, samples, 550);
    record(state->stations[size_t(1 - station)], 200, 150); // the other station's test
    state->handover.ReportStation = int16_t(station);

    ReportWindow report(stationReport(*state), state->handover, QString(), nullptr);
    QCOMPARE(report.windowTitle(), QStringLiteral("Report - Test %1").arg(station + 1));
    QCOMPARE(fieldText(&report, "txtTestName"), QStringLiteral("New Test"));
    QCOMPARE(fieldText(&report, "txtOperator"), QStringLiteral("Operator"));
    QCOMPARE(fieldText(&report, "txtDate"), date);
    QCOMPARE(fieldText(&report, "txtTime"), time);
    for (const char *name : {"cmdSave", "cmdPrint"}) {
        auto *button = named<QPushButton>(&report, QString::fromLatin1(name));
        QCOMPARE(button->toolTip(), QString::fromLatin1(name + 3));
        QCOMPARE(button->accessibleName(), QString::fromLatin1(name + 3));
        QVERIFY(button->text().isEmpty()); // a picture button
    }

    // The chart is there before the window is shown: the grid, and the data line in the
    // middle of a cell only when the station has samples.
    const QImage chart = shownOf(&report);
    QCOMPARE(chart.size(), QSize(641, 409));
    const int x = 3500 * 641 / 12000;
    QCOMPARE(chart.pixelColor(x, 6000 * 409 / 12000), QColor(Qt::black));
    QCOMPARE(chart.pixelColor(x, qRound(5500 * 409 / 12000.0)),
             samples > 0 ? QColor(Qt::black) : QColor(Qt::white));
    QCOMPARE(chart.pixelColor(x, qRound(9500 * 409 / 12000.0)), QColor(Qt::white));
    // Later samples are not followed: the window's chart stays as drawn at load.
    record(tested, 120, 150);
    QCOMPARE(shownOf(&report), chart);
}

void TstCharts::reportDetailsFrameIsWhite_data()
{
    // Points of the window in twips, off every control, where the background shows.
    QTest::addColumn<QPoint>("at");
    QTest::newRow("frame, left of the labels") << QPoint(120 + 120, 120 + 800);
    QTest::newRow("frame, between date and time") << QPoint(120 + 3000, 120 + 1200);
    QTest::newRow("frame, right of the fields") << QPoint(120 + 5900, 120 + 800);
    QTest::newRow("frame, below the last row") << QPoint(120 + 3000, 120 + 1450);
    QTest::newRow("window, beside the buttons") << QPoint(3000, 2100);
}

void TstCharts::reportDetailsFrameIsWhite()
{
    QFETCH(QPoint, at);
    SharedState state;
    ReportWindow report(stationReport(state), state.handover, QString(), nullptr);
    const QImage shown = report.grab().toImage();
    QCOMPARE(shown.pixelColor(twips(at.x()), twips(at.y())), QColor(0xff, 0xff, 0xff));
}

QTEST_MAIN(TstCharts)
#include "tst_charts.moc"
