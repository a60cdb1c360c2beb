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
