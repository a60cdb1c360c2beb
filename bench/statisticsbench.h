#pragma once

/// Prints the statistics view's opening time over 10000 and 100000 records (the records read,
/// the statistics taken, the charts drawn), and the control chart drawn point by point beside
/// the chart reduced by pixel columns.
void statisticsBenchmarks();
