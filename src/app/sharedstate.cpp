#include "app/sharedstate.h"

StationRecord::StationRecord() : Samples(kSampleSlots, 0.0f), sampleValid(kSampleSlots, 1) {}

SharedState::SharedState() : clock(std::make_unique<SystemClock>()) {}

Reading stationPressure(const Readings &readings, int station)
{
    return station == 0 ? Reading{readings.Pressure1, readings.Pressure1Valid}
                        : Reading{readings.Pressure2, readings.Pressure2Valid};
}

Reading bathTemperature(const Readings &readings)
{
    return {readings.BathTemp, readings.BathTempValid};
}

void resetAtMainWindowLoad(SharedState &state)
{
    state.readings.BathTempValid = false;
    state.readings.Pressure1Valid = false;
    state.readings.Pressure2Valid = false;
    state.PortReady = false;
    for (int s = 0; s < kStations; ++s)
        state.stations[size_t(s)].LeakTestPassed = false;
}
