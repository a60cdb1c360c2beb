#include "records/recordview.h"

#include "app/textrules.h"
#include "charts/chartdrawing.h"
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

QString phaseFigures(const char *name, const PhaseFigures &figures)
{
    return QStringLiteral("%1: fall %2, fall rate %3, compensated fall %4, %5 samples")
        .arg(QLatin1String(name), figureText(figures.fall, 2, "KPa"),
             figureText(figures.fallRate, 3, "KPa/min"),
             figureText(figures.compensatedFall, 2, "KPa"))
        .arg(figures.validSamples);
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

QString recordDetailText(const TestRecord &record, const LeakFigures &figures,
                         std::span<const RecordedLinkEvent> events)
{
    QStringList lines;
    lines << QStringLiteral("Test %1, record %2: %3")
                 .arg(record.station + 1)
                 .arg(record.id)
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
    lines << phaseFigures("Leak test", figures.leak);
    lines << phaseFigures("Main test", figures.main);
    lines << QString();
    if (events.empty())
        lines << QStringLiteral("Link events: none");
    else
        lines << QStringLiteral("Link events:");
    for (const RecordedLinkEvent &event : events)
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
