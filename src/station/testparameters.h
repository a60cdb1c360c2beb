#pragma once

#include <QString>

#include <array>

struct TestParameters;

/// The six test parameters in dialog order: StartPressureLimit, LeakFallLimit,
/// LeakTestDuration, BathFallLimit, MainTestDuration, MinBathTemp.
inline constexpr int kTestParameterCount = 6;

using TestParameterTexts = std::array<QString, kTestParameterCount>;

/// The texts of the settings fields: the floats in their shortest general form of up to 7
/// significant digits with "." as the separator ("600", "7.5"), the durations as whole numbers.
TestParameterTexts testParameterTexts(const TestParameters &parameters);

/// Stores the field texts into the parameters, in index order. Each text gives its leading
/// number (none gives 0). Floats beyond the 32-bit range become the largest finite float of
/// their sign; durations are rounded half to even and clamped to -32768..32767.
void applyTestParameterTexts(TestParameters &parameters, const TestParameterTexts &texts);
