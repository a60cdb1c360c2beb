#pragma once

#include <QString>

struct SharedState;

/// What the display tick shows: the reading labels and the status line.
struct LiveTexts {
    QString pressure[2];  ///< lblMeter(0), lblMeter(1)
    QString bathTemp;     ///< lblMeter(2) and lblMeter(3)
    QString statusLine;   ///< cmdSbar
};

/// The reading and status texts of a display tick: "25.0°C", "1234.6KPa", "---" for an
/// invalid reading, and "COM 3 | 07-12-2026 | 22:48:33".
LiveTexts liveTexts(const SharedState &state);

/// The one-second sample of every running station: stores the station pressure (0 when its
/// reading is invalid) at SampleIndex, advances SampleIndex and sets SampleCount. Recording of
/// a station stops once its store is full (32768 samples); its test goes on.
void recordSamples(SharedState &state);
