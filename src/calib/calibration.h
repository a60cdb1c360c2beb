#pragma once

#include <QString>

struct CalibrationConstants;
struct Readings;

/// Calibration channels: 0 = pressure 1 (station 0), 1 = pressure 2 (station 1), 2 = bath
/// temperature.
inline constexpr int kCalibChannels = 3;

/// The zero capture ("4mA", or "0 deg." for the temperature): the channel's latest raw value
/// becomes its zero.
void captureZero(CalibrationConstants &calibration, const Readings &readings, int channel);

/// The span capture ("20mA", or "100 deg."): the channel's latest raw value becomes its span.
/// Spans are stored only; no conversion uses them.
void captureSpan(CalibrationConstants &calibration, const Readings &readings, int channel);

/// A range typed by the operator: its leading number, not rounded (text without one gives 0;
/// a number beyond the float range gives the largest float of its sign).
float rangeFromText(const QString &text);

/// The text a range field starts with: the range as plain decimal text ("1000").
QString rangeText(float range);

/// The live reading of a channel as its value label shows it: "0.0" format, "---" if invalid.
QString channelValueText(const Readings &readings, int channel);
