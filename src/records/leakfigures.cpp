#include "records/leakfigures.h"

#include "records/testrecord.h"

namespace {

constexpr double kAbsoluteZero = 273.15;

bool decides(PhaseChange change, FigurePhase phase)
{
    switch (phase) {
    case FigurePhase::Leak:
        return change == PhaseChange::LeakPassed || change == PhaseChange::LeakFailed;
    case FigurePhase::Main:
        return change == PhaseChange::PostTestStarted || change == PhaseChange::MainFailed;
    case FigurePhase::Post:
        break;
    }
    return change == PhaseChange::Completed;
}

/// Sums for a least-squares line, taken about the first point so that they stay small.
class Slope {
public:
    void add(double t, double p)
    {
        if (m_n == 0) {
            m_t0 = t;
            m_p0 = p;
        }
        t -= m_t0;
        p -= m_p0;
        ++m_n;
        m_sumT += t;
        m_sumP += p;
        m_sumTT += t * t;
        m_sumTP += t * p;
    }
    /// The slope of p against t; empty with fewer than two points at different times.
    std::optional<double> value() const
    {
        const double n = m_n;
        const double spread = n * m_sumTT - m_sumT * m_sumT;
        if (m_n < 2 || spread <= 0)
            return std::nullopt;
        return (n * m_sumTP - m_sumT * m_sumP) / spread;
    }

private:
    int m_n = 0;
    double m_t0 = 0, m_p0 = 0, m_sumT = 0, m_sumP = 0, m_sumTT = 0, m_sumTP = 0;
};

double secondsBetween(const QDateTime &from, const QDateTime &to)
{
    return double(from.msecsTo(to)) / 1000.0;
}

PhaseFigures phaseFigures(const TestRecord &record, std::span<const TraceSample> trace,
                          std::span<const Decision> decisions, FigurePhase phase)
{
    PhaseFigures figures;
    figures.reference = phaseReference(record, phase);
    const std::optional<QDateTime> from = referenceTime(record, phase);
    if (!figures.reference || !from)
        return figures;
    const double reference = *figures.reference;
    Slope slope;
    std::optional<double> startTemp;
    for (const TraceSample &sample : trace) {
        if (!sample.pressureValid || !inPhase(record, sample, phase))
            continue;
        const double p = double(sample.pressure);
        const double t = secondsBetween(*from, sample.time);
        ++figures.validSamples;
        slope.add(t, p);
        figures.fall = reference - p;
        figures.seconds = t;
        if (sample.bathTempValid) {
            const double temp = double(sample.bathTemp);
            if (!startTemp)
                startTemp = temp;
            figures.compensatedFall =
                reference - p * (*startTemp + kAbsoluteZero) / (temp + kAbsoluteZero);
        }
    }
    if (const Decision *decision = decidingReading(record, decisions, phase)) {
        const double t = secondsBetween(*from, decision->time);
        slope.add(t, double(decision->pressure));
        figures.fall = decision->fall();
        figures.seconds = t;
        figures.decided = true;
    }
    if (figures.fall && figures.seconds && *figures.seconds > 0)
        figures.endToEndRate = *figures.fall / *figures.seconds * 60.0;
    if (const std::optional<double> rise = slope.value())
        figures.slopeRate = -60.0 * *rise;
    return figures;
}

} // namespace

bool inPhase(const TestRecord &record, const TraceSample &sample, FigurePhase phase)
{
    switch (phase) {
    case FigurePhase::Leak:
        return sample.phase == TracePhase::Leak;
    case FigurePhase::Main:
        if (sample.phase != TracePhase::Main)
            return false;
        break;
    case FigurePhase::Post:
        if (sample.phase != TracePhase::Post)
            return false;
        break;
    }
    return record.mainStartTime && sample.time > *record.mainStartTime;
}

std::optional<double> phaseReference(const TestRecord &record, FigurePhase phase)
{
    if (phase == FigurePhase::Leak)
        return double(record.leakRefPressure);
    if (record.mainRefPressure && record.mainStartTime)
        return double(*record.mainRefPressure);
    return std::nullopt;
}

std::optional<QDateTime> referenceTime(const TestRecord &record, FigurePhase phase)
{
    if (phase == FigurePhase::Leak)
        return record.start;
    return record.mainStartTime;
}

const Decision *decidingReading(const TestRecord &record, std::span<const Decision> decisions,
                                FigurePhase phase)
{
    const std::optional<QDateTime> from = referenceTime(record, phase);
    if (!from)
        return nullptr;
    const Decision *found = nullptr;
    for (const Decision &decision : decisions)
        if (decides(decision.change, phase) && decision.time >= *from)
            found = &decision;
    return found;
}

bool phaseWasDecided(const TestRecord &record, FigurePhase phase)
{
    switch (phase) {
    case FigurePhase::Leak:
        return record.leakPassTime || record.outcome == Outcome::LeakTestFailed;
    case FigurePhase::Main:
        return record.postTestTime || record.outcome == Outcome::MainTestFailed;
    case FigurePhase::Post:
        break;
    }
    return record.outcome == Outcome::Completed;
}

const PhaseFigures &LeakFigures::of(FigurePhase phase) const
{
    switch (phase) {
    case FigurePhase::Leak:
        return leak;
    case FigurePhase::Main:
        return main;
    case FigurePhase::Post:
        break;
    }
    return post;
}

LeakFigures leakFigures(const TestRecord &record, std::span<const TraceSample> trace,
                        std::span<const Decision> decisions)
{
    return {phaseFigures(record, trace, decisions, FigurePhase::Leak),
            phaseFigures(record, trace, decisions, FigurePhase::Main),
            phaseFigures(record, trace, decisions, FigurePhase::Post)};
}

void keepFigures(TestRecord &record, const LeakFigures &figures)
{
    record.leakFall = figures.leak.fall;
    record.mainFall = figures.main.fall;
    record.postFall = figures.post.fall;
    record.leakRate = figures.leak.endToEndRate;
    record.mainRate = figures.main.endToEndRate;
}
