#pragma once

#include <QString>

class QDateTime;
struct Readings;
struct SharedState;
struct StationRecord;
struct Reading;

/// What the display tick shows: the reading labels and the status line.
struct LiveTexts {
    QString pressure[2]; ///< lblMeter(0), lblMeter(1)
    QString bathTemp;    ///< lblMeter(2) and lblMeter(3)
    QString statusLine;  ///< cmdSbar
};

/// The reading and status texts of a display tick: "25.0°C", "1234.6KPa", "---" for an
/// invalid reading, and "COM 3 | 07-12-2026 | 22:48:33", with "COM 3 (reconnecting)" while a
/// lost port is being reopened.
LiveTexts liveTexts(const Readings &readings, int commPort, const QDateTime &now,
                    bool reconnecting = false);

/// The one-second sample of a running station: stores the station pressure (0 when its
/// reading is invalid) and its validity at SampleIndex, advances SampleIndex and sets
/// SampleCount. Returns whether a sample was stored: recording stops once the store is full
/// (32768 samples), while the test goes on.
bool recordSample(StationRecord &record, Reading pressure);

/// recordSample() for station 0, then station 1.
void recordSamples(SharedState &state);
