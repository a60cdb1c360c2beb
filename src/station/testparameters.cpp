#include "station/testparameters.h"

#include "app/sharedstate.h"
#include "app/textrules.h"

TestParameterTexts testParameterTexts(const TestParameters &parameters)
{
    return {generalText(parameters.StartPressureLimit),   generalText(parameters.LeakFallLimit),
            QString::number(parameters.LeakTestDuration), generalText(parameters.BathFallLimit),
            QString::number(parameters.MainTestDuration), generalText(parameters.MinBathTemp)};
}

void applyTestParameterTexts(TestParameters &parameters, const TestParameterTexts &texts)
{
    auto single = [&](int index) { return clampToSingle(leadingNumber(texts[index])); };
    auto integer = [&](int index) { return clampToInteger(leadingNumber(texts[index])); };
    parameters.StartPressureLimit = single(0);
    parameters.LeakFallLimit = single(1);
    parameters.LeakTestDuration = integer(2);
    parameters.BathFallLimit = single(3);
    parameters.MainTestDuration = integer(4);
    parameters.MinBathTemp = single(5);
}
