#include "test/testparameters.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

TestParameterTexts testParameterTexts(const SharedState &state)
{
    return {generalText(state.StartPressureLimit),   generalText(state.LeakFallLimit),
            QString::number(state.LeakTestDuration), generalText(state.BathFallLimit),
            QString::number(state.MainTestDuration), generalText(state.MinBathTemp)};
}

void applyTestParameterTexts(SharedState &state, const TestParameterTexts &texts)
{
    auto single = [&](int index) { return clampToSingle(leadingNumber(texts[index])); };
    auto integer = [&](int index) { return clampToInteger(leadingNumber(texts[index])); };
    state.StartPressureLimit = single(0);
    state.LeakFallLimit = single(1);
    state.LeakTestDuration = integer(2);
    state.BathFallLimit = single(3);
    state.MainTestDuration = integer(4);
    state.MinBathTemp = single(5);
}
