#include "records/decaychart.h"

#include "charts/drawingsurface.h"
#include "records/testrecord.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr Colour kFrame = RGB(128, 128, 128);
constexpr Colour kReference = RGB(160, 160, 160);
constexpr Colour kLimit = RGB(255, 0, 0);
constexpr Colour kCurve = RGB(0, 0, 255);
constexpr Colour kGapBand = RGB(232, 232, 232);
constexpr Colour kText = RGB(0, 0, 0);
constexpr double kLeastRange = 0.1; // KPa
constexpr double kMargin = 0.1;     // of the range, above and below
/// Samples further apart than this leave the seconds between them without a reading.
constexpr float kLongestStep = 1.5f;

QString kpa(double value)
{
    return QString::number(value, 'f', 2) + QStringLiteral(" KPa");
}

QString seconds(double value)
{
    return QString::number(value, 'f', 0) + QStringLiteral(" s");
}

void printAt(DrawingSurface &surface, double x, double y, const QString &text)
{
    surface.CurrentX = float(x);
    surface.CurrentY = float(y);
    surface.print(text);
}

/// Builds the curve's polylines, one per run of readings between gaps, and draws each.
class CurvePen {
public:
    explicit CurvePen(DrawingSurface &surface) : m_surface(surface) {}
    void add(QPointF point) { m_run.push_back(point); }
    void breakRun()
    {
        if (m_run.empty())
            return;
        // A run of one point (a reading alone between gaps) still shows, as a short stroke.
        const bool onePoint = std::all_of(m_run.begin(), m_run.end(),
                                          [this](QPointF p) { return p == m_run.front(); });
        if (onePoint)
            m_run = {m_run.front() - QPointF(1, 0), m_run.front() + QPointF(1, 0)};
        m_surface.polyline(m_run, kCurve);
        m_run.clear();
    }

private:
    DrawingSurface &m_surface;
    std::vector<QPointF> m_run;
};

const char *phaseName(FigurePhase phase)
{
    switch (phase) {
    case FigurePhase::Leak:
        return "leak test";
    case FigurePhase::Main:
        return "main test";
    case FigurePhase::Post:
        break;
    }
    return "post-test";
}

} // namespace

DecayCurve decayCurve(const RecordDetails &details, FigurePhase phase)
{
    const TestRecord &record = details.record;
    DecayCurve curve;
    curve.phaseName = QLatin1String(phaseName(phase));
    const std::optional<double> reference = phaseReference(record, phase);
    const std::optional<QDateTime> from = referenceTime(record, phase);
    if (!reference || !from)
        return curve;
    curve.ran = true;
    curve.fallLimit = phase == FigurePhase::Leak ? record.parameters.LeakFallLimit
                                                 : record.parameters.BathFallLimit;
    for (const TraceSample &sample : details.trace) {
        if (!inPhase(record, sample, phase))
            continue;
        curve.seconds.push_back(float(from->msecsTo(sample.time)) / 1000.0f);
        curve.relative.push_back(sample.pressureValid ? float(double(sample.pressure) - *reference)
                                                      : std::numeric_limits<float>::quiet_NaN());
    }
    if (const Decision *decision = decidingReading(record, details.decisions, phase)) {
        curve.decidingSecond = float(from->msecsTo(decision->time)) / 1000.0f;
        curve.decidingRelative = float(-decision->fall());
    }
    return curve;
}

DecayChartGeometry drawDecayChart(DrawingSurface &surface, const DecayCurve &curve)
{
    surface.ScaleWidth = 0; // device units
    surface.ScaleHeight = 0;
    surface.DrawWidth = 1;
    surface.cls();
    const QSizeF size = surface.deviceSize();

    DecayChartGeometry g;
    g.plot = QRectF(QPointF(std::round(size.width() * 0.15), std::round(size.height() * 0.09)),
                    QPointF(size.width() - std::round(size.width() * 0.04),
                            size.height() - std::round(size.height() * 0.14)));
    const QRectF &p = g.plot;
    const QPointF frame[] = {p.topLeft(), p.topRight(), p.bottomRight(), p.bottomLeft(),
                             p.topLeft()};
    surface.ForeColor = kText;
    const double textGap = size.height() * 0.01;
    if (!curve.ran) {
        surface.polyline(frame, kFrame);
        printAt(surface, p.left() + p.width() * 0.4, p.top() + p.height() * 0.45,
                QStringLiteral("No ") + curve.phaseName);
        return g;
    }

    // The points of the curve, its deciding reading last; read where they are, not copied,
    // since a long test has a million of them.
    const size_t samples = std::min(curve.seconds.size(), curve.relative.size());
    const bool deciding = curve.decidingSecond && curve.decidingRelative;
    const size_t n = samples + (deciding ? 1 : 0);
    const auto xAt = [&](size_t i) {
        return i < samples ? curve.seconds[i] : *curve.decidingSecond;
    };
    const auto yAt = [&](size_t i) {
        return i < samples ? curve.relative[i] : *curve.decidingRelative;
    };

    // In one pass: the range (the reference, the limit and every valid reading), the last
    // second, and the gaps (runs without a valid reading, and seconds with no sample at all).
    const double limit = -double(curve.fallLimit);
    double high = std::max(0.0, limit), low = std::min(0.0, limit);
    int valid = 0;
    double lastSecond = 1.0;
    bool inGap = false;
    double gapStart = 0, lastValid = 0;
    for (size_t i = 0; i < n; ++i) {
        const float x = xAt(i), y = yAt(i);
        lastSecond = std::max(lastSecond, double(x));
        if (std::isnan(y)) {
            if (!inGap)
                gapStart = i == 0 ? 0.0 : lastValid;
            inGap = true;
            continue;
        }
        ++valid;
        high = std::max(high, double(y));
        low = std::min(low, double(y));
        if (!inGap && i > 0 && x - lastValid > kLongestStep) {
            gapStart = lastValid;
            inGap = true;
        }
        if (inGap)
            g.gaps.emplace_back(gapStart, double(x));
        inGap = false;
        lastValid = double(x);
    }
    const double range = std::max(high - low, kLeastRange);
    g.top = high + kMargin * range;
    g.bottom = low - kMargin * range;
    g.seconds = lastSecond;
    if (inGap)
        g.gaps.emplace_back(gapStart, g.seconds);
    const double toY = g.plot.height() / (g.top - g.bottom);
    const auto yOf = [&g, toY](double value) { return g.plot.top() + (g.top - value) * toY; };
    const auto xOf = [&g](double second) {
        return g.plot.left() + std::clamp(second / g.seconds, 0.0, 1.0) * g.plot.width();
    };
    for (const auto &[first, last] : g.gaps) {
        const double left = xOf(first), right = std::max(xOf(last), left + 1);
        for (double x = std::floor(left) + 0.5; x < right; x += 1)
            surface.line(float(x), float(p.top()), float(x), float(p.bottom()), kGapBand);
    }

    // Frame, reference and limit.
    surface.polyline(frame, kFrame);
    const auto across = [&](double value, Colour colour) {
        surface.line(float(p.left()), float(yOf(value)), float(p.right()), float(yOf(value)),
                     colour);
    };
    across(0, kReference);
    across(limit, kLimit);

    // Labels with their units.
    printAt(surface, size.width() * 0.01, p.top(), kpa(g.top));
    printAt(surface, size.width() * 0.01, yOf(0) - size.height() * 0.025, kpa(0));
    printAt(surface, size.width() * 0.01, p.bottom() - size.height() * 0.05, kpa(g.bottom));
    printAt(surface, p.left(), p.bottom() + textGap, seconds(0));
    printAt(surface, p.right() - size.width() * 0.1, p.bottom() + textGap, seconds(g.seconds));
    // What is drawn, above the plot.
    printAt(surface, p.left(), std::max(0.0, p.top() - size.height() * 0.085),
            QStringLiteral("%1 from its reference; limit %2").arg(curve.phaseName, kpa(limit)));

    // The curve.
    CurvePen pen(surface);
    const int columns = std::max(1, int(p.width()));
    g.byColumns = valid > columns;
    const auto isGap = [&](size_t i) {
        return std::isnan(yAt(i)) ||
               (i > 0 && !std::isnan(yAt(i - 1)) && xAt(i) - xAt(i - 1) > kLongestStep);
    };
    if (!g.byColumns) {
        for (size_t i = 0; i < n; ++i) {
            if (isGap(i))
                pen.breakRun();
            if (!std::isnan(yAt(i)))
                pen.add(QPointF(xOf(xAt(i)), yOf(yAt(i))));
        }
        pen.breakRun();
    } else {
        // One stroke per column from its first reading's side to its last's, through its
        // lowest and highest, joined to the next column.
        int column = -1;
        float first = 0, last = 0, lowest = 0, highest = 0;
        const auto flushColumn = [&] {
            if (column < 0)
                return;
            const double x = p.left() + column + 0.5;
            const bool falling = last <= first;
            pen.add(QPointF(x, yOf(falling ? highest : lowest)));
            pen.add(QPointF(x, yOf(falling ? lowest : highest)));
            column = -1;
        };
        // Columns a second: the same mapping as xOf, without its clamp on every reading.
        const double toColumn = p.width() / g.seconds;
        for (size_t i = 0; i < n; ++i) {
            if (isGap(i)) {
                flushColumn();
                pen.breakRun();
            }
            const float x = xAt(i), value = yAt(i);
            if (std::isnan(value))
                continue;
            const int at = std::clamp(int(double(x) * toColumn), 0, columns - 1);
            if (at != column) {
                flushColumn();
                column = at;
                first = lowest = highest = value;
            }
            last = value;
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
        }
        flushColumn();
        pen.breakRun();
    }

    // The deciding reading, marked with a cross.
    if (curve.decidingSecond && curve.decidingRelative) {
        const double x = xOf(*curve.decidingSecond), y = yOf(*curve.decidingRelative);
        const double arm = std::max(3.0, size.width() * 0.006);
        surface.line(float(x - arm), float(y - arm), float(x + arm), float(y + arm), kLimit);
        surface.line(float(x - arm), float(y + arm), float(x + arm), float(y - arm), kLimit);
    }
    return g;
}
