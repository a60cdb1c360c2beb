#include "records/recordrows.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>

namespace recordrows {

bool run(QSqlQuery &query, const QVariantList &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    return query.exec();
}

Failure sqlFailure(const QString &doing, const QSqlError &error, const QString &path)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return Failure{doing + QStringLiteral(": ") + text, path};
}

Fallible<std::vector<TraceSample>> readTrace(const QSqlDatabase &db, const QString &path,
                                             const QString &where, const QVariantList &values)
{
    std::vector<TraceSample> result;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString doing = QStringLiteral("A test record's trace cannot be read");
    if (!query.prepare(
            QStringLiteral(
                "SELECT elapsed, time_utc, utc_offset, pressure, bath_temp, phase FROM sample "
                "WHERE %1 ORDER BY seq")
                .arg(where)))
        return sqlFailure(doing, query.lastError(), path);
    if (!run(query, values))
        return sqlFailure(doing, query.lastError(), path);
    while (query.next()) {
        TraceSample sample;
        sample.elapsed = query.value(0).toLongLong();
        sample.time = QDateTime::fromSecsSinceEpoch(query.value(1).toLongLong(), Qt::OffsetFromUTC,
                                                    query.value(2).toInt());
        const QVariant pressure = query.value(3);
        sample.pressureValid = !pressure.isNull();
        sample.pressure = float(pressure.toDouble());
        const QVariant bathTemp = query.value(4);
        sample.bathTempValid = !bathTemp.isNull();
        sample.bathTemp = float(bathTemp.toDouble());
        sample.phase = TracePhase(std::clamp(query.value(5).toInt(), 0, 3));
        result.push_back(sample);
    }
    if (query.lastError().isValid())
        return sqlFailure(doing, query.lastError(), path);
    return result;
}

Fallible<std::vector<Decision>> readDecisions(const QSqlDatabase &db, const QString &path,
                                              const QString &where, const QVariantList &values)
{
    std::vector<Decision> result;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString doing = QStringLiteral("A test record's decisions cannot be read");
    if (!query.prepare(QStringLiteral("SELECT time_ms, utc_offset, kind, pressure, reference, "
                                      "fall_limit FROM decision WHERE %1 ORDER BY seq")
                           .arg(where)))
        return sqlFailure(doing, query.lastError(), path);
    if (!run(query, values))
        return sqlFailure(doing, query.lastError(), path);
    while (query.next()) {
        // A kind this version does not know is left out rather than shown as another.
        const std::optional<PhaseChange> change = decisionFromText(query.value(2).toString());
        if (!change)
            continue;
        Decision decision;
        decision.change = *change;
        decision.time = QDateTime::fromMSecsSinceEpoch(query.value(0).toLongLong(),
                                                       Qt::OffsetFromUTC, query.value(1).toInt());
        decision.pressure = float(query.value(3).toDouble());
        decision.reference = float(query.value(4).toDouble());
        decision.limit = float(query.value(5).toDouble());
        result.push_back(decision);
    }
    if (query.lastError().isValid())
        return sqlFailure(doing, query.lastError(), path);
    return result;
}

Fallible<std::vector<RecordedLinkEvent>> readEvents(const QSqlDatabase &db, const QString &path,
                                                    const QString &where,
                                                    const QVariantList &values)
{
    std::vector<RecordedLinkEvent> result;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString doing = QStringLiteral("A test record's link events cannot be read");
    if (!query.prepare(
            QStringLiteral("SELECT time, kind, detail FROM link_event WHERE %1 ORDER BY id")
                .arg(where)))
        return sqlFailure(doing, query.lastError(), path);
    if (!run(query, values))
        return sqlFailure(doing, query.lastError(), path);
    while (query.next()) {
        if (const auto kind = linkEventFromText(query.value(1).toString()))
            result.push_back(
                {fromIsoTime(query.value(0).toString()), *kind, query.value(2).toString()});
    }
    if (query.lastError().isValid())
        return sqlFailure(doing, query.lastError(), path);
    return result;
}

Fallible<std::vector<QVariantList>> selectRows(const QSqlDatabase &db, const QString &path,
                                               const QString &doing, const QString &sql,
                                               const QVariantList &values)
{
    std::vector<QVariantList> rows;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql) || !run(query, values))
        return sqlFailure(doing, query.lastError(), path);
    const int columns = query.record().count();
    while (query.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query.value(c);
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        return sqlFailure(doing, query.lastError(), path);
    return rows;
}

} // namespace recordrows
