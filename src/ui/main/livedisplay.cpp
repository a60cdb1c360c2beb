#include "ui/main/livedisplay.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {
QString reading(bool valid, float value, const QString &unit)
{
    return valid ? formatOneDecimal(value) + unit : QStringLiteral("---");
}
} // namespace

LiveTexts liveTexts(const SharedState &state)
{
    LiveTexts texts;
    texts.bathTemp = reading(state.BathTempValid, state.BathTemp, QStringLiteral("°C"));
    texts.pressure[0] = reading(state.Pressure1Valid, state.Pressure1, QStringLiteral("KPa"));
    texts.pressure[1] = reading(state.Pressure2Valid, state.Pressure2, QStringLiteral("KPa"));
    const QDateTime now = state.clock->now();
    texts.statusLine = QStringLiteral("COM ") + QString::number(state.CommPort) +
                       QStringLiteral(" | ") + formatDate(now) + QStringLiteral(" | ") +
                       formatTime(now);
    return texts;
}

void recordSamples(SharedState &state)
{
    for (int s = 0; s < kUsedStations; ++s) {
        if (!state.TestRunning[s] || state.SampleIndex[s] >= kMaxRecordedSamples)
            continue;
        state.Samples[s][state.SampleIndex[s]] = stationPressure(state, s);
        state.SampleIndex[s] += 1;
        state.SampleCount[s] = static_cast<int16_t>(state.SampleIndex[s] - 1);
    }
}
