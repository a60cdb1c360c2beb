#pragma once

#include "app/failure.h"
#include "records/recordschema.h"
#include "records/statistics.h"
#include "records/testrecord.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <vector>

class QSqlError;
class QSqlQuery;

/// Reading a record's trace, decisions and link events, and running prepared statements: the
/// Qt SQL code that the local store (SQLite) and the shared database (PostgreSQL) share. Their
/// tables `sample`, `decision` and `link_event` have the same columns; the shared database's
/// have the rig besides, so each reader takes the condition that picks one record's rows.
namespace recordrows {

/// The columns of the trace, decision and link-event tables that a copy carries, in order.
inline const QString kSampleColumns =
    QStringLiteral("record_id, seq, elapsed, time_utc, utc_offset, pressure, bath_temp, phase");
inline const QString kDecisionColumns =
    QStringLiteral("record_id, seq, time_ms, utc_offset, kind, pressure, reference, fall_limit");
inline const QString kEventColumns = QStringLiteral("id, record_id, time, kind, detail");

/// The reason of a failed statement or connection in one line: the database's first line
/// (else the driver's), without PostgreSQL's "connection to server ... failed:" lead, its
/// severity and its error code, such as "connection refused" or "relation "record" does not
/// exist". SQLite's texts, one line without either, stay as they are.
QString errorLine(const QSqlError &error);

/// A failure of `doing` for the database at path, with the error's line.
Failure sqlFailure(const QString &doing, const QSqlError &error, const QString &path);

/// Runs a prepared query with its values bound in order.
bool run(QSqlQuery &query, const QVariantList &values);

/// A record's trace, decisions and link events in the order taken; `where` is the condition
/// on the table's rows that picks the record ("record_id = ?"), `values` its bound values.
Fallible<std::vector<TraceSample>> readTrace(const QSqlDatabase &db, const QString &path,
                                             const QString &where, const QVariantList &values);
Fallible<std::vector<Decision>> readDecisions(const QSqlDatabase &db, const QString &path,
                                              const QString &where, const QVariantList &values);
Fallible<std::vector<RecordedLinkEvent>> readEvents(const QSqlDatabase &db, const QString &path,
                                                    const QString &where,
                                                    const QVariantList &values);

/// The rows a statement selects, each as its values in order.
Fallible<std::vector<QVariantList>> selectRows(const QSqlDatabase &db, const QString &path,
                                               const QString &doing, const QString &sql,
                                               const QVariantList &values);

/// What statistics of the figure read of the records the filter takes, oldest first (see
/// RecordReader::figureRecords); `withRig` reads each record's rig (the shared database).
Fallible<std::vector<RecordFigures>> readFigureRecords(const QSqlDatabase &db, const QString &path,
                                                       const RecordFilter &filter,
                                                       StatisticsFigure figure,
                                                       recordschema::TextMatch match, bool withRig);

} // namespace recordrows
