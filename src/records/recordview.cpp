#include "records/recordview.h"

#include "app/textrules.h"
#include "charts/chartdrawing.h"
#include "records/flowunits.h"
#include "records/leakfigures.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

QString dateTimeText(const QDateTime &time)
{
    return formatDate(time) + QLatin1Char(' ') + formatTime(time);
}

QString kpa(float value)
{
    return formatOneDecimal(value) + QStringLiteral(" KPa");
}

QString figureText(const std::optional<double> &value, int decimals, const char *unit)
{
    if (!value)
        return QStringLiteral("none");
    return QString::number(*value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(unit);
}

QString phaseLine(const char *name, const PhaseFigures &f, bool unrecordedDecision, RateUnit unit,
                  std::optional<double> volume)
{
    if (!f.reference)
        return QStringLiteral("%1: did not run").arg(QLatin1String(name));
    QString fall = figureText(f.fall, 2, "KPa");
    if (f.fall) {
        fall += f.decided ? QStringLiteral(" to the deciding reading")
                          : QStringLiteral(" to the last valid reading");
        if (!f.decided && unrecordedDecision)
            fall += QStringLiteral(" (the deciding reading was not recorded)");
        if (f.seconds)
            fall += QStringLiteral(" after %1 s").arg(QString::number(*f.seconds, 'f', 1));
    }
    QString rate = rateText(f.endToEndRate, RateUnit::KpaPerMinute);
    if (unit != RateUnit::KpaPerMinute && f.endToEndRate) {
        const std::optional<double> converted = convertRate(*f.endToEndRate, unit, volume);
        rate += QStringLiteral(" = ") + (converted ? rateText(converted, unit)
                                                   : QStringLiteral("no %1 without the part's "
                                                                    "volume")
                                                         .arg(rateUnitText(unit)));
    }
    return QStringLiteral("%1: fall %2; end-to-end rate %3; least-squares rate %4; compensated "
                          "fall %5; %6 %7")
        .arg(QLatin1String(name), fall, rate, rateText(f.slopeRate, RateUnit::KpaPerMinute),
             figureText(f.compensatedFall, 2, "KPa"))
        .arg(f.validSamples)
        .arg(f.validSamples == 1 ? QStringLiteral("sample") : QStringLiteral("samples"));
}

QString decisionLine(const Decision &d)
{
    return QStringLiteral("%1 %2: pressure %3, reference %4, fall %5, limit %6")
        .arg(tenthsText(d.time), decisionText(d.change), figureText(double(d.pressure), 2, "KPa"),
             figureText(double(d.reference), 2, "KPa"), figureText(d.fall(), 2, "KPa"),
             figureText(double(d.limit), 2, "KPa"));
}

} // namespace

void setStartDays(RecordFilter &filter, std::optional<QDate> first, std::optional<QDate> last)
{
    filter.since.reset();
    filter.until.reset();
    if (first)
        filter.since = QDateTime(*first, QTime(0, 0));
    if (last)
        filter.until = QDateTime(last->addDays(1), QTime(0, 0));
}

QString tenthsText(const QDateTime &time)
{
    return dateTimeText(time) + QLatin1Char('.') + QString::number(time.time().msec() / 100);
}

QString figuresExplanation()
{
    return QStringLiteral(
        "Figures: fall = reference pressure minus the reading that decided the phase (or its "
        "last valid reading); time from the reference to that reading; end-to-end rate = fall "
        "/ time; least-squares rate = slope of a straight line through the phase's readings; "
        "compensated fall = fall with each pressure brought to the bath temperature at the "
        "phase's start. The post-test phase is judged against the main test's reference. "
        "Flow units take the end-to-end rate and the part's volume: Pa/s = KPa/min × 1000 / "
        "60; sccm = Pa/s × volume in cm³ / 101325 Pa × 60; mbar·l/s = Pa/s × volume in litres "
        "× 0.01.");
}

QString partText(const TestRecord &record)
{
    if (record.serial.isEmpty() && record.model.isEmpty())
        return QStringLiteral("none");
    QString text = QStringLiteral("serial ") +
                   (record.serial.isEmpty() ? QStringLiteral("none") : record.serial);
    if (!record.model.isEmpty()) {
        text += QStringLiteral(", model ") + record.model;
        if (record.modelVolume)
            text += QStringLiteral(" (%1 ml)").arg(QString::number(*record.modelVolume, 'g', 6));
    }
    return text;
}

QString recordDetailText(const RecordDetails &details, RateUnit unit)
{
    const TestRecord &record = details.record;
    QStringList lines;
    lines << QStringLiteral("Test %1, record %2: %3")
                 .arg(record.station + 1)
                 .arg(recordName(record))
                 .arg(record.outcome ? outcomeText(*record.outcome) : QStringLiteral("running"));
    lines << QStringLiteral("Start: ") + dateTimeText(record.start);
    if (record.end)
        lines << QStringLiteral("End: %1 (%2)")
                     .arg(dateTimeText(*record.end),
                          clockText(int(std::clamp<qint64>(record.start.secsTo(*record.end), 0,
                                                           std::numeric_limits<int>::max()))));
    else
        lines << QStringLiteral("End: running");
    if (record.leakPassTime)
        lines << QStringLiteral("Leak test passed: ") + dateTimeText(*record.leakPassTime);
    if (record.mainStartTime)
        lines << QStringLiteral("Main test started: ") + dateTimeText(*record.mainStartTime);
    if (record.postTestTime)
        lines << QStringLiteral("Post-test started: ") + dateTimeText(*record.postTestTime);
    const auto orNone = [](const QString &name) {
        return name.isEmpty() ? QStringLiteral("none") : name;
    };
    lines << QStringLiteral("Test name: ") + orNone(record.testName);
    lines << QStringLiteral("Operator: ") + orNone(record.operatorName);
    lines << QStringLiteral("Part: ") + partText(record);

    const TestParameters &p = record.parameters;
    lines << QStringLiteral("Parameters: start pressure limit %1, leak fall limit %2, leak test "
                            "%3 s, bath fall limit %4, main test %5 s, minimum bath temperature "
                            "%6 °C")
                 .arg(kpa(p.StartPressureLimit), kpa(p.LeakFallLimit))
                 .arg(p.LeakTestDuration)
                 .arg(kpa(p.BathFallLimit))
                 .arg(p.MainTestDuration)
                 .arg(formatOneDecimal(p.MinBathTemp));
    lines << QStringLiteral("Calibration: range %1, zero %2, span %3; temperature zero %4, span %5")
                 .arg(generalText(record.calRange), generalText(record.calZero),
                      generalText(record.calSpan), generalText(record.tempZero),
                      generalText(record.tempSpan));
    lines << QStringLiteral("Reference pressures: leak %1, main %2")
                 .arg(kpa(record.leakRefPressure), record.mainRefPressure
                                                       ? kpa(*record.mainRefPressure)
                                                       : QStringLiteral("none"));
    lines << QString();
    if (!record.decisionsRecorded)
        lines << QStringLiteral("Decisions: not recorded");
    else if (details.decisions.empty())
        lines << QStringLiteral("Decisions: none");
    else
        lines << QStringLiteral("Decisions:");
    for (const Decision &decision : details.decisions)
        lines << decisionLine(decision);
    lines << QString();
    const LeakFigures figures = leakFigures(record, details.trace, details.decisions);
    const auto unrecorded = [&record](FigurePhase phase) {
        return !record.decisionsRecorded && phaseWasDecided(record, phase);
    };
    lines << phaseLine("Leak test", figures.leak, unrecorded(FigurePhase::Leak), unit,
                       record.modelVolume);
    lines << phaseLine("Main test", figures.main, unrecorded(FigurePhase::Main), unit,
                       record.modelVolume);
    lines << phaseLine("Post-test", figures.post, unrecorded(FigurePhase::Post), unit,
                       record.modelVolume);
    lines << figuresExplanation();
    lines << QString();
    if (details.events.empty())
        lines << QStringLiteral("Link events: none");
    else
        lines << QStringLiteral("Link events:");
    for (const RecordedLinkEvent &event : details.events)
        lines << dateTimeText(event.time) + QLatin1Char(' ') + linkEventText(event.kind) +
                     (event.detail.isEmpty() ? QString() : QStringLiteral(": ") + event.detail);
    return lines.join(QLatin1Char('\n'));
}

std::vector<float> exportedPressures(std::span<const TraceSample> trace)
{
    std::vector<float> pressures;
    pressures.reserve(trace.size());
    for (const TraceSample &sample : trace)
        pressures.push_back(sample.pressureValid ? sample.pressure : 0.0f);
    return pressures;
}

std::vector<uint8_t> pressureValidity(std::span<const TraceSample> trace)
{
    std::vector<uint8_t> valid;
    valid.reserve(trace.size());
    for (const TraceSample &sample : trace)
        valid.push_back(sample.pressureValid ? 1 : 0);
    return valid;
}

ChartSamples chartSamplesOf(std::span<const float> pressures, std::span<const uint8_t> valid)
{
    return {pressures, std::max(0, int(pressures.size()) - 1), valid};
}
