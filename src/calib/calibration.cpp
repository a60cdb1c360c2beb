#include "calib/calibration.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {
int16_t rawValue(const Readings &readings, int channel)
{
    switch (channel) {
    case 0:
        return readings.RawPressure1;
    case 1:
        return readings.RawPressure2;
    default:
        return readings.RawTemp;
    }
}
} // namespace

void captureZero(CalibrationConstants &calibration, const Readings &readings, int channel)
{
    if (channel == 2)
        calibration.TempZero = readings.RawTemp;
    else
        calibration.CalZero[size_t(channel)] = rawValue(readings, channel);
}

void captureSpan(CalibrationConstants &calibration, const Readings &readings, int channel)
{
    if (channel == 2)
        calibration.TempSpan = readings.RawTemp;
    else
        calibration.CalSpan[size_t(channel)] = rawValue(readings, channel);
}

float rangeFromText(const QString &text)
{
    return clampToSingle(leadingNumber(text));
}

QString rangeText(float range)
{
    return generalText(range);
}

QString channelValueText(const Readings &readings, int channel)
{
    const Reading reading =
        channel == 2 ? bathTemperature(readings) : stationPressure(readings, channel);
    return reading.valid ? formatOneDecimal(reading.value) : QStringLiteral("---");
}
