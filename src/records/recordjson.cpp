#include "records/recordjson.h"

#include "records/recordlayout.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace recordjson {

namespace {

QJsonValue optionalReal(bool valid, float value)
{
    return valid ? QJsonValue(double(value)) : QJsonValue(QJsonValue::Null);
}

/// The columns of a figure: its value, its limit and the duration of its phase.
struct FigureColumns {
    QLatin1String value;
    std::optional<double> RecordFigures::*figure;
    QLatin1String limit;
    float RecordFigures::*limitOf;
    QLatin1String duration;
    int RecordFigures::*durationOf;
};

// In the order of StatisticsFigure.
const FigureColumns kFigureColumns[kStatisticsFigures] = {
    {QLatin1String("leak_fall"), &RecordFigures::leakFall, QLatin1String("leak_fall_limit"),
     &RecordFigures::leakFallLimit, QLatin1String("leak_test_duration"),
     &RecordFigures::leakTestDuration},
    {QLatin1String("main_fall"), &RecordFigures::mainFall, QLatin1String("bath_fall_limit"),
     &RecordFigures::bathFallLimit, QLatin1String("main_test_duration"),
     &RecordFigures::mainTestDuration},
    {QLatin1String("leak_rate"), &RecordFigures::leakRate, QLatin1String("leak_fall_limit"),
     &RecordFigures::leakFallLimit, QLatin1String("leak_test_duration"),
     &RecordFigures::leakTestDuration},
    {QLatin1String("main_rate"), &RecordFigures::mainRate, QLatin1String("bath_fall_limit"),
     &RecordFigures::bathFallLimit, QLatin1String("main_test_duration"),
     &RecordFigures::mainTestDuration},
};

const QLatin1String kVolume("model_volume_ml");

QJsonValue optionalNumber(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

std::optional<double> optionalNumberOf(const QJsonValue &value)
{
    return value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt;
}

} // namespace

QJsonObject recordObject(const TestRecord &record)
{
    QJsonObject object = recordlayout::toJson(record);
    object.insert(QStringLiteral("rig"), record.rig);
    return object;
}

TestRecord recordOf(const QJsonObject &object)
{
    TestRecord record = recordlayout::fromJson(object);
    record.rig = object.value(QStringLiteral("rig")).toString();
    return record;
}

QJsonObject detailsObject(const RecordDetails &details)
{
    QJsonArray trace;
    for (const TraceSample &s : details.trace)
        trace.append(QJsonArray{qint64(s.elapsed), s.time.toSecsSinceEpoch(),
                                s.time.offsetFromUtc(), optionalReal(s.pressureValid, s.pressure),
                                optionalReal(s.bathTempValid, s.bathTemp), int(s.phase)});
    QJsonArray decisions;
    for (const Decision &d : details.decisions)
        decisions.append(QJsonArray{d.time.toMSecsSinceEpoch(), d.time.offsetFromUtc(),
                                    decisionText(d.change), double(d.pressure), double(d.reference),
                                    double(d.limit)});
    QJsonArray events;
    for (const RecordedLinkEvent &e : details.events)
        events.append(QJsonArray{isoTime(e.time), linkEventText(e.kind), e.detail});
    QJsonObject object = recordObject(details.record);
    object.insert(QStringLiteral("trace"), trace);
    object.insert(QStringLiteral("decisions"), decisions);
    object.insert(QStringLiteral("events"), events);
    return object;
}

std::optional<RecordDetails> detailsOf(const QJsonObject &object)
{
    const QJsonValue trace = object.value(QStringLiteral("trace"));
    const QJsonValue decisions = object.value(QStringLiteral("decisions"));
    const QJsonValue events = object.value(QStringLiteral("events"));
    if (!trace.isArray() || !decisions.isArray() || !events.isArray())
        return std::nullopt;
    RecordDetails details;
    details.record = recordOf(object);
    for (const QJsonValue &value : trace.toArray()) {
        const QJsonArray a = value.toArray();
        TraceSample s;
        s.elapsed = a.at(0).toInteger();
        s.time = QDateTime::fromSecsSinceEpoch(a.at(1).toInteger(), Qt::OffsetFromUTC,
                                               int(a.at(2).toInteger()));
        s.pressureValid = !a.at(3).isNull();
        s.pressure = float(a.at(3).toDouble());
        s.bathTempValid = !a.at(4).isNull();
        s.bathTemp = float(a.at(4).toDouble());
        s.phase = TracePhase(std::clamp(int(a.at(5).toInteger()), 0, 3));
        details.trace.push_back(s);
    }
    for (const QJsonValue &value : decisions.toArray()) {
        const QJsonArray a = value.toArray();
        const std::optional<PhaseChange> change = decisionFromText(a.at(2).toString());
        if (!change)
            continue;
        Decision d;
        d.change = *change;
        d.time = QDateTime::fromMSecsSinceEpoch(a.at(0).toInteger(), Qt::OffsetFromUTC,
                                                int(a.at(1).toInteger()));
        d.pressure = float(a.at(3).toDouble());
        d.reference = float(a.at(4).toDouble());
        d.limit = float(a.at(5).toDouble());
        details.decisions.push_back(d);
    }
    for (const QJsonValue &value : events.toArray()) {
        const QJsonArray a = value.toArray();
        if (const auto kind = linkEventFromText(a.at(1).toString()))
            details.events.push_back({fromIsoTime(a.at(0).toString()), *kind, a.at(2).toString()});
    }
    return details;
}

QJsonObject figuresObject(const RecordFigures &record, StatisticsFigure figure)
{
    const FigureColumns &columns = kFigureColumns[int(figure)];
    QJsonObject object{
        {QStringLiteral("id"), qint64(record.id)},
        {QStringLiteral("rig"), record.rig},
        {QStringLiteral("start_utc"), record.startUtc},
        {QStringLiteral("utc_offset"), record.utcOffset},
        {QStringLiteral("outcome"),
         record.outcome ? QJsonValue(outcomeText(*record.outcome)) : QJsonValue(QJsonValue::Null)},
        {columns.value, optionalNumber(record.*columns.figure)},
        {columns.limit, double(record.*columns.limitOf)},
    };
    // A rate's limit is its fall limit over the phase, and a flow needs the part's volume.
    if (figure == StatisticsFigure::LeakRate || figure == StatisticsFigure::MainRate) {
        object.insert(columns.duration, record.*columns.durationOf);
        object.insert(kVolume, optionalNumber(record.modelVolume));
    }
    return object;
}

std::optional<RecordFigures> figuresOf(const QJsonObject &object)
{
    const QJsonValue id = object.value(QStringLiteral("id"));
    if (!id.isDouble())
        return std::nullopt;
    RecordFigures record;
    record.id = id.toInteger();
    record.rig = object.value(QStringLiteral("rig")).toString();
    record.startUtc = object.value(QStringLiteral("start_utc")).toInteger();
    record.utcOffset = int(object.value(QStringLiteral("utc_offset")).toInteger());
    record.outcome = outcomeFromText(object.value(QStringLiteral("outcome")).toString());
    for (const FigureColumns &columns : kFigureColumns) {
        if (const auto value = object.constFind(columns.value); value != object.constEnd())
            record.*columns.figure = optionalNumberOf(*value);
        if (const auto limit = object.constFind(columns.limit); limit != object.constEnd())
            record.*columns.limitOf = float(limit->toDouble());
        if (const auto duration = object.constFind(columns.duration); duration != object.constEnd())
            record.*columns.durationOf = int(duration->toInteger());
    }
    record.modelVolume = optionalNumberOf(object.value(kVolume));
    return record;
}

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QJsonObject> objectOf(const QByteArray &line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace recordjson
