#include "app/sharedstate.h"

SharedState::SharedState()
    : Samples(kStations, std::array<float, kSampleSlots>{}), clock(std::make_unique<SystemClock>())
{
    TimeCaption.fill(QStringLiteral("Time: 00:00:00"));
    MsgCaption.fill(QStringLiteral("Process in Idle Mode"));
}

float stationPressure(const SharedState &state, int station)
{
    return station == 0 ? state.Pressure1 : state.Pressure2;
}

bool stationPressureValid(const SharedState &state, int station)
{
    return station == 0 ? state.Pressure1Valid : state.Pressure2Valid;
}
