#pragma once

#include "charts/chartdrawing.h"
#include "records/flowunits.h"
#include "records/recordreader.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct LeakFigures;

/// Limits the filter to the tests that started on the days from `first` to `last`, both
/// included, in local time; an empty day leaves that end open.
void setStartDays(RecordFilter &filter, std::optional<QDate> first, std::optional<QDate> last);

/// A time to the tenth of a second, as decisions are kept: "12-07-2026 10:10:00.3".
QString tenthsText(const QDateTime &time);

/// The records window's description of a record, one fact a line:
///
///   Test 1, record 42: completed
///   Start: 12-07-2026 10:00:00
///   End: 12-07-2026 10:20:05 (00:20:05)                       ("End: running" while open)
///   Leak test passed: 12-07-2026 10:10:00                      (each phase time it has)
///   Main test started: 12-07-2026 10:10:30
///   Post-test started: 12-07-2026 10:25:30
///   Test name: Vessel 7                                       ("none" when empty)
///   Operator: J. Smith
///   Part: serial 4711, model Valve (250 ml)                   ("none" without serial or model)
///   Parameters: start pressure limit 600.0 KPa, leak fall limit 7.0 KPa, leak test 600 s,
///     bath fall limit 14.0 KPa, main test 900 s, minimum bath temperature 100.0 °C
///   Calibration: range 1000, zero 0, span 10000; temperature zero 0, span 1000
///   Reference pressures: leak 700.0 KPa, main 699.0 KPa       ("main none" without a main start)
///   (blank)
///   Decisions:                                                ("Decisions: none", or "not
///   12-07-2026 10:10:00.3 leak test passed: pressure 699.52 KPa, reference 700.00 KPa,
///     fall 0.48 KPa, limit 7.00 KPa                            recorded" for an old record)
///   (blank)
///   Leak test: fall 0.48 KPa to the deciding reading after 600.3 s; end-to-end rate
///     0.048 KPa/min; least-squares rate 0.050 KPa/min; compensated fall 0.46 KPa; 600 samples
///     (in another unit than KPa/min the end-to-end rate adds "= 33.333 Pa/s")
///   Main test: ...                                            ("did not run"; "none" for a
///   Post-test: ...                                             figure it lacks)
///   Figures: ... (one line saying how each figure is computed)
///   (blank)
///   Link events: none                                         (or "Link events:" and a line each,
///   12-07-2026 10:05:03 port lost: <reason>                    its detail after a colon)
QString recordDetailText(const RecordDetails &details, RateUnit unit = RateUnit::KpaPerMinute);

/// The part of a record: "serial 4711, model Valve (250 ml)"; "none" without serial or model.
QString partText(const TestRecord &record);

/// The line that says how the figures of a phase are computed.
QString figuresExplanation();

/// The pressures of a trace as the export file stores them: an invalid reading as 0.
std::vector<float> exportedPressures(std::span<const TraceSample> trace);

/// Beside those pressures, whether each reading was valid (1) or not (0).
std::vector<uint8_t> pressureValidity(std::span<const TraceSample> trace);

/// The chart samples of such pressures and their validity (none: all valid): the last one is
/// the newest (n = size - 1).
ChartSamples chartSamplesOf(std::span<const float> pressures, std::span<const uint8_t> valid = {});
