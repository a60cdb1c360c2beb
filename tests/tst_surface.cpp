#include "charts/columnreduction.h"
#include "charts/picturearea.h"
#include "recordingsurface.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr Colour kWhite = RGB(255, 255, 255);
constexpr Colour kBlack = RGB(0, 0, 0);
constexpr Colour kRed = RGB(255, 0, 0);
constexpr Colour kBlue = RGB(0, 0, 255);

int countPixels(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour;
    return count;
}

/// The smallest rectangle holding every pixel that is not the background.
QRect inkBox(const QImage &image, const QColor &background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

class TstSurface : public QObject {
    Q_OBJECT

private slots:
    void drawingStaysUntilClsLineElementsAbove();
    void userScaleMapsIntoNonSquareArea_data();
    void userScaleMapsIntoNonSquareArea();
    void penWidthIsInPixelsWhateverTheScale();
    void printWritesAtTheCurrentPositionAndMovesDown();
    void textHangsFromItsCornerAndIsNotStretched_data();
    void textHangsFromItsCornerAndIsNotStretched();
    void polylineEqualsSegmentBySegment_data();
    void polylineEqualsSegmentBySegment();
    void pointsFarOffAreClipped_data();
    void pointsFarOffAreClipped();
    void batchedDrawingUsesOneDeviceCall();
    void columnIsAPixelOfTheImage();
    void reductionKeepsEachColumnsRange_data();
    void reductionKeepsEachColumnsRange();
};

void TstSurface::drawingStaysUntilClsLineElementsAbove()
{
    PictureArea area(QSize(120, 120), kWhite);
    area.ScaleWidth = 12000;
    area.ScaleHeight = 12000;
    const QColor grey(64, 64, 64);
    LineElement *element = area.addLineElement(RGB(64, 64, 64));
    *element = {1000, 6000, 11000, 6000, RGB(64, 64, 64)};

    // Lines add up and stay from one repaint to the next; the element shows above a line drawn
    // across it later.
    area.DrawWidth = 3;
    area.line(6000, 1000, 6000, 11000, kBlue);
    const QImage first = area.picture();
    QCOMPARE(area.picture(), first);
    area.line(1000, 3000, 11000, 3000, kRed);
    QImage shown = area.picture();
    QCOMPARE(shown.pixelColor(60, 40), QColor(Qt::blue));
    QCOMPARE(shown.pixelColor(30, 30), QColor(Qt::red));
    QCOMPARE(shown.pixelColor(60, 60), grey);
    QCOMPARE(shown.pixelColor(30, 60), grey);

    // Cls erases text and lines to the background and puts the position back at the origin;
    // the element stays.
    area.ForeColor = kBlack;
    area.CurrentX = 1000;
    area.CurrentY = 4000;
    area.print(QStringLiteral("W"));
    area.CurrentX = 4000;
    area.cls();
    shown = area.picture();
    QCOMPARE(countPixels(shown, grey), 101); // from x 10 to x 110, end pixel included
    QCOMPARE(countPixels(shown, Qt::white), 120 * 120 - 101);
    QCOMPARE(area.CurrentX, 0.0f);
    QCOMPARE(area.CurrentY, 0.0f);

    // The element follows its end points; the drawing below it does not hold it.
    element->Y1 = element->Y2 = 3000;
    shown = area.picture();
    QCOMPARE(shown.pixelColor(30, 60), QColor(Qt::white));
    QCOMPARE(shown.pixelColor(30, 30), grey);
}

void TstSurface::userScaleMapsIntoNonSquareArea_data()
{
    QTest::addColumn<QPointF>("user");
    QTest::addColumn<QPoint>("expected");
    // 12000 x 12000 units over 240 x 120 pixels: 50 units a pixel across, 100 down.
    QTest::newRow("plot corner") << QPointF(1000, 1000) << QPoint(20, 10);
    QTest::newRow("far corner") << QPointF(11000, 11000) << QPoint(220, 110);
    QTest::newRow("uneven") << QPointF(3000, 9000) << QPoint(60, 90);
}

void TstSurface::userScaleMapsIntoNonSquareArea()
{
    QFETCH(QPointF, user);
    QFETCH(QPoint, expected);
    PictureArea area(QSize(240, 120), kWhite);
    area.ScaleHeight = 12000;
    area.ScaleWidth = 12000;
    // A short stroke down from the point: its top pixel is where the point lies.
    area.line(float(user.x()), float(user.y()), float(user.x()), float(user.y()) + 300, kBlack);
    const QImage shown = area.picture();
    QCOMPARE(shown.pixelColor(expected), QColor(Qt::black));
    QCOMPARE(inkBox(shown, Qt::white).topLeft(), expected);
}

void TstSurface::penWidthIsInPixelsWhateverTheScale()
{
    PictureArea area(QSize(200, 100), kWhite);
    area.ScaleWidth = 100;   // 2 pixels a unit across
    area.ScaleHeight = 1000; // 10 units a pixel down
    area.line(10, 500, 90, 500, kBlack);
    QCOMPARE(inkBox(area.picture(), Qt::white).height(), 1);
    area.cls();
    area.DrawWidth = 2;
    area.line(10, 500, 90, 500, kBlack);
    QCOMPARE(inkBox(area.picture(), Qt::white).height(), 2);
    area.cls();
    area.line(50, 100, 50, 900, kBlack);
    QCOMPARE(inkBox(area.picture(), Qt::white).width(), 2);
}

void TstSurface::printWritesAtTheCurrentPositionAndMovesDown()
{
    // Device 1200 x 600, a line 20 device units high; user scale 12000 x 12000, so a line is
    // 400 units down.
    RecordingSurface surface(QSizeF(1200, 600), 20);
    surface.ScaleHeight = 12000;
    surface.ScaleWidth = 12000;
    surface.ForeColor = RGB(0, 255, 255);
    surface.CurrentX = 3000;
    surface.CurrentY = 1000;
    surface.printInteger(100);
    QCOMPARE(surface.CurrentX, 0.0f);
    QCOMPARE(surface.CurrentY, 1400.0f);
    surface.print(QStringLiteral("second"));
    QCOMPARE(surface.textList(), (QStringList{" 100 ", "second"}));
    QCOMPARE(surface.texts[0].at, QPointF(300, 50));
    QCOMPARE(surface.texts[0].colour, RGB(0, 255, 255));
    QCOMPARE(surface.texts[1].at, QPointF(0, 70));
}

void TstSurface::textHangsFromItsCornerAndIsNotStretched_data()
{
    QTest::addColumn<float>("scaleWidth");
    QTest::addColumn<float>("scaleHeight");
    QTest::newRow("chart scale") << 12000.0f << 12000.0f;
    QTest::newRow("lopsided scale") << 100.0f << 5000.0f;
}

void TstSurface::textHangsFromItsCornerAndIsNotStretched()
{
    QFETCH(float, scaleWidth);
    QFETCH(float, scaleHeight);
    PictureArea area(QSize(400, 200), kWhite);
    area.ScaleWidth = scaleWidth;
    area.ScaleHeight = scaleHeight;
    area.CurrentX = scaleWidth / 2;  // pixel 200
    area.CurrentY = scaleHeight / 4; // pixel 50
    area.ForeColor = kBlack;
    area.print(QStringLiteral("HW"));
    const QRect ink = inkBox(area.picture(), Qt::white);
    QVERIFY2(!ink.isEmpty(), "nothing was written");
    const QFontMetrics metrics{QFont()};
    // The letters start at the corner (give or take the side bearing) and hang below it,
    // within one line's height.
    QVERIFY2(ink.left() >= 199 && ink.left() <= 203, qPrintable(QString::number(ink.left())));
    QVERIFY2(ink.top() >= 50 && ink.top() <= 50 + metrics.ascent() / 2,
             qPrintable(QString::number(ink.top())));
    QVERIFY(ink.bottom() < 50 + metrics.height());
    // The same size under any user scale: the font's own, not stretched with the units.
    const QRect natural = metrics.boundingRect(QStringLiteral("HW"));
    QVERIFY2(std::abs(ink.width() - natural.width()) <= 3,
             qPrintable(QStringLiteral("%1 against %2").arg(ink.width()).arg(natural.width())));
    QVERIFY(ink.height() <= metrics.height());
}

void TstSurface::polylineEqualsSegmentBySegment_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("farValues");
    QTest::newRow("1 pixel, dense") << 1 << 4000 << false;
    QTest::newRow("2 pixels, few") << 2 << 12 << false;
    QTest::newRow("2 pixels, dense") << 2 << 4000 << false;
    QTest::newRow("1 pixel, far off") << 1 << 200 << true;
    QTest::newRow("2 pixels, far off") << 2 << 200 << true;
}

void TstSurface::polylineEqualsSegmentBySegment()
{
    QFETCH(int, width);
    QFETCH(int, count);
    QFETCH(bool, farValues);
    QRandomGenerator random(1234 + count);
    std::vector<QPointF> points;
    for (int k = 0; k <= count; ++k) {
        float y = float(1000 + random.bounded(10000));
        if (farValues && k % 7 == 3)
            y = k % 2 ? 1.0e30f : -std::numeric_limits<float>::infinity();
        points.emplace_back(1000.0 + 10000.0 * k / count, y);
    }

    PictureArea batched(QSize(600, 300), kWhite);
    PictureArea single(QSize(600, 300), kWhite);
    for (PictureArea *area : {&batched, &single}) {
        area->ScaleWidth = 12000;
        area->ScaleHeight = 12000;
        area->DrawWidth = int16_t(width);
        area->ForeColor = kBlue;
    }
    batched.polyline(points);
    for (size_t k = 0; k + 1 < points.size(); ++k)
        single.line(float(points[k].x()), float(points[k].y()), float(points[k + 1].x()),
                    float(points[k + 1].y()));
    const QImage a = batched.picture();
    QVERIFY(countPixels(a, Qt::blue) > count / 4);
    QCOMPARE(a, single.picture());
}

void TstSurface::pointsFarOffAreClipped_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<float>("far");
    QTest::newRow("1 pixel, huge") << 1 << 1.0e30f;
    QTest::newRow("2 pixels, infinite") << 2 << std::numeric_limits<float>::infinity();
    QTest::newRow("2 pixels, huge negative") << 2 << -1.0e30f;
}

void TstSurface::pointsFarOffAreClipped()
{
    QFETCH(int, width);
    QFETCH(float, far);
    PictureArea area(QSize(200, 200), kWhite);
    area.ScaleWidth = 200;
    area.ScaleHeight = 200;
    area.DrawWidth = int16_t(width);
    // From the middle straight off the edge: the visible part runs from the middle to the
    // edge as a vertical stroke, and nothing else is drawn.
    area.line(100, 100, 101, far, kBlack);
    const QRect ink = inkBox(area.picture(), Qt::white);
    QVERIFY2(ink.width() <= width + 1, qPrintable(QString::number(ink.width())));
    QVERIFY(ink.left() >= 99 && ink.right() <= 102);
    if (far > 0) {
        QVERIFY(ink.top() >= 98 && ink.top() <= 100);
        QCOMPARE(ink.bottom(), 199);
    } else {
        QCOMPARE(ink.top(), 0);
        QVERIFY(ink.bottom() >= 100 && ink.bottom() <= 102);
    }
}

void TstSurface::batchedDrawingUsesOneDeviceCall()
{
    std::vector<QPointF> points;
    for (int k = 0; k <= 10000; ++k)
        points.emplace_back(k, k % 2);
    for (int width : {1, 2}) {
        RecordingSurface surface;
        surface.DrawWidth = int16_t(width);
        surface.polyline(points, kRed);
        QCOMPARE(surface.deviceCalls, 1);
        QCOMPARE(surface.segments.size(), 10000);
        QCOMPARE(surface.segments.last().line, QLineF(9999, 1, 10000, 0));
        QCOMPARE(surface.segments.last().width, qreal(width));
    }
    // Separate polylines in one call: none joins the next, one of a single point draws nothing.
    RecordingSurface surface;
    const std::vector<QPointF> runs{{0, 0}, {1, 1}, {2, 0}, {5, 5}, {7, 7}, {8, 8}};
    surface.polylines(runs, std::vector<int>{3, 4, 6}, kRed);
    QCOMPARE(surface.deviceCalls, 1);
    QList<QLineF> lines;
    for (const auto &segment : surface.segments)
        lines << segment.line;
    QCOMPARE(lines, (QList<QLineF>{{0, 0, 1, 1}, {1, 1, 2, 0}, {7, 7, 8, 8}}));
}

void TstSurface::columnIsAPixelOfTheImage()
{
    // 600 pixels across, or 1200 on a screen of twice the density.
    PictureArea plain(QSize(600, 300), kWhite);
    PictureArea dense(QSize(600, 300), kWhite, 2.0);
    for (PictureArea *area : {&plain, &dense})
        area->ScaleWidth = 12000;
    QCOMPARE(plain.columnWidth(), 20.0);
    QCOMPARE(dense.columnWidth(), 10.0);
}

void TstSurface::reductionKeepsEachColumnsRange_data()
{
    QTest::addColumn<QString>("values");
    QTest::addColumn<double>("step");
    QTest::addColumn<double>("columnWidth");
    QTest::addColumn<QString>("strokes");
    // Values from x = 0.125 on, "-" where not valid; the polylines kept, each as its points
    // "x:value" joined by ">". Four values a column unless the step or width says otherwise.
    auto row = [](const char *name, const char *values, const char *strokes, double step = 0.25,
                  double width = 1) {
        QTest::newRow(name) << QString(values) << step << width << QString(strokes);
    };
    row("lowest and highest, wherever they lie", "5 9 1 4", "0.5:1>0.5:9");
    row("a step crossing a column edge", "1 1 1 1 9 9 9 9", "0.5:1>0.5:5 1.5:5>1.5:9");
    row("a wider column", "1 1 1 1 9 9 9 9", "1:1>1:9", 0.25, 2);
    row("level columns", "3 3 3 3 3 3", "0:3>1:3 1:3>2:3");
    row("gaps split the run", "5 9 - 1 4 7 - 2", "0.5:5>0.5:9 0.5:1>0.5:2.5 1.5:2.5>1.5:7 1.875:2");
    row("a segment past whole columns", "1 5", "0:1>1:1 0.125:1>2.625:5 2:5>3:5", 2.5);
    row("not a number as the lowest", "5 nan 9 4", "0.5:-inf>0.5:9");
    row("nothing valid", "- - -", "");
}

void TstSurface::reductionKeepsEachColumnsRange()
{
    QFETCH(QString, values);
    QFETCH(double, step);
    QFETCH(double, columnWidth);
    QFETCH(QString, strokes);
    std::vector<float> numbers;
    std::vector<uint8_t> valid;
    for (const QString &value : values.split(u' ')) {
        numbers.push_back(value == u"nan" ? std::numeric_limits<float>::quiet_NaN()
                                          : value.toFloat());
        valid.push_back(value != u"-");
    }
    const CurvePolylines curve = reduceToColumns(numbers, valid, {0.125, step}, columnWidth);
    QStringList polylines;
    int begin = 0;
    for (const int end : curve.ends) {
        QStringList points;
        for (int i = begin; i < end; ++i)
            points << QStringLiteral("%1:%2")
                          .arg(curve.points[size_t(i)].x())
                          .arg(curve.points[size_t(i)].y());
        polylines << points.join(u'>');
        begin = end;
    }
    QCOMPARE(polylines.join(u' '), strokes);
}

QTEST_MAIN(TstSurface)
#include "tst_surface.moc"
