#include "calib/calibration.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {
int16_t rawValue(const SharedState &state, int channel)
{
    switch (channel) {
    case 0:
        return state.RawPressure1;
    case 1:
        return state.RawPressure2;
    default:
        return state.RawTemp;
    }
}
} // namespace

void captureZero(SharedState &state, int channel)
{
    if (channel == 2)
        state.TempZero = state.RawTemp;
    else
        state.CalZero[channel] = rawValue(state, channel);
}

void captureSpan(SharedState &state, int channel)
{
    if (channel == 2)
        state.TempSpan = state.RawTemp;
    else
        state.CalSpan[channel] = rawValue(state, channel);
}

float rangeFromText(const QString &text)
{
    return clampToSingle(leadingNumber(text));
}

QString rangeText(float range)
{
    return generalText(range);
}

QString channelValueText(const SharedState &state, int channel)
{
    const bool valid = channel == 0   ? state.Pressure1Valid
                       : channel == 1 ? state.Pressure2Valid
                                      : state.BathTempValid;
    const float value = channel == 0 ? state.Pressure1 : channel == 1 ? state.Pressure2 : state.BathTemp;
    return valid ? formatOneDecimal(value) : QStringLiteral("---");
}
