#pragma once

#include <optional>
#include <span>

struct TestRecord;
struct TraceSample;

/// The two phases a test is judged on: the leak test, and the main test with its post-test
/// phase.
enum class FigurePhase { Leak, Main };

/// Whether a sample belongs to the phase:
/// - leak: a sample taken in the leak phase;
/// - main: a sample taken in the main or post-test phase after the second of the last main
///   start (mainStartTime); none without a main start. A sample of the start's own second may
///   belong to an earlier main start, so it is left out.
bool inPhase(const TestRecord &record, const TraceSample &sample, FigurePhase phase);
/// The reference pressure of the phase: leakRefPressure, or mainRefPressure (empty without a
/// main start).
std::optional<double> phaseReference(const TestRecord &record, FigurePhase phase);

/// The figures of one phase of a test, from the phase's samples with a valid pressure.
struct PhaseFigures {
    /// The reference minus the pressure of the phase's last valid sample, KPa: a fall is
    /// positive, a rise negative. Empty without a valid sample.
    std::optional<double> fall;
    /// The least-squares slope of the valid pressures against their elapsed seconds, negated
    /// and times 60: KPa per minute, positive for a fall. Empty with fewer than two valid
    /// samples at different times.
    std::optional<double> fallRate;
    /// The fall with each pressure brought to the bath temperature at the phase start, by
    /// absolute temperature: p × (T0 + 273.15) / (T + 273.15), where T0 is the bath
    /// temperature of the phase's first sample with both readings valid. It is the reference
    /// minus that value for the phase's last sample with both readings valid; empty without one.
    std::optional<double> compensatedFall;
    /// The samples with a valid pressure.
    int validSamples = 0;
};

struct LeakFigures {
    PhaseFigures leak;
    PhaseFigures main;
};

/// The leak figures of a record from its trace (in the order it was taken).
LeakFigures leakFigures(const TestRecord &record, std::span<const TraceSample> trace);
