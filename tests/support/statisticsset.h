#pragma once

// The hand-worked set of records that the statistics tests share: the core's figures and the
// lines of `kestrava-records stats` are checked against the same working.

#include "records/flowunits.h"
#include "records/statistics.h"
#include "records/testrecord.h"

#include <QStringList>
#include <QTest>

#include <vector>

/// Twenty completed tests whose main test falls are, oldest first (x0 .. x19, KPa):
///   2.05 2.03 2.06 2.02 2.07 2.04 2.05 2.03 | 1.62 | 2.00 1.98 | 1.76 1.94 1.77 | 2.01 |
///   2.16 2.17 1.99 2.15 2.14
/// with a stopped test (its fall 5.00, left out) after x10 and a failed leak test (no main
/// fall, left out but failed) after x19: ids 1..22 in time order, x0..x10 on 10-07-2026,
/// the rest on 11-07-2026. Every main test lasts 60 s with a bath fall limit of 2.5 KPa, so
/// each main rate in KPa/min equals its fall and the rate's limit is 2.5 KPa/min.
///
/// Working: Σx = 40.04, mean = 40.04 / 20 = 2.002; the moving ranges add up to 2.33, so
/// MR̄ = 2.33 / 19 = 0.122632 and σ = MR̄ / 1.128 = 0.108716; UCL = 2.002 + 2.66 × 0.122632
/// = 2.3282, LCL = 1.6758; MR UCL = 3.267 × 0.122632 = 0.400637; Cpk = (2.5 − 2.002) /
/// (3 × 0.108716) = 1.52692. In σ from the mean the points are
///   +0.44 +0.26 +0.53 +0.17 +0.63 +0.35 +0.44 +0.26 −3.51 −0.02 −0.20 −2.23 −0.57 −2.13
///   +0.07 +1.45 +1.55 −0.11 +1.36 +1.27
/// so: x7 (id 8) ends eight above the mean (rule 4); x8 (id 9) is beyond 3σ (rule 1); x13
/// (id 15) is the second of x11..x13 beyond 2σ below (rule 2); x19 (id 21) is the fourth of
/// x15..x19 beyond 1σ above (rule 3). No other point breaks a rule.
inline std::vector<TestRecord> statisticsSet()
{
    const double falls[] = {2.05, 2.03, 2.06, 2.02, 2.07, 2.04, 2.05, 2.03, 1.62, 2.00,
                            1.98, 1.76, 1.94, 1.77, 2.01, 2.16, 2.17, 1.99, 2.15, 2.14};
    const QDateTime day1 =
        QDateTime::fromString(QStringLiteral("2026-07-10T08:00:00+02:00"), Qt::ISODate);
    const QDateTime day2 = day1.addDays(1);
    std::vector<TestRecord> records;
    const auto add = [&records](const QDateTime &start, Outcome outcome,
                                std::optional<double> mainFall) {
        TestRecord r;
        r.id = int64_t(records.size()) + 1;
        r.station = int(records.size() % 2);
        r.start = start;
        r.end = start.addSecs(900);
        r.outcome = outcome;
        r.parameters.LeakFallLimit = 7;
        r.parameters.LeakTestDuration = 600;
        r.parameters.BathFallLimit = 2.5f;
        r.parameters.MainTestDuration = 60;
        r.leakRefPressure = 700;
        r.leakFall = outcome == Outcome::LeakTestFailed ? 8.25 : 0.5;
        r.mainFall = mainFall;
        r.mainRate = mainFall; // over 60 s, the rate in KPa/min is the fall
        r.model = QStringLiteral("Valve");
        r.modelVolume = 250;
        records.push_back(r);
    };
    for (int i = 0; i <= 10; ++i)
        add(day1.addSecs(1800 * i), Outcome::Completed, falls[i]);
    add(day1.addSecs(1800 * 11), Outcome::Stopped, 5.0);
    for (int i = 11; i < 20; ++i)
        add(day2.addSecs(1800 * (i - 11)), Outcome::Completed, falls[i]);
    add(day2.addSecs(1800 * 9), Outcome::LeakTestFailed, std::nullopt);
    return records;
}

/// The data table of the hand-worked set: the figure and unit asked for and the `key:
/// value` lines they give.
inline void statisticsSetTable()
{
    QTest::addColumn<QString>("figure");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QStringList>("lines");
    const QStringList counts{"records: 22", "left_out: 2", "n: 20"};
    const QStringList breaks{"failed: 1", "rule_breaks: 8:4 9:1 15:2 21:3"};
    QTest::newRow("main fall, KPa")
        << "main-fall"
        << "KPa/min"
        << QStringList{"figure: main-fall", "unit: KPa"} + counts +
               QStringList{"mean: 2.002",      "sigma: 0.108716", "ucl: 2.3282", "lcl: 1.6758",
                           "mr_ucl: 0.400637", "limit: 2.5",      "cpk: 1.52692"} +
               breaks;
    // The same points in Pa/s: each figure × 1000 / 60; the limit 2.5 KPa/min = 41.6667 Pa/s;
    // Cpk and the rule breaks do not change with the unit.
    QTest::newRow("main rate, Pa/s")
        << "main-rate"
        << "Pa/s"
        << QStringList{"figure: main-rate", "unit: Pa/s"} + counts +
               QStringList{"mean: 33.3667",   "sigma: 1.81193", "ucl: 38.8033", "lcl: 27.93",
                           "mr_ucl: 6.67729", "limit: 41.6667", "cpk: 1.52692"} +
               breaks;
}
