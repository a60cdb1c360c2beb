#pragma once

/// Prints the record store's figures: the flush of a second's samples (synchronous=FULL, and
/// NORMAL beside it), the size and CSV export of a ten-hour test, the decay chart's redraw at
/// several trace lengths and widths, and the list of 10000 filled records.
void recordBenchmarks();
