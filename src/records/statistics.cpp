#include "records/statistics.h"

#include "records/testrecord.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

// The constants of individuals and moving-range charts: d2 for ranges of two, 3 / d2, and D4.
constexpr double kD2 = 1.128;
constexpr double kLimitFactor = 2.66;
constexpr double kD4 = 3.267;

const std::array<const char *, kStatisticsFigures> kNames{"leak-fall", "main-fall", "leak-rate",
                                                          "main-rate"};
const std::array<const char *, kStatisticsFigures> kTitles{"Leak test fall", "Main test fall",
                                                           "Leak test rate", "Main test rate"};

bool isRate(StatisticsFigure figure)
{
    return figure == StatisticsFigure::LeakRate || figure == StatisticsFigure::MainRate;
}

bool isFailure(Outcome outcome)
{
    return outcome == Outcome::LeakTestFailed || outcome == Outcome::MainTestFailed;
}

/// How many of the points from `first` to `last` lie beyond `k` σ on the side.
int beyond(std::span<const double> z, int first, int last, double k, int side)
{
    int count = 0;
    for (int i = std::max(first, 0); i <= last; ++i)
        count += side * z[size_t(i)] > k ? 1 : 0;
    return count;
}

std::vector<RuleBreak> ruleBreaks(const ProcessStatistics &s)
{
    std::vector<RuleBreak> breaks;
    if (!(s.sigma > 0))
        return breaks;
    std::vector<double> z;
    for (const double value : s.values)
        z.push_back((value - s.mean) / s.sigma);
    const int n = int(z.size());
    for (int i = 0; i < n; ++i) {
        const auto mark = [&](int rule) {
            breaks.push_back({s.ids[size_t(i)], s.rigs[size_t(i)], i, rule});
        };
        const double zi = z[size_t(i)];
        if (std::abs(zi) > 3)
            mark(1);
        const int side = zi > 0 ? 1 : zi < 0 ? -1 : 0;
        if (side == 0)
            continue;
        if (i >= 2 && side * zi > 2 && beyond(z, i - 2, i, 2, side) >= 2)
            mark(2);
        if (i >= 4 && side * zi > 1 && beyond(z, i - 4, i, 1, side) >= 4)
            mark(3);
        if (i >= 7 && beyond(z, i - 7, i, 0, side) == 8)
            mark(4);
    }
    return breaks;
}

QString number(std::optional<double> value)
{
    if (!value)
        return {};
    const QString text = QString::number(*value, 'g', 6);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

} // namespace

QString figureName(StatisticsFigure figure)
{
    return QLatin1String(kNames[size_t(figure)]);
}

std::optional<StatisticsFigure> figureFromName(const QString &name)
{
    for (int i = 0; i < kStatisticsFigures; ++i)
        if (name == QLatin1String(kNames[size_t(i)]))
            return StatisticsFigure(i);
    return std::nullopt;
}

QString figureTitle(StatisticsFigure figure)
{
    return QLatin1String(kTitles[size_t(figure)]);
}

QString figureUnit(StatisticsFigure figure, RateUnit unit)
{
    return isRate(figure) ? rateUnitText(unit) : QStringLiteral("KPa");
}

QDate RecordFigures::day() const
{
    // Days since 1970 in local time, floored; 2440588 is the Julian day of 1970-01-01.
    const qint64 local = startUtc + utcOffset;
    const qint64 days = local >= 0 ? local / 86400 : -((-local + 86399) / 86400);
    return QDate::fromJulianDay(2440588 + days);
}

RecordFigures figuresOf(const TestRecord &r)
{
    RecordFigures f;
    f.id = r.id;
    f.startUtc = r.start.toSecsSinceEpoch();
    f.utcOffset = r.start.offsetFromUtc();
    f.outcome = r.outcome;
    f.leakFallLimit = r.parameters.LeakFallLimit;
    f.leakTestDuration = r.parameters.LeakTestDuration;
    f.bathFallLimit = r.parameters.BathFallLimit;
    f.mainTestDuration = r.parameters.MainTestDuration;
    f.leakFall = r.leakFall;
    f.mainFall = r.mainFall;
    f.leakRate = r.leakRate;
    f.mainRate = r.mainRate;
    f.modelVolume = r.modelVolume;
    return f;
}

std::optional<double> figureValue(const RecordFigures &record, StatisticsFigure figure,
                                  RateUnit unit)
{
    switch (figure) {
    case StatisticsFigure::LeakFall:
        return record.leakFall;
    case StatisticsFigure::MainFall:
        return record.mainFall;
    case StatisticsFigure::LeakRate:
        if (!record.leakRate)
            return std::nullopt;
        return convertRate(*record.leakRate, unit, record.modelVolume);
    case StatisticsFigure::MainRate:
        break;
    }
    if (!record.mainRate)
        return std::nullopt;
    return convertRate(*record.mainRate, unit, record.modelVolume);
}

std::optional<double> figureLimit(const RecordFigures &r, StatisticsFigure figure, RateUnit unit)
{
    switch (figure) {
    case StatisticsFigure::LeakFall:
        return double(r.leakFallLimit);
    case StatisticsFigure::MainFall:
        return double(r.bathFallLimit);
    case StatisticsFigure::LeakRate:
        if (r.leakTestDuration <= 0)
            return std::nullopt;
        return convertRate(double(r.leakFallLimit) / r.leakTestDuration * 60.0, unit,
                           r.modelVolume);
    case StatisticsFigure::MainRate:
        break;
    }
    if (r.mainTestDuration <= 0)
        return std::nullopt;
    return convertRate(double(r.bathFallLimit) / r.mainTestDuration * 60.0, unit, r.modelVolume);
}

Fallible<ProcessStatistics> processStatistics(std::span<const TestRecord> records,
                                              StatisticsFigure figure, RateUnit unit)
{
    std::vector<RecordFigures> figures;
    figures.reserve(records.size());
    for (const TestRecord &record : records)
        figures.push_back(figuresOf(record));
    return processStatistics(figures, figure, unit);
}

Fallible<ProcessStatistics> processStatistics(std::span<const RecordFigures> records,
                                              StatisticsFigure figure, RateUnit unit)
{
    std::vector<const RecordFigures *> ordered;
    ordered.reserve(records.size());
    for (const RecordFigures &record : records)
        ordered.push_back(&record);
    // Records read oldest first are left as they are; others are put in order.
    const auto older = [](const RecordFigures *a, const RecordFigures *b) {
        if (a->startUtc != b->startUtc)
            return a->startUtc < b->startUtc;
        return a->rig != b->rig ? a->rig < b->rig : a->id < b->id;
    };
    if (!std::is_sorted(ordered.begin(), ordered.end(), older))
        std::stable_sort(ordered.begin(), ordered.end(), older);

    ProcessStatistics s;
    s.records = int(ordered.size());
    for (const RecordFigures *record : ordered) {
        const bool judged = record->outcome &&
                            (*record->outcome == Outcome::Completed || isFailure(*record->outcome));
        if (judged) {
            const bool failed = isFailure(*record->outcome);
            s.failed += failed ? 1 : 0;
            const QDate day = record->day();
            if (s.days.empty() || s.days.back().day != day)
                s.days.push_back({day, 0, 0});
            ++s.days.back().tests;
            s.days.back().failed += failed ? 1 : 0;
        }
        const std::optional<double> value =
            judged ? figureValue(*record, figure, unit) : std::nullopt;
        if (!value) {
            ++s.leftOut;
            continue;
        }
        s.ids.push_back(record->id);
        s.rigs.push_back(record->rig);
        s.values.push_back(*value);
        s.limits.push_back(figureLimit(*record, figure, unit));
    }
    // Days may repeat when records of other days lie between: one row a day.
    std::vector<DayFailRate> days;
    std::stable_sort(s.days.begin(), s.days.end(),
                     [](const DayFailRate &a, const DayFailRate &b) { return a.day < b.day; });
    for (const DayFailRate &day : s.days) {
        if (!days.empty() && days.back().day == day.day) {
            days.back().tests += day.tests;
            days.back().failed += day.failed;
        } else {
            days.push_back(day);
        }
    }
    s.days = std::move(days);

    const size_t n = s.values.size();
    if (n < 2)
        return Failure{QStringLiteral("too few records for statistics"), {}};
    s.mean = std::accumulate(s.values.begin(), s.values.end(), 0.0) / double(n);
    for (size_t i = 1; i < n; ++i)
        s.movingRanges.push_back(std::abs(s.values[i] - s.values[i - 1]));
    s.meanMovingRange =
        std::accumulate(s.movingRanges.begin(), s.movingRanges.end(), 0.0) / double(n - 1);
    s.sigma = s.meanMovingRange / kD2;
    s.ucl = s.mean + kLimitFactor * s.meanMovingRange;
    s.lcl = s.mean - kLimitFactor * s.meanMovingRange;
    s.mrUcl = kD4 * s.meanMovingRange;
    s.limit = s.limits.back();
    if (s.limit && s.sigma > 0)
        s.cpk = (*s.limit - s.mean) / (3 * s.sigma);
    s.breaks = ruleBreaks(s);
    return s;
}

QString statisticsLines(const ProcessStatistics &s, StatisticsFigure figure, RateUnit unit)
{
    QStringList breaks;
    for (const RuleBreak &b : s.breaks)
        breaks << (b.rig.isEmpty() ? QString() : b.rig + u':') +
                      QStringLiteral("%1:%2").arg(b.id).arg(b.rule);
    const std::vector<std::pair<const char *, QString>> lines{
        {"figure", figureName(figure)},
        {"unit", figureUnit(figure, unit)},
        {"records", QString::number(s.records)},
        {"left_out", QString::number(s.leftOut)},
        {"n", QString::number(s.values.size())},
        {"mean", number(s.mean)},
        {"sigma", number(s.sigma)},
        {"ucl", number(s.ucl)},
        {"lcl", number(s.lcl)},
        {"mr_ucl", number(s.mrUcl)},
        {"limit", number(s.limit)},
        {"cpk", number(s.cpk)},
        {"failed", QString::number(s.failed)},
        {"rule_breaks", breaks.join(QLatin1Char(' '))},
    };
    QString text;
    for (const auto &[key, value] : lines)
        text += QLatin1String(key) + QLatin1Char(':') +
                (value.isEmpty() ? QString() : QLatin1Char(' ') + value) + QLatin1Char('\n');
    return text;
}
