#include "charts/columnreduction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kBelowAll = -std::numeric_limits<double>::infinity();

inline double nanAsBelowAll(double value)
{
    return value == value ? value : kBelowAll;
}

void addPolyline(CurvePolylines &out, std::initializer_list<QPointF> points)
{
    out.points.insert(out.points.end(), points);
    out.ends.push_back(int(out.points.size()));
}

/// The lowest and highest of a column so far.
struct Range {
    double low;
    double high;

    void take(double value)
    {
        low = value < low ? value : low;
        high = value > high ? value : high;
    }
};

/// Takes the values into the range, a NaN as below all: the loop that sees most values, kept
/// to comparisons of floats. It starts from a value of the range, which is never NaN.
void takeAll(Range &range, std::span<const float> values)
{
    float low = float(range.high);
    float high = low;
    bool nan = false;
    for (const float value : values) {
        low = value < low ? value : low;
        high = value > high ? value : high;
        nan |= (value != value);
    }
    range.take(low);
    range.take(high);
    if (nan)
        range.low = kBelowAll;
}

/// One run of valid values, the first at x = first.
void reduceRun(CurvePolylines &out, std::span<const float> run, double first, double step,
               double columnWidth)
{
    const size_t count = run.size();
    if (count == 1) {
        addPolyline(out, {QPointF(first, nanAsBelowAll(run[0]))});
        return;
    }
    const double perUnit = 1.0 / columnWidth;
    const double perStep = 1.0 / step;
    double column = std::floor(first * perUnit);
    Range range{nanAsBelowAll(run[0]), nanAsBelowAll(run[0])};
    const auto close = [&] {
        const double left = column * columnWidth;
        if (range.low == range.high) {
            out.points.emplace_back(left, range.low);
            out.points.emplace_back(left + columnWidth, range.low);
        } else {
            out.points.emplace_back(left + columnWidth / 2, range.low);
            out.points.emplace_back(left + columnWidth / 2, range.high);
        }
        out.ends.push_back(int(out.points.size()));
    };
    size_t k = 0; // the last value taken
    while (true) {
        // The values up to the column's right edge, found by arithmetic, not point by point
        // (and without the library's rounding, which costs more than the rest of a column).
        const double right = (column + 1) * columnWidth;
        const double edgeIndex = (right - first) * perStep;
        size_t end = k + 1;
        if (!(edgeIndex < double(count))) {
            end = count;
        } else if (edgeIndex > double(end)) {
            end = size_t(edgeIndex);
            end += double(end) < edgeIndex ? 1 : 0;
        }
        takeAll(range, run.subspan(k + 1, end - k - 1));
        k = end - 1;
        if (end == count) {
            close();
            return;
        }
        const double x = first + double(end) * step;
        const double value = nanAsBelowAll(run[end]);
        const double next = x < right                 ? column
                            : x < right + columnWidth ? column + 1
                                                      : std::floor(x * perUnit);
        if (next <= column) { // rounding put the edge one value early
            range.take(value);
        } else if (next == column + 1) {
            // Where the segment from the value before, one step back, crosses into the next
            // column belongs to both columns.
            const double last = nanAsBelowAll(run[k]);
            const double edge =
                nanAsBelowAll(last + (value - last) * (right - (x - step)) * perStep);
            range.take(edge);
            close();
            range = {edge, edge};
            range.take(value);
        } else {
            close();
            addPolyline(out, {{first + double(k) * step, nanAsBelowAll(run[k])}, {x, value}});
            range = {value, value};
        }
        column = std::max(column, next);
        k = end;
    }
}

} // namespace

CurvePolylines validRuns(std::span<const QPointF> points, std::span<const uint8_t> valid)
{
    CurvePolylines runs;
    runs.points.reserve(points.size());
    bool inRun = false;
    for (size_t k = 0; k < points.size(); ++k) {
        if (isValidPoint(valid, k)) {
            runs.points.push_back(points[k]);
            inRun = true;
        } else if (inRun) {
            runs.ends.push_back(int(runs.points.size()));
            inRun = false;
        }
    }
    if (inRun)
        runs.ends.push_back(int(runs.points.size()));
    return runs;
}

CurvePolylines reduceToColumns(std::span<const float> values, std::span<const uint8_t> valid,
                               EvenSpacing x, double columnWidth)
{
    CurvePolylines reduced;
    // Two points a column the curve crosses; gaps add a few more.
    const double columns = double(values.size()) * x.step / columnWidth + 2;
    if (columns < double(values.size())) {
        reduced.points.reserve(2 * size_t(columns));
        reduced.ends.reserve(size_t(columns));
    }
    const size_t flagged = std::min(values.size(), valid.size());
    size_t k = 0;
    while (k < values.size()) {
        if (!isValidPoint(valid, k)) {
            ++k;
            continue;
        }
        size_t end = k + 1;
        while (end < flagged && valid[end] != 0)
            ++end;
        if (end >= flagged)
            end = std::max(end, values.size());
        reduceRun(reduced, values.subspan(k, end - k), x.first + double(k) * x.step, x.step,
                  columnWidth);
        k = end;
    }
    return reduced;
}
