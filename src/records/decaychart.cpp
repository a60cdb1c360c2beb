#include "records/decaychart.h"

#include "app/textrules.h"
#include "charts/drawingsurface.h"
#include "records/testrecord.h"

#include <QPointF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr Colour kFrame = RGB(128, 128, 128);
constexpr Colour kReference = RGB(192, 192, 192);
constexpr Colour kLimit = RGB(255, 0, 0);
constexpr Colour kCurve = RGB(0, 0, 255);
constexpr Colour kText = RGB(0, 0, 0);
constexpr double kLeastRange = 0.1; // KPa

QString kpa(double value)
{
    return QString::number(value, 'f', 2) + QStringLiteral(" KPa");
}

void printAt(DrawingSurface &surface, double x, double y, const QString &text)
{
    surface.CurrentX = float(x);
    surface.CurrentY = float(y);
    surface.print(text);
}

/// Builds the curve's polylines, one per run of valid samples, and draws each.
class CurvePen {
public:
    CurvePen(DrawingSurface &surface) : m_surface(surface) {}
    void add(QPointF point) { m_run.push_back(point); }
    void breakRun()
    {
        if (m_run.size() == 1) // a lone sample between gaps still shows
            m_run.push_back(m_run.front() + QPointF(1, 0));
        if (m_run.size() > 1)
            m_surface.polyline(m_run, kCurve);
        m_run.clear();
    }

private:
    DrawingSurface &m_surface;
    std::vector<QPointF> m_run;
};

} // namespace

DecayCurve decayCurve(const TestRecord &record, std::span<const TraceSample> trace,
                      FigurePhase phase)
{
    DecayCurve curve;
    const std::optional<double> reference = phaseReference(record, phase);
    if (!reference)
        return curve;
    curve.fallLimit = phase == FigurePhase::Leak ? record.parameters.LeakFallLimit
                                                 : record.parameters.BathFallLimit;
    std::optional<int64_t> first;
    for (const TraceSample &sample : trace) {
        if (!inPhase(record, sample, phase))
            continue;
        if (!first)
            first = sample.elapsed;
        curve.seconds.push_back(float(sample.elapsed - *first));
        curve.relative.push_back(sample.pressureValid ? float(double(sample.pressure) - *reference)
                                                      : std::numeric_limits<float>::quiet_NaN());
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
    g.plot = QRectF(QPointF(std::round(size.width() * 0.14), std::round(size.height() * 0.06)),
                    QPointF(size.width() - std::round(size.width() * 0.04),
                            size.height() - std::round(size.height() * 0.12)));
    const size_t n = std::min(curve.seconds.size(), curve.relative.size());
    // NaN fails every comparison, so samples that are not valid drop out by themselves.
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -lowest;
    int valid = 0;
    for (size_t i = 0; i < n; ++i) {
        const float value = curve.relative[i];
        lowest = value < lowest ? value : lowest;
        highest = value > highest ? value : highest;
        valid += value == value;
    }
    if (valid == 0)
        lowest = highest = 0;
    g.top = std::max(double(highest), 0.0);
    g.bottom = std::min(double(lowest), g.top - kLeastRange);
    g.seconds = n > 0 ? double(curve.seconds[n - 1]) : 0.0;
    const auto yOf = [&g](double value) {
        return g.plot.top() + (g.top - value) / (g.top - g.bottom) * g.plot.height();
    };
    const auto across = [&surface, &g](double y, Colour colour) {
        surface.line(float(g.plot.left()), float(y), float(g.plot.right()), float(y), colour);
    };

    // Frame, reference and limit.
    const QRectF &p = g.plot;
    const QPointF frame[] = {p.topLeft(), p.topRight(), p.bottomRight(), p.bottomLeft(),
                             p.topLeft()};
    surface.polyline(frame, kFrame);
    if (g.top > 0)
        across(yOf(0), kReference);
    const double limit = -double(curve.fallLimit);
    const bool limitShown = limit >= g.bottom && limit <= g.top;
    if (limitShown)
        across(yOf(limit), kLimit);

    // Labels: the range at the left, the time below, the limit beside its line or below.
    surface.ForeColor = kText;
    const double textGap = size.height() * 0.01;
    printAt(surface, size.width() * 0.01, p.top(), kpa(g.top));
    printAt(surface, size.width() * 0.01, p.bottom() - size.height() * 0.05, kpa(g.bottom));
    printAt(surface, p.left(), p.bottom() + textGap, QStringLiteral("00:00:00"));
    printAt(surface, p.right() - size.width() * 0.12, p.bottom() + textGap,
            clockText(int(g.seconds)));
    printAt(surface, p.left() + size.width() * 0.3, p.bottom() + textGap,
            QStringLiteral("limit ") + kpa(limit) +
                (limitShown ? QString() : QStringLiteral(" (below the chart)")));

    // The curve.
    const double span = g.seconds > 0 ? g.seconds : 1.0;
    const auto xOf = [&](float seconds) { return p.left() + double(seconds) / span * p.width(); };
    CurvePen pen(surface);
    const int columns = std::max(1, int(p.width()));
    g.byColumns = valid > columns;
    if (!g.byColumns) {
        for (size_t i = 0; i < n; ++i) {
            if (std::isnan(curve.relative[i]))
                pen.breakRun();
            else
                pen.add(QPointF(xOf(curve.seconds[i]), yOf(curve.relative[i])));
        }
        pen.breakRun();
        return g;
    }
    // One stroke per column from its first sample's side to its last's, through its lowest
    // and highest, joined to the next column.
    const float toColumn = float(columns / span);
    int column = -1;
    float first = 0, last = 0, low = 0, high = 0;
    const auto flushColumn = [&] {
        if (column < 0)
            return;
        const double x = p.left() + column + 0.5;
        const bool falling = last <= first;
        pen.add(QPointF(x, yOf(falling ? high : low)));
        pen.add(QPointF(x, yOf(falling ? low : high)));
        column = -1;
    };
    for (size_t i = 0; i < n; ++i) {
        const float value = curve.relative[i];
        if (std::isnan(value)) {
            flushColumn();
            pen.breakRun();
            continue;
        }
        const int at = std::clamp(int(curve.seconds[i] * toColumn), 0, columns - 1);
        if (at != column) {
            flushColumn();
            column = at;
            first = low = high = value;
        }
        last = value;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    flushColumn();
    pen.breakRun();
    return g;
}
