#pragma once

// What the record tests share: a check of a routine that can fail, traces written as text,
// what another program reads of a database, and a raw connection for what the store never does.

#include "app/clock.h"
#include "app/failure.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTest>

#include <vector>

/// The failure of what a routine returned: a MaybeFailure, a flush's result or a value.
inline MaybeFailure failureOf(const MaybeFailure &failure)
{
    return failure;
}
inline MaybeFailure failureOf(const FlushResult &result)
{
    return result.failure;
}
template <typename T> MaybeFailure failureOf(const Fallible<T> &result)
{
    return result.failure();
}

/// Fails the test with the reason when the routine failed.
#define QVERIFY_OK(expr)                                                                           \
    do {                                                                                           \
        const MaybeFailure failure_ = failureOf(expr);                                             \
        if (failure_)                                                                              \
            QFAIL(qPrintable(failure_->reason + QStringLiteral(" (") + failure_->path + u')'));    \
    } while (false)

/// A trace written as items a second apart, "pressure:bath:phase", or with their elapsed
/// seconds first, "elapsed:pressure:bath:phase": "-" for a reading that was not valid, phases
/// L (leak), M (main), P (post), A (after). A sample is taken its elapsed seconds and one
/// after `start`.
inline std::vector<TraceSample> traceOf(const QDateTime &start, const QString &text)
{
    std::vector<TraceSample> trace;
    for (const QString &item : text.split(u' ', Qt::SkipEmptyParts)) {
        QStringList f = item.split(u':');
        TraceSample s;
        s.elapsed = f.size() == 4 ? f.takeFirst().toLongLong() : int64_t(trace.size());
        s.time = start.addSecs(s.elapsed + 1);
        s.pressureValid = f[0] != u"-";
        s.pressure = s.pressureValid ? f[0].toFloat() : 0;
        s.bathTempValid = f[1] != u"-";
        s.bathTemp = s.bathTempValid ? f[1].toFloat() : 0;
        s.phase = TracePhase(QStringLiteral("LMPA").indexOf(f[2]));
        trace.push_back(s);
    }
    return trace;
}

/// A record as another program reads it.
using Stored = RecordDetails;

/// Every record of the database at path, newest first, read through a read-only store as the
/// command-line reader reads it. None when it cannot be read: the reason goes to `error`, or
/// without one to a warning.
inline std::vector<Stored> readStored(const QString &path, QString *error = nullptr)
{
    const SystemClock clock;
    RecordStore reader(path, clock, RecordStore::Mode::ReadOnly);
    MaybeFailure failure = reader.open();
    std::vector<Stored> result;
    if (!failure) {
        const Fallible<std::vector<TestRecord>> records = reader.records({});
        failure = records.failure();
        for (size_t i = 0; !failure && i < records->size(); ++i) {
            Fallible<RecordDetails> details = reader.details((*records)[i].id);
            failure = details.failure();
            if (!failure)
                result.push_back(std::move(*details));
        }
    }
    if (error)
        *error = failure ? failure->reason : QString();
    else if (failure)
        qWarning("The records cannot be read: %s", qPrintable(failure->reason));
    return failure ? std::vector<Stored>{} : result;
}

/// A connection of its own to a database file, for what the store never does (another
/// program's tables, a newer schema, a lock held); closed when it goes, which ends a
/// transaction it left open.
class SqlConnection {
public:
    explicit SqlConnection(const QString &path)
        : m_name(QStringLiteral("test-%1").arg(quintptr(this), 0, 16))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~SqlConnection()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    /// Runs a statement: the first column of its rows, or "error: " and the reason.
    QStringList rows(const QString &sql) const
    {
        QSqlQuery query(QSqlDatabase::database(m_name, false));
        if (!query.exec(sql))
            return {QStringLiteral("error: ") + query.lastError().text()};
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString();
        return rows;
    }
    /// Runs a statement; whether it ran.
    bool exec(const QString &sql) const
    {
        return !rows(sql).value(0).startsWith(QStringLiteral("error: "));
    }

private:
    QString m_name;
};
