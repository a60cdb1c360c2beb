#pragma once

#include <QDateTime>

#include <optional>
#include <span>

struct Decision;
struct TestRecord;
struct TraceSample;

/// The three phases a test is judged on: the leak test, the main test (up to the end of its
/// duration) and the post-test phase (the wait for the fall that completes the test).
enum class FigurePhase { Leak, Main, Post };

/// Whether a sample belongs to the phase:
/// - leak: a sample taken in the leak phase;
/// - main and post: a sample taken in that phase after the second of the last main start
///   (mainStartTime); none without a main start. A sample of the start's own second may
///   belong to an earlier main start, so it is left out.
bool inPhase(const TestRecord &record, const TraceSample &sample, FigurePhase phase);
/// The reference pressure of the phase: leakRefPressure for the leak test, mainRefPressure
/// for the main test and the post-test phase, which the design judges against the pressure
/// of the main start (empty without a main start).
std::optional<double> phaseReference(const TestRecord &record, FigurePhase phase);
/// When the phase's reference was taken: the leak start, or the last main start.
std::optional<QDateTime> referenceTime(const TestRecord &record, FigurePhase phase);
/// The decision that ended the phase: the last of the phase's decisions (leak: passed or
/// failed; main: ended or failed; post: completed) taken at or after its reference time.
const Decision *decidingReading(const TestRecord &record, std::span<const Decision> decisions,
                                FigurePhase phase);

/// Whether the record says that a decision ended the phase: the leak test passed or failed,
/// the main test ended or failed, the test completed.
bool phaseWasDecided(const TestRecord &record, FigurePhase phase);

/// The figures of one phase of a test.
struct PhaseFigures {
    /// The phase's reference pressure, KPa; empty for a phase that did not run.
    std::optional<double> reference;
    /// The reference minus the deciding reading, or without one the phase's last valid
    /// sample, KPa: a fall is positive, a rise negative. Empty without either.
    std::optional<double> fall;
    /// The fall is that of the reading that decided the phase.
    bool decided = false;
    /// Seconds from the reference's moment to that reading (tenths for a decision).
    std::optional<double> seconds;
    /// fall / seconds, in KPa per minute: the end-to-end rate. Empty without time.
    std::optional<double> endToEndRate;
    /// The least-squares slope of the phase's valid readings (its samples and its deciding
    /// reading) against time, negated and in KPa per minute: positive for a fall. Empty with
    /// fewer than two readings at different times.
    std::optional<double> slopeRate;
    /// The fall with each pressure brought to the bath temperature of the phase's first
    /// sample with both readings valid, by absolute temperature: p × (T0 + 273.15) /
    /// (T + 273.15), for the phase's last sample with both readings valid; empty without one.
    std::optional<double> compensatedFall;
    /// The phase's samples with a valid pressure.
    int validSamples = 0;
};

struct LeakFigures {
    PhaseFigures leak;
    PhaseFigures main;
    PhaseFigures post;

    const PhaseFigures &of(FigurePhase phase) const;
};

/// The figures of a record from its trace and decisions (each in the order taken).
LeakFigures leakFigures(const TestRecord &record, std::span<const TraceSample> trace,
                        std::span<const Decision> decisions);

/// Keeps on the record what lists and statistics read without its trace: the falls of the
/// three phases and the end-to-end rates of the leak and main tests.
void keepFigures(TestRecord &record, const LeakFigures &figures);
