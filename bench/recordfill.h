#pragma once

#include "app/failure.h"

#include <QString>

/// Fills the record database at path (created, or added to) with `records` closed records of
/// `samplesPerRecord` samples each, for benchmarks of the windows that list and show records.
/// Record k (from 0) starts at 2026-01-01 00:00 UTC plus k hours on station k % 2, with the
/// test name "Vessel <k>", one of four operators and one of four outcomes; its trace falls
/// 0.01 KPa a second from about 700 KPa, through the leak, after, main and post phases; its
/// serial is "SN-<k>", its model Valve (250 ml), its main fall 1.0 to 1.2 KPa, scattered. The
/// rows are made inside SQLite in one transaction: 10000 records of 600 samples take seconds.
[[nodiscard]] MaybeFailure fillRecordStore(const QString &path, int records, int samplesPerRecord);
