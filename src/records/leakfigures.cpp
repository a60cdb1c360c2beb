#include "records/leakfigures.h"

#include "records/testrecord.h"

namespace {

constexpr double kAbsoluteZero = 273.15;

PhaseFigures phaseFigures(const TestRecord &record, std::span<const TraceSample> trace,
                          FigurePhase phase)
{
    PhaseFigures figures;
    const std::optional<double> reference = phaseReference(record, phase);
    if (!reference)
        return figures;
    // Sums for the slope, taken about the first valid sample so that they stay small.
    double t0 = 0, p0 = 0, sumT = 0, sumP = 0, sumTT = 0, sumTP = 0;
    std::optional<double> startTemp;
    for (const TraceSample &sample : trace) {
        if (!sample.pressureValid || !inPhase(record, sample, phase))
            continue;
        const double p = double(sample.pressure);
        if (figures.validSamples == 0) {
            t0 = double(sample.elapsed);
            p0 = p;
        }
        const double t = double(sample.elapsed) - t0;
        ++figures.validSamples;
        sumT += t;
        sumP += p - p0;
        sumTT += t * t;
        sumTP += t * (p - p0);
        figures.fall = *reference - p;
        if (sample.bathTempValid) {
            const double temp = double(sample.bathTemp);
            if (!startTemp)
                startTemp = temp;
            figures.compensatedFall =
                *reference - p * (*startTemp + kAbsoluteZero) / (temp + kAbsoluteZero);
        }
    }
    const double n = figures.validSamples;
    const double spread = n * sumTT - sumT * sumT;
    if (figures.validSamples >= 2 && spread > 0)
        figures.fallRate = -60.0 * (n * sumTP - sumT * sumP) / spread;
    return figures;
}

} // namespace

bool inPhase(const TestRecord &record, const TraceSample &sample, FigurePhase phase)
{
    if (phase == FigurePhase::Leak)
        return sample.phase == TracePhase::Leak;
    return (sample.phase == TracePhase::Main || sample.phase == TracePhase::Post) &&
           record.mainStartTime && sample.time > *record.mainStartTime;
}

std::optional<double> phaseReference(const TestRecord &record, FigurePhase phase)
{
    if (phase == FigurePhase::Leak)
        return double(record.leakRefPressure);
    if (record.mainRefPressure && record.mainStartTime)
        return double(*record.mainRefPressure);
    return std::nullopt;
}

LeakFigures leakFigures(const TestRecord &record, std::span<const TraceSample> trace)
{
    return {phaseFigures(record, trace, FigurePhase::Leak),
            phaseFigures(record, trace, FigurePhase::Main)};
}
