#include "records/recordrows.h"

#include "records/recordschema.h"

#include <QDateTime>
#include <QRegularExpression>
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

QString errorLine(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    // PostgreSQL's text goes on with hints and ends with its code: "...\n(57014)".
    QString line = text.section(u'\n', 0, 0).trimmed();
    static const QRegularExpression lead(QStringLiteral("^connection to server .*? failed: (.*)$"));
    if (const QRegularExpressionMatch match = lead.match(line); match.hasMatch()) {
        line = match.captured(1);
        // The system's text starts with a capital ("Connection refused"); a name such as
        // "SSL" stays.
        if (line.size() > 1 && line[0].isUpper() && line[1].isLower())
            line[0] = line[0].toLower();
    }
    static const QRegularExpression severity(QStringLiteral("^(FATAL|ERROR|PANIC): +"));
    line.remove(severity);
    return line;
}

Failure sqlFailure(const QString &doing, const QSqlError &error, const QString &path)
{
    return Failure{doing + QStringLiteral(": ") + errorLine(error), path};
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

Fallible<std::vector<RecordFigures>> readFigureRecords(const QSqlDatabase &db, const QString &path,
                                                       const RecordFilter &filter,
                                                       StatisticsFigure figure,
                                                       recordschema::TextMatch match, bool withRig)
{
    const QString doing = QStringLiteral("The test records cannot be read");
    // The figure's own columns: its value, its limit, and for a rate the phase's duration and
    // the part's volume.
    const bool rate = figure == StatisticsFigure::LeakRate || figure == StatisticsFigure::MainRate;
    const bool leak = figure == StatisticsFigure::LeakFall || figure == StatisticsFigure::LeakRate;
    const QString value = QLatin1String(leak ? (rate ? "leak_rate" : "leak_fall")
                                             : (rate ? "main_rate" : "main_fall"));
    const QString limit = QLatin1String(leak ? "leak_fall_limit" : "bath_fall_limit");
    const QString duration = QLatin1String(leak ? "leak_test_duration" : "main_test_duration");
    // Numbers only, and no more of them than the figure needs: each column read costs, and
    // the view opens over a hundred thousand rows. The outcome comes as its index (-1 while
    // running), the offset from UTC from the tail of the start's text ("+02:00").
    QVariantList values;
    const QString sql =
        QStringLiteral(
            "SELECT id, start_utc, (CASE substr(start_time, 20, 1) WHEN '-' THEN -60 ELSE 60 "
            "END) * (60 * CAST(substr(start_time, 21, 2) AS INTEGER) + CAST(substr(start_time, "
            "24, 2) AS INTEGER)), CASE outcome WHEN 'completed' THEN 0 WHEN 'leak test failed' "
            "THEN 1 WHEN 'main test failed' THEN 2 WHEN 'stopped' THEN 3 WHEN 'interrupted' "
            "THEN 4 ELSE -1 END, %1, %2%3%4 FROM record")
            .arg(value, limit,
                 rate ? QStringLiteral(", %1, model_volume_ml").arg(duration) : QString(),
                 withRig ? QStringLiteral(", rig") : QString()) +
        recordschema::whereClause(filter, values, match) +
        (withRig ? QStringLiteral(" ORDER BY start_utc, rig, id")
                 : QStringLiteral(" ORDER BY start_utc, id"));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql) || !run(query, values))
        return sqlFailure(doing, query.lastError(), path);
    const auto optional = [&query](int column) {
        const QVariant value = query.value(column);
        return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
    };
    const int rigColumn = rate ? 8 : 6;
    std::vector<RecordFigures> records;
    while (query.next()) {
        RecordFigures r;
        r.id = query.value(0).toLongLong();
        r.startUtc = query.value(1).toLongLong();
        r.utcOffset = query.value(2).toInt();
        const int outcome = query.value(3).toInt();
        if (outcome >= 0 && outcome <= int(Outcome::Interrupted))
            r.outcome = Outcome(outcome);
        const std::optional<double> figureValue = optional(4);
        const float limitValue = float(query.value(5).toDouble());
        (leak ? r.leakFallLimit : r.bathFallLimit) = limitValue;
        if (rate) {
            (leak ? r.leakTestDuration : r.mainTestDuration) = query.value(6).toInt();
            r.modelVolume = optional(7);
        }
        if (withRig)
            r.rig = query.value(rigColumn).toString();
        switch (figure) {
        case StatisticsFigure::LeakFall:
            r.leakFall = figureValue;
            break;
        case StatisticsFigure::MainFall:
            r.mainFall = figureValue;
            break;
        case StatisticsFigure::LeakRate:
            r.leakRate = figureValue;
            break;
        case StatisticsFigure::MainRate:
            r.mainRate = figureValue;
            break;
        }
        records.push_back(std::move(r));
    }
    if (query.lastError().isValid())
        return sqlFailure(doing, query.lastError(), path);
    return records;
}

} // namespace recordrows
