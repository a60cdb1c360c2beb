#pragma once

#include "app/failure.h"
#include "records/flowunits.h"

#include <QDate>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct TestRecord;
enum class Outcome;

/// What statistics read of a record: its id, start, outcome, limits and figures. A store
/// reads these alone from its rows (RecordStore::figureRecords), the shared database as well
/// as the local one; figuresOf() takes them from a whole record.
struct RecordFigures {
    int64_t id = 0;
    QString rig;         ///< the shared database's rig; empty for a local record
    qint64 startUtc = 0; ///< seconds since 1970 UTC
    int utcOffset = 0;   ///< seconds east of UTC where the test ran
    std::optional<Outcome> outcome;
    float leakFallLimit = 0;
    int leakTestDuration = 0;
    float bathFallLimit = 0;
    int mainTestDuration = 0;
    std::optional<double> leakFall, mainFall;
    std::optional<double> leakRate, mainRate; ///< end-to-end, KPa/min
    std::optional<double> modelVolume;        ///< ml

    /// The day the test started, in the local time where it ran.
    QDate day() const;
};

RecordFigures figuresOf(const TestRecord &record);

/// The figure of each record that statistics are taken of.
enum class StatisticsFigure {
    LeakFall, ///< "leak-fall": the leak test's fall, KPa
    MainFall, ///< "main-fall": the main test's fall, KPa
    LeakRate, ///< "leak-rate": the leak test's end-to-end rate, in the chosen unit
    MainRate, ///< "main-rate": the main test's end-to-end rate, in the chosen unit
};

inline constexpr int kStatisticsFigures = 4;

/// The figure's name on the command line: "leak-fall", "main-fall", "leak-rate", "main-rate".
QString figureName(StatisticsFigure figure);
std::optional<StatisticsFigure> figureFromName(const QString &name);
/// The figure as the window names it: "Leak test fall", ..., "Main test rate".
QString figureTitle(StatisticsFigure figure);
/// The unit of the figure's values: "KPa" for a fall, the rate unit for a rate.
QString figureUnit(StatisticsFigure figure, RateUnit unit);

/// The record's figure; empty when the record has none (a phase that did not run, a flow
/// unit without the part's volume).
std::optional<double> figureValue(const RecordFigures &record, StatisticsFigure figure,
                                  RateUnit unit);
/// The pass limit of the figure (an upper limit) for the record: its leak fall limit, or its
/// bath fall limit for the main test; for a rate, that limit spread over the phase's duration
/// (limit / duration × 60 KPa/min) in the unit.
std::optional<double> figureLimit(const RecordFigures &record, StatisticsFigure figure,
                                  RateUnit unit);

/// Rules that mark a point out of control (Western Electric), with σ = mean moving range /
/// 1.128 about the mean:
///   1  the point is more than 3σ from the mean
///   2  it is one of two of three points in a row more than 2σ from the mean on one side
///   3  it is one of four of five points in a row more than 1σ from the mean on one side
///   4  it ends eight points in a row on one side of the mean
/// A point is marked for a rule when it is itself one of the points the rule counts and the
/// points before it complete the pattern.
struct RuleBreak {
    int64_t id = 0; ///< the record's id
    QString rig;    ///< its rig in the shared database; empty for a local record
    int point = 0;  ///< its place among the points, oldest first
    int rule = 0;   ///< 1 to 4
};

/// The fail rate of one day: the completed and failed tests of the day (local time of the
/// start) and how many failed.
struct DayFailRate {
    QDate day;
    int tests = 0;
    int failed = 0;
};

/// Individuals and moving-range statistics of one figure over a set of records.
struct ProcessStatistics {
    int records = 0; ///< every record given
    int leftOut = 0; ///< stopped, interrupted, running, or without the figure
    /// The points, oldest first: each record's id, figure and limit.
    std::vector<int64_t> ids;
    std::vector<QString> rigs; ///< each point's rig; empty for local records
    std::vector<double> values;
    std::vector<std::optional<double>> limits;
    /// The moving ranges |x[i] - x[i-1]|, from the second point on.
    std::vector<double> movingRanges;
    double mean = 0;
    double meanMovingRange = 0;
    double sigma = 0; ///< meanMovingRange / 1.128
    double ucl = 0;   ///< mean + 2.66 × mean moving range
    double lcl = 0;   ///< mean − 2.66 × mean moving range
    double mrUcl = 0; ///< 3.267 × mean moving range
    /// The pass limit of the newest point, against which Cpk is taken.
    std::optional<double> limit;
    /// (limit − mean) / 3σ; empty without a limit or with σ = 0.
    std::optional<double> cpk;
    /// Failed tests among the completed and failed records.
    int failed = 0;
    std::vector<DayFailRate> days; ///< oldest first
    std::vector<RuleBreak> breaks; ///< by point, then rule
};

/// The statistics of the figure over the records (in any order: they are taken oldest first
/// by their start, then id). Completed and failed records give the points; stopped,
/// interrupted and running records are counted but left out. Fewer than two points: the
/// failure "too few records for statistics".
Fallible<ProcessStatistics> processStatistics(std::span<const RecordFigures> records,
                                              StatisticsFigure figure, RateUnit unit);
/// The same over whole records.
Fallible<ProcessStatistics> processStatistics(std::span<const TestRecord> records,
                                              StatisticsFigure figure, RateUnit unit);

/// The statistics as `key: value` lines: n, mean, sigma, ucl, lcl, mr_ucl, limit, cpk,
/// failed, rule_breaks (ID:rule, blank-separated), and the records counted and left out.
/// Numbers have six significant digits; a missing one is empty.
QString statisticsLines(const ProcessStatistics &statistics, StatisticsFigure figure,
                        RateUnit unit);
