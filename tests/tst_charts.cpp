#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/trendwindow.h"
#include "charts/lineelement.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "recordingsurface.h"
#include "report/reportwindow.h"
#include "report/reportfilename.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
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

std::unique_ptr<SharedState> freshState()
{
    return std::make_unique<SharedState>();
}

/// A recording of samples 0..n of the station, each at the given pressure.
void record(SharedState &state, int station, int n, float pressure)
{
    for (int k = 0; k <= n && k < kSampleSlots; ++k)
        state.stations[size_t(station)].Samples[size_t(k)] = pressure;
    state.stations[size_t(station)].SampleCount = int16_t(n);
}

/// The trend tick on a recorder with the chart's user scale over it.
std::unique_ptr<RecordingSurface> trendOf(const SharedState &state)
{
    auto surface = std::make_unique<RecordingSurface>();
    surface->ScaleHeight = kChartScale;
    surface->ScaleWidth = kChartScale;
    drawTrendTick(*surface, state);
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

QImage shownOf(PictureBox *box)
{
    return box->area().picture();
}

} // namespace

class TstCharts : public QObject {
    Q_OBJECT

private slots:
    void trendSpanFollowsSampleCount_data();
    void trendSpanFollowsSampleCount();
    void trendDrawsFixedTextsInTheirColours();
    void trendClearsFirstAndLeavesForeColorToTexts();
    void pressureMapsOntoTheGrid_data();
    void pressureMapsOntoTheGrid();
    void trendNeverReadsPastSample10000();
    void outOfRangeStationDrawsNoCurve();
    void farOffPressuresReachTheSurfaceFinite();
    void reportScaleSpansTheWholeRecording_data();
    void reportScaleSpansTheWholeRecording();
    void reportDrawsGridLabelsAndTwoPixelLine();
    void reportWithoutSamplesDrawsNoLine_data();
    void reportWithoutSamplesDrawsNoLine();
    void reportPageAddsHeaderAndLowersLabels();
    void reportFileNameHoldsStationDateAndTime();

    void graphWindowTitleAndGridBeforeFirstTick();
    void graphWindowTickDrawsLabelsAndCurve();
    void reportWindowBeforeAnyTest();
    void reportWindowShowsTestAndChart();
};

void TstCharts::trendSpanFollowsSampleCount_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("endLabel");
    QTest::addColumn<int>("segments");
    QTest::addColumn<qreal>("lastX");
    QTest::newRow("no sample") << 0 << "00:00:10" << 0 << 0.0;
    QTest::newRow("1") << 1 << "00:00:10" << 1 << 2000.0;
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
    auto state = freshState();
    state->handover.GraphStation = 1;
    record(*state, 1, std::max(n, 0), 400);
    state->stations[1].SampleCount = int16_t(n);

    const auto surfaceOwner = trendOf(*state);
    const RecordingSurface &surface = *surfaceOwner;
    const RecordingSurface::Text *label = surface.textAt({10700, 11250});
    QVERIFY(label);
    QCOMPARE(label->text, endLabel);
    QCOMPARE(label->colour, kGreen);
    const auto curve = surface.segmentsIn(kYellow);
    QCOMPARE(curve.size(), segments);
    if (segments > 0) {
        QCOMPARE(curve.first().line.p1(), QPointF(1000, 7000));
        QCOMPARE(curve.last().line.p2(), QPointF(lastX, 7000));
        QCOMPARE(curve.first().width, 1.0);
        // One segment for each pair of neighbouring samples, in index order.
        for (qsizetype k = 1; k < curve.size(); ++k)
            QCOMPARE(curve[k].line.p1(), curve[k - 1].line.p2());
    }
}

void TstCharts::trendDrawsFixedTextsInTheirColours()
{
    auto state = freshState();
    const auto surfaceOwner = trendOf(*state);
    const RecordingSurface &surface = *surfaceOwner;
    QCOMPARE(surface.texts.size(), 16);
    for (int i = 0; i <= 10; ++i) {
        const RecordingSurface::Text &label = surface.texts[i];
        QCOMPARE(label.text, QStringLiteral(" %1 ").arg(i * 100));
        QCOMPARE(label.at, QPointF(500, 10750 - 1000 * i));
        QCOMPARE(label.colour, kCyan);
    }
    const QList<std::tuple<QString, QPointF, Colour>> captions{
        {"Pressure", {100, 100}, kCyan},
        {"KPa", {200, 400}, kCyan},
        {"Time", {5900, 11250}, kGreen},
        {"00:00:00", {700, 11250}, kGreen},
        {"00:00:10", {10700, 11250}, kGreen}};
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(surface.texts[11 + i].text, std::get<0>(captions[i]));
        QCOMPARE(surface.texts[11 + i].at, std::get<1>(captions[i]));
        QCOMPARE(surface.texts[11 + i].colour, std::get<2>(captions[i]));
    }
    // The trend's grid is the window's line elements, never drawn here.
    QVERIFY(surface.segments.isEmpty());
}

void TstCharts::trendClearsFirstAndLeavesForeColorToTexts()
{
    auto state = freshState();
    record(*state, 0, 5, 100);
    RecordingSurface surface;
    surface.ScaleHeight = kChartScale;
    surface.ScaleWidth = kChartScale;
    surface.CurrentX = 800;
    surface.print(QStringLiteral("stale"));
    drawTrendTick(surface, *state);
    QCOMPARE(surface.clears, 1);
    QVERIFY(!surface.textList().contains(QStringLiteral("stale")));
    // The curve's colour goes with each line; ForeColor stays the last text colour.
    QCOMPARE(surface.ForeColor, kGreen);
    QCOMPARE(surface.DrawWidth, int16_t(1));
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
    auto state = freshState();
    record(*state, 0, 4, pressure);
    state->handover.ReportStation = 0;
    const auto trendOwner = trendOf(*state);
    const RecordingSurface &trend = *trendOwner;
    for (const auto &segment : trend.segmentsIn(kYellow)) {
        QCOMPARE(segment.line.y1(), y);
        QCOMPARE(segment.line.y2(), y);
    }
    RecordingSurface report;
    drawReportChart(report, *state);
    const auto line = report.segments.mid(22);
    QCOMPARE(line.size(), 4);
    for (const auto &segment : line) {
        QCOMPARE(segment.line.y1(), y);
        QCOMPARE(segment.line.y2(), y);
    }
}

void TstCharts::trendNeverReadsPastSample10000()
{
    auto state = freshState();
    record(*state, 0, 12000, 300);
    state->stations[0].Samples[10001] = 900; // would show as a jump if read
    const auto surfaceOwner = trendOf(*state);
    const RecordingSurface &surface = *surfaceOwner;
    const auto curve = surface.segmentsIn(kYellow);
    QCOMPARE(curve.size(), 10000);
    for (const auto &segment : curve)
        QCOMPARE(segment.line.y2(), 8000.0);
}

void TstCharts::outOfRangeStationDrawsNoCurve()
{
    auto state = freshState();
    record(*state, 0, 20, 300);
    state->handover.GraphStation = 9;
    const auto trendOwner = trendOf(*state);
    const RecordingSurface &trend = *trendOwner;
    QVERIFY(trend.segments.isEmpty());
    QCOMPARE(trend.texts.size(), 16);
    state->handover.ReportStation = -1;
    RecordingSurface report;
    drawReportChart(report, *state);
    QCOMPARE(report.segments.size(), 22);
}

void TstCharts::farOffPressuresReachTheSurfaceFinite()
{
    auto state = freshState();
    record(*state, 0, 6, 500);
    state->stations[0].Samples[1] = 1.0e30f;
    state->stations[0].Samples[2] = -std::numeric_limits<float>::infinity();
    state->stations[0].Samples[3] = std::numeric_limits<float>::quiet_NaN();
    state->stations[0].Samples[4] = -3.0e38f;
    const auto surfaceOwner = trendOf(*state);
    const RecordingSurface &surface = *surfaceOwner;
    const auto curve = surface.segmentsIn(kYellow);
    QCOMPARE(curve.size(), 6);
    for (const auto &segment : curve) {
        QVERIFY(std::isfinite(segment.line.y1()));
        QVERIFY(std::isfinite(segment.line.y2()));
    }
    QVERIFY(curve[0].line.y2() < -1.0e6); // far above the top
    QVERIFY(curve[1].line.y2() > 1.0e6);  // far below the bottom
    QCOMPARE(curve[5].line.p2(), QPointF(7000, 6000));
}

void TstCharts::reportScaleSpansTheWholeRecording_data()
{
    QTest::addColumn<int>("n");
    QTest::newRow("1") << 1;
    QTest::newRow("3") << 3;
    QTest::newRow("7") << 7;
    QTest::newRow("3725") << 3725;
    QTest::newRow("largest count") << 32767;
}

void TstCharts::reportScaleSpansTheWholeRecording()
{
    QFETCH(int, n);
    QCOMPARE(reportScale(n), 10000.0f / float(n));
    auto state = freshState();
    state->handover.ReportStation = 1;
    record(*state, 1, n, 250);
    RecordingSurface surface;
    drawReportChart(surface, *state);
    const auto line = surface.segments.mid(22);
    QCOMPARE(line.size(), n);
    QCOMPARE(line.first().line.p1(), QPointF(1000, 8500));
    // Sample n on the right grid line, within float rounding of the 32-bit scale.
    QVERIFY2(std::abs(line.last().line.x2() - 11000) < 0.01,
             qPrintable(QString::number(line.last().line.x2(), 'f', 4)));
    const float scale = reportScale(n);
    const int k = n / 2;
    QCOMPARE(line[k].line.x1(), qreal(float(1000.0 + double(scale) * k)));
}

void TstCharts::reportDrawsGridLabelsAndTwoPixelLine()
{
    auto state = freshState();
    record(*state, 0, 3725, 500);
    RecordingSurface surface(QSizeF(6000, 3000)); // not square: units are mapped per axis
    drawReportChart(surface, *state);
    QCOMPARE(surface.ScaleWidth, 12000.0f);
    QCOMPARE(surface.ScaleHeight, 12000.0f);

    // Grid: for each i a horizontal then a vertical line, 1 pixel, black.
    for (int i = 0; i <= 10; ++i) {
        const qreal at = 1000 + 1000 * i;
        QCOMPARE(surface.segments[2 * i].line, QLineF(500, at / 4, 5500, at / 4));
        QCOMPARE(surface.segments[2 * i + 1].line, QLineF(at / 2, 250, at / 2, 2750));
        QCOMPARE(surface.segments[2 * i].width, 1.0);
        QCOMPARE(surface.segments[2 * i].colour, kBlack);
    }
    const QStringList texts = surface.textList();
    QCOMPARE(texts.mid(11), (QStringList{"Pressure", "KPa", "Time", "00:00:00", "01:02:05"}));
    QCOMPARE(surface.texts[0].at, QPointF(250, 10750 / 4.0));
    QCOMPARE(surface.texts[10].at, QPointF(250, 750 / 4.0));
    for (const auto &text : surface.texts)
        QCOMPARE(text.colour, kBlack);
    // The data line: 2 pixels, ForeColor, a constant 500 KPa on the middle grid line.
    const auto line = surface.segments.mid(22);
    QCOMPARE(line.size(), 3725);
    for (const auto &segment : line) {
        QCOMPARE(segment.width, 2.0);
        QCOMPARE(segment.colour, kBlack);
        QCOMPARE(segment.line.y1(), 1500.0);
    }
}

void TstCharts::reportWithoutSamplesDrawsNoLine_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("duration");
    QTest::newRow("none") << 0 << "00:00:00";
    QTest::newRow("negative") << -1 << "00:00:-01";
}

void TstCharts::reportWithoutSamplesDrawsNoLine()
{
    QFETCH(int, n);
    QFETCH(QString, duration);
    auto state = freshState();
    state->stations[0].SampleCount = int16_t(n);
    RecordingSurface surface;
    drawReportChart(surface, *state);
    QCOMPARE(surface.segments.size(), 22);
    QCOMPARE(surface.DrawWidth, int16_t(1));
    QCOMPARE(surface.texts.last().text, duration);
}

void TstCharts::reportPageAddsHeaderAndLowersLabels()
{
    auto state = freshState();
    record(*state, 0, 32767, 200);
    RecordingSurface page(QSizeF(9000, 6000));
    drawReportPage(page, *state, {"Leak run 4", "", "07-12-2026", ""});
    const QStringList texts = page.textList();
    QCOMPARE(texts.mid(0, 4), (QStringList{"Leak run 4", "Operator: ", "07-12-2026", ""}));
    QCOMPARE(page.texts[0].at, QPointF(3750, 200));
    QCOMPARE(page.texts[1].at, QPointF(6000, 200));
    QCOMPARE(page.texts[2].at, QPointF(3750, 400));
    QCOMPARE(page.texts[3].at, QPointF(6000, 400));
    // Labels 10950 - 1000 i on paper; the rest as on screen, ending with the duration.
    QCOMPARE(page.texts[4].at, QPointF(375, 10950 / 2.0));
    QCOMPARE(page.texts[14].at, QPointF(375, 950 / 2.0));
    QCOMPARE(texts.last(), QStringLiteral("09:06:07"));
    QCOMPARE(page.segments.size(), 22 + 32767);
}

void TstCharts::reportFileNameHoldsStationDateAndTime()
{
    auto state = freshState();
    QCOMPARE(reportFileName(*state, 1), QStringLiteral("Kestrava test 2.pdf"));
    state->stations[0].TestStartDate = QStringLiteral("07-12-2026");
    state->stations[0].TestStartTime = QStringLiteral("22:48:33");
    QCOMPARE(reportFileName(*state, 0), QStringLiteral("Kestrava test 1 07-12-2026 22-48-33.pdf"));
}

void TstCharts::graphWindowTitleAndGridBeforeFirstTick()
{
    auto state = freshState();
    state->handover.GraphStation = 1;
    record(*state, 1, 30, 500);
    TrendWindow graph(*state, nullptr);
    QCOMPARE(graph.windowTitle(), QStringLiteral("Graph - Test 2"));
    QCOMPARE(graph.tmrTrend->interval(), 1000);
    QVERIFY(graph.tmrTrend->isActive());
    QCOMPARE(graph.y_axis[10]->X1, 11000.0f);
    QCOMPARE(graph.x_axis[3]->Y2, 4000.0f);

    // Until the first tick: only the grid on black.
    const QImage shown = shownOf(graph.pic);
    QCOMPARE(shown.size(), QSize(1065, 449));
    const QColor grey(64, 64, 64);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            QVERIFY(c == Qt::black || c == grey);
        }
    // Grid line 5 across lies at 6000 of 12000 units down, the left one at 1000 across.
    QCOMPARE(shown.pixelColor(500, 6000 * 449 / 12000), grey);
    QCOMPARE(shown.pixelColor(1000 * 1065 / 12000, 300), grey);
}

void TstCharts::graphWindowTickDrawsLabelsAndCurve()
{
    auto state = freshState();
    TrendWindow graph(*state, nullptr);
    graph.tmrTrendTimer();
    QImage shown = shownOf(graph.pic);
    QVERIFY(hasColour(shown, QColor(0, 255, 255)));
    QVERIFY(hasColour(shown, QColor(0, 255, 0)));
    QVERIFY(!hasColour(shown, QColor(255, 255, 0))); // before any test: no curve

    record(*state, 0, 40, 550); // between two grid lines
    graph.tmrTrendTimer();
    shown = shownOf(graph.pic);
    const int row = 5500 * 449 / 12000; // the pixel holding the point
    QCOMPARE(shown.pixelColor(200, row), QColor(255, 255, 0));
    // The grid stays above the curve where they cross.
    QCOMPARE(shown.pixelColor(2000 * 1065 / 12000, row), QColor(64, 64, 64));
}

void TstCharts::reportWindowBeforeAnyTest()
{
    auto state = freshState();
    state->handover.ReportStation = 1;
    ReportWindow report(*state, nullptr);
    QCOMPARE(report.windowTitle(), QStringLiteral("Report - Test 2"));
    QCOMPARE(report.txtTestName->text(), QStringLiteral("New Test"));
    QCOMPARE(report.txtOperator->text(), QStringLiteral("Operator"));
    QCOMPARE(report.txtDate->text(), QString());
    QCOMPARE(report.txtTime->text(), QString());
    QCOMPARE(report.cmdSave->toolTip(), QStringLiteral("Save"));
    QCOMPARE(report.cmdPrint->toolTip(), QStringLiteral("Print"));
    QCOMPARE(report.cmdPrint->accessibleName(), QStringLiteral("Print"));
    QVERIFY(report.cmdSave->text().isEmpty());

    // The chart is there before the window is shown: grid lines, and no data line in the
    // middle of a cell.
    const QImage chart = shownOf(report.pic);
    QCOMPARE(chart.size(), QSize(641, 409));
    QCOMPARE(chart.pixelColor(3500 * 641 / 12000, 6000 * 409 / 12000), QColor(Qt::black));
    QCOMPARE(chart.pixelColor(3500 * 641 / 12000, qRound(5500 * 409 / 12000.0)), QColor(Qt::white));
}

void TstCharts::reportWindowShowsTestAndChart()
{
    auto state = freshState();
    state->stations[0].TestStartDate = QStringLiteral("07-12-2026");
    state->stations[0].TestStartTime = QStringLiteral("22:48:33");
    record(*state, 0, 120, 550);
    ReportWindow report(*state, nullptr);
    QCOMPARE(report.windowTitle(), QStringLiteral("Report - Test 1"));
    QCOMPARE(report.txtDate->text(), QStringLiteral("07-12-2026"));
    QCOMPARE(report.txtTime->text(), QStringLiteral("22:48:33"));
    const QImage chart = shownOf(report.pic);
    QCOMPARE(chart.pixelColor(3500 * 641 / 12000, qRound(5500 * 409 / 12000.0)), QColor(Qt::black));
    // Later samples are not followed: the window's chart stays as drawn at load.
    record(*state, 0, 120, 150);
    QCOMPARE(shownOf(report.pic), chart);
}

QTEST_MAIN(TstCharts)
#include "tst_charts.moc"
