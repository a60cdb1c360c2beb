#include "recordtexts.h"

#include "app/textrules.h"
#include "records/flowunits.h"
#include "records/leakfigures.h"
#include "records/recordview.h"
#include "records/testrecord.h"

#include <QStringList>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString kMissing = QStringLiteral("-");

/// A name as typed, on one line: control characters (a pasted tab or line break) become blanks,
/// so that they cannot break the columns, and blanks around it go; an empty name is "-".
QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    line = line.trimmed();
    return line.isEmpty() ? kMissing : line;
}

/// A figure with a fixed number of decimals; never "-0.00".
QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(u'-') && text.mid(1) == QString::number(0.0, 'f', decimals))
        text.remove(0, 1);
    return text;
}

QString fixedOrMissing(const std::optional<double> &value, int decimals)
{
    return value ? fixed(*value, decimals) : kMissing;
}

/// The end-to-end rate in a unit; "-" without it (or without the volume a flow needs).
QString flowOrMissing(const PhaseFigures &f, RateUnit unit, std::optional<double> volume)
{
    if (!f.endToEndRate)
        return kMissing;
    return fixedOrMissing(convertRate(*f.endToEndRate, unit, volume), rateDecimals(unit));
}

QString timeOrMissing(const std::optional<QDateTime> &time)
{
    return time ? isoTime(*time) : kMissing;
}

QString duration(const TestRecord &record)
{
    return record.end ? clockText(int(record.start.secsTo(*record.end))) : kMissing;
}

QString outcome(const TestRecord &record)
{
    return record.outcome ? outcomeText(*record.outcome) : QStringLiteral("running");
}

enum class Align { Left, Right };

/// Rows of cells in columns two blanks apart, each as wide as its widest cell, every line
/// indented by `indent` blanks.
QString columns(const std::vector<QStringList> &rows, const std::vector<Align> &align,
                int indent = 0)
{
    std::vector<qsizetype> width(align.size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            width[size_t(c)] = std::max(width[size_t(c)], row[c].size());
    QString text;
    for (const QStringList &row : rows) {
        QString line(indent, u' ');
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c > 0)
                line += QStringLiteral("  ");
            const qsizetype w = width[size_t(c)];
            line += align[size_t(c)] == Align::Left ? row[c].leftJustified(w)
                                                    : row[c].rightJustified(w);
        }
        // A left-aligned last cell would leave blanks at the end of the line.
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

/// A titled block of "name  value" lines indented by two blanks.
QString block(const QString &title, const std::vector<std::pair<QString, QString>> &pairs)
{
    std::vector<QStringList> rows;
    for (const auto &[name, value] : pairs)
        rows.push_back({name, value});
    return title + u'\n' + columns(rows, {Align::Left, Align::Left}, 2);
}

QString kpa(double value)
{
    return fixed(value, 2) + QStringLiteral(" KPa");
}

} // namespace

QString recordListText(std::span<const TestRecord> records, bool withRig)
{
    std::vector<QStringList> rows{
        {QStringLiteral("ID"), QStringLiteral("Station"), QStringLiteral("Start"),
         QStringLiteral("Duration"), QStringLiteral("Outcome"), QStringLiteral("Test name"),
         QStringLiteral("Operator"), QStringLiteral("Leak start KPa"),
         QStringLiteral("Main fall KPa"), QStringLiteral("Serial"), QStringLiteral("Model")}};
    for (const TestRecord &r : records)
        rows.push_back({QString::number(r.id), QString::number(r.station + 1),
                        r.start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), duration(r),
                        outcome(r), oneLine(r.testName), oneLine(r.operatorName),
                        formatOneDecimal(r.leakRefPressure), fixedOrMissing(r.mainFall, 2),
                        oneLine(r.serial), oneLine(r.model)});
    std::vector<Align> align{Align::Right, Align::Left, Align::Left, Align::Left,
                             Align::Left,  Align::Left, Align::Left, Align::Right,
                             Align::Right, Align::Left, Align::Left};
    if (withRig) {
        rows.front().prepend(QStringLiteral("Rig"));
        for (size_t r = 0; r < records.size(); ++r)
            rows[r + 1].prepend(oneLine(records[r].rig));
        align.insert(align.begin(), Align::Left);
    }
    return columns(rows, align);
}

QString recordText(const RecordDetails &details)
{
    const TestRecord &record = details.record;
    const std::span<const TraceSample> trace = details.trace;
    const TestParameters &p = record.parameters;
    const QString station = QString::number(record.station + 1);
    QString text =
        block(QStringLiteral("Record %1").arg(recordName(record)),
              {{QStringLiteral("Station"), station},
               {QStringLiteral("Start"), isoTime(record.start)},
               {QStringLiteral("End"), timeOrMissing(record.end)},
               {QStringLiteral("Duration"), duration(record)},
               {QStringLiteral("Outcome"), outcome(record)},
               {QStringLiteral("Test name"), oneLine(record.testName)},
               {QStringLiteral("Operator"), oneLine(record.operatorName)},
               {QStringLiteral("Serial"), oneLine(record.serial)},
               {QStringLiteral("Model"), oneLine(record.model)},
               {QStringLiteral("Model volume"),
                record.modelVolume ? generalText(float(*record.modelVolume)) + QStringLiteral(" ml")
                                   : kMissing},
               {QStringLiteral("Samples"), QString::number(trace.size())}});

    text += u'\n' + block(QStringLiteral("Parameters"),
                          {{QStringLiteral("Test start pressure limit"),
                            generalText(p.StartPressureLimit) + QStringLiteral(" KPa")},
                           {QStringLiteral("Leak test fall pressure limit"),
                            generalText(p.LeakFallLimit) + QStringLiteral(" KPa")},
                           {QStringLiteral("Leak test duration"),
                            QString::number(p.LeakTestDuration) + QStringLiteral(" s")},
                           {QStringLiteral("Test fall pressure in bath"),
                            generalText(p.BathFallLimit) + QStringLiteral(" KPa")},
                           {QStringLiteral("Main test duration"),
                            QString::number(p.MainTestDuration) + QStringLiteral(" s")},
                           {QStringLiteral("Min. bath temperature"),
                            generalText(p.MinBathTemp) + QStringLiteral(" °C")}});

    text += u'\n' +
            block(QStringLiteral("Calibration"),
                  {{QStringLiteral("Pressure %1 range").arg(station), generalText(record.calRange)},
                   {QStringLiteral("Pressure %1 zero").arg(station), generalText(record.calZero)},
                   {QStringLiteral("Pressure %1 span").arg(station), generalText(record.calSpan)},
                   {QStringLiteral("Temperature zero"), generalText(record.tempZero)},
                   {QStringLiteral("Temperature span"), generalText(record.tempSpan)}});

    const auto mainRef =
        record.mainRefPressure ? std::optional<double>(*record.mainRefPressure) : std::nullopt;
    text += u'\n' + block(QStringLiteral("Reference pressures"),
                          {{QStringLiteral("Leak start"), kpa(record.leakRefPressure)},
                           {QStringLiteral("Main start"), mainRef ? kpa(*mainRef) : kMissing}});

    text +=
        u'\n' + block(QStringLiteral("Phase times"),
                      {{QStringLiteral("Leak start"), isoTime(record.start)},
                       {QStringLiteral("Leak test passed"), timeOrMissing(record.leakPassTime)},
                       {QStringLiteral("Main start"), timeOrMissing(record.mainStartTime)},
                       {QStringLiteral("Post-test start"), timeOrMissing(record.postTestTime)}});

    text += QStringLiteral("\nDecisions\n");
    if (!record.decisionsRecorded) {
        text += QStringLiteral("  not recorded\n");
    } else if (details.decisions.empty()) {
        text += QStringLiteral("  none\n");
    } else {
        std::vector<QStringList> rows;
        for (const Decision &d : details.decisions)
            rows.push_back({isoTimeTenths(d.time), decisionText(d.change),
                            QStringLiteral("pressure ") + kpa(double(d.pressure)),
                            QStringLiteral("fall ") + kpa(d.fall()),
                            QStringLiteral("limit ") + kpa(double(d.limit))});
        text +=
            columns(rows, {Align::Left, Align::Left, Align::Right, Align::Right, Align::Right}, 2);
    }

    const LeakFigures figures = leakFigures(record, trace, details.decisions);
    const std::optional<double> volume = record.modelVolume;
    const auto figureRow = [&figures](const QString &name, auto value) {
        return QStringList{name, value(figures.leak), value(figures.main), value(figures.post)};
    };
    const auto ran = [](const PhaseFigures &f, const QString &text) {
        return f.reference ? text : QStringLiteral("did not run");
    };
    text +=
        QStringLiteral("\nFigures\n") +
        columns(
            {{QString(), QStringLiteral("Leak test"), QStringLiteral("Main test"),
              QStringLiteral("Post-test")},
             figureRow(QStringLiteral("Fall KPa"),
                       [&](const PhaseFigures &f) { return ran(f, fixedOrMissing(f.fall, 2)); }),
             figureRow(QStringLiteral("Fall to"),
                       [&](const PhaseFigures &f) {
                           return ran(f, !f.fall     ? kMissing
                                         : f.decided ? QStringLiteral("deciding reading")
                                                     : QStringLiteral("last reading"));
                       }),
             figureRow(QStringLiteral("Time from reference s"),
                       [&](const PhaseFigures &f) { return ran(f, fixedOrMissing(f.seconds, 1)); }),
             figureRow(
                 QStringLiteral("End-to-end rate KPa/min"),
                 [&](const PhaseFigures &f) { return ran(f, fixedOrMissing(f.endToEndRate, 3)); }),
             figureRow(QStringLiteral("End-to-end rate Pa/s"),
                       [&](const PhaseFigures &f) {
                           return ran(f, flowOrMissing(f, RateUnit::PaPerSecond, volume));
                       }),
             figureRow(QStringLiteral("End-to-end flow sccm"),
                       [&](const PhaseFigures &f) {
                           return ran(f, flowOrMissing(f, RateUnit::Sccm, volume));
                       }),
             figureRow(QStringLiteral("End-to-end flow mbar\u00b7l/s"),
                       [&](const PhaseFigures &f) {
                           return ran(f, flowOrMissing(f, RateUnit::MbarLitrePerSecond, volume));
                       }),
             figureRow(
                 QStringLiteral("Least-squares rate KPa/min"),
                 [&](const PhaseFigures &f) { return ran(f, fixedOrMissing(f.slopeRate, 3)); }),
             figureRow(QStringLiteral("Temperature-compensated fall KPa"),
                       [&](const PhaseFigures &f) {
                           return ran(f, fixedOrMissing(f.compensatedFall, 2));
                       }),
             figureRow(
                 QStringLiteral("Samples with a valid pressure"),
                 [&](const PhaseFigures &f) { return ran(f, QString::number(f.validSamples)); })},
            {Align::Left, Align::Right, Align::Right, Align::Right}, 2);
    text += QStringLiteral("  ") + figuresExplanation() + u'\n';

    text += QStringLiteral("\nLink events\n");
    if (details.events.empty())
        return text + QStringLiteral("  none\n");
    std::vector<QStringList> rows;
    for (const RecordedLinkEvent &event : details.events)
        rows.push_back({isoTime(event.time), linkEventText(event.kind),
                        event.detail.isEmpty() ? QString() : oneLine(event.detail)});
    return text + columns(rows, {Align::Left, Align::Left, Align::Left}, 2);
}
