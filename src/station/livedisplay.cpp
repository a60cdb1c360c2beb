#include "station/livedisplay.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

namespace {
QString reading(bool valid, float value, const QString &unit)
{
    return valid ? formatOneDecimal(value) + unit : QStringLiteral("---");
}
} // namespace

LiveTexts liveTexts(const Readings &readings, int commPort, const QDateTime &now, bool reconnecting)
{
    LiveTexts texts;
    texts.bathTemp = reading(readings.BathTempValid, readings.BathTemp, QStringLiteral("°C"));
    texts.pressure[0] = reading(readings.Pressure1Valid, readings.Pressure1, QStringLiteral("KPa"));
    texts.pressure[1] = reading(readings.Pressure2Valid, readings.Pressure2, QStringLiteral("KPa"));
    texts.statusLine =
        QStringLiteral("COM ") + QString::number(commPort) +
        (reconnecting ? QStringLiteral(" (reconnecting) | ") : QStringLiteral(" | ")) +
        formatDate(now) + QStringLiteral(" | ") + formatTime(now);
    return texts;
}

bool recordSample(StationRecord &record, Reading pressure)
{
    if (!record.TestRunning || record.SampleIndex >= kMaxRecordedSamples)
        return false;
    record.Samples[size_t(record.SampleIndex)] = pressure.value;
    record.sampleValid[size_t(record.SampleIndex)] = pressure.valid ? 1 : 0;
    record.SampleIndex += 1;
    record.SampleCount = static_cast<int16_t>(record.SampleIndex - 1);
    return true;
}

void recordSamples(SharedState &state)
{
    for (int s = 0; s < kStations; ++s)
        recordSample(state.stations[size_t(s)], stationPressure(state.readings, s));
}
