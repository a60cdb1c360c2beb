#include "records/sharedstore.h"

#include "records/recordlayout.h"
#include "records/recordrows.h"
#include "records/recordschema.h"
#include "records/sharedconnection.h"
#include "records/sharedurl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>
#include <map>

using namespace recordrows;

namespace {

/// Rows in one INSERT statement.
constexpr size_t kRowsPerStatement = 200;
/// The first key of the rigs' sync locks, so that they stay apart from other advisory locks:
/// "KEST".
constexpr int kLockSpace = 0x4b455354;

const QString kSampleTable = QStringLiteral(R"(CREATE TABLE sample (
    rig TEXT NOT NULL,
    record_id BIGINT NOT NULL,
    seq BIGINT NOT NULL,
    elapsed BIGINT NOT NULL,
    time_utc BIGINT NOT NULL,
    utc_offset INTEGER NOT NULL,
    pressure DOUBLE PRECISION,
    bath_temp DOUBLE PRECISION,
    phase SMALLINT NOT NULL CHECK (phase BETWEEN 0 AND 3),
    PRIMARY KEY (rig, record_id, seq)
))");

const QString kDecisionTable = QStringLiteral(R"(CREATE TABLE decision (
    rig TEXT NOT NULL,
    record_id BIGINT NOT NULL,
    seq BIGINT NOT NULL,
    time_ms BIGINT NOT NULL,
    utc_offset INTEGER NOT NULL,
    kind TEXT NOT NULL,
    pressure DOUBLE PRECISION NOT NULL,
    reference DOUBLE PRECISION NOT NULL,
    fall_limit DOUBLE PRECISION NOT NULL,
    PRIMARY KEY (rig, record_id, seq)
))");

const QString kEventTable = QStringLiteral(R"(CREATE TABLE link_event (
    rig TEXT NOT NULL,
    id BIGINT NOT NULL,
    record_id BIGINT NOT NULL,
    time TEXT NOT NULL,
    kind TEXT NOT NULL,
    detail TEXT NOT NULL DEFAULT '',
    PRIMARY KEY (rig, id)
))");

/// The function that writes record rows: an upsert from a JSON array of records, each with
/// its rig. Made anew with every change of the record's columns.
QString putRecordsFunction()
{
    QStringList columns = recordlayout::names(recordlayout::Written::Key) +
                          recordlayout::names(recordlayout::Written::Always) +
                          recordlayout::names(recordlayout::Written::Names) +
                          recordlayout::names(recordlayout::Written::Change);
    QStringList updates;
    for (const QString &column : columns)
        if (column != QLatin1String("id"))
            updates << QStringLiteral("%1 = EXCLUDED.%1").arg(column);
    columns.prepend(QStringLiteral("rig"));
    return QStringLiteral(R"(CREATE OR REPLACE FUNCTION kestrava_put_records(rows jsonb)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $body$
BEGIN
    IF NOT has_table_privilege(session_user, 'public.record', 'INSERT') THEN
        RAISE EXCEPTION 'permission denied for table record' USING ERRCODE = '42501';
    END IF;
    INSERT INTO public.record (%1)
        SELECT %1 FROM jsonb_populate_recordset(NULL::public.record, rows)
        ON CONFLICT (rig, id) DO UPDATE SET %2
        WHERE public.record.change_seq <= EXCLUDED.change_seq;
END
$body$)")
        .arg(columns.join(QStringLiteral(", ")), updates.join(QStringLiteral(", ")));
}

QString setVersion()
{
    return QStringLiteral("UPDATE kestrava_schema SET version = %1")
        .arg(SharedStore::kSchemaVersion);
}

QStringList createStatements()
{
    return {
        QStringLiteral("CREATE TABLE kestrava_schema (version INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO kestrava_schema (version) VALUES (%1)")
            .arg(SharedStore::kSchemaVersion),
        recordlayout::createTable(
            recordlayout::postgresql(),
            {QStringLiteral("rig TEXT NOT NULL"), QStringLiteral("PRIMARY KEY (rig, id)")}),
        kSampleTable, kDecisionTable, kEventTable,
        QStringLiteral("CREATE INDEX record_start ON record (start_utc, rig, id)"),
        QStringLiteral("CREATE INDEX record_rig_start ON record (rig, start_utc, id)"),
        // The window's filter by rig and outcome finds its newest records at once, even
        // when few or none match.
        QStringLiteral("CREATE INDEX record_rig_outcome ON record (rig, outcome, start_utc, id)"),
        QStringLiteral("CREATE INDEX record_rig_change ON record (rig, change_seq)"),
        QStringLiteral("CREATE INDEX link_event_record ON link_event (rig, record_id)"),
        putRecordsFunction()};
}

/// The statements that bring a schema of an older version to this one. The first shared
/// schema is version 4, so for now every later version only adds the record's columns.
QStringList migrationFrom(int version)
{
    return recordlayout::migration(recordlayout::postgresql(), version) +
           QStringList{putRecordsFunction(), setVersion()};
}

/// Why a database of a later schema is refused.
QString newerSchemaText(int version)
{
    return QStringLiteral("the shared database has schema version %1, made by a newer Kestrava "
                          "(this one knows up to version %2)")
        .arg(version)
        .arg(SharedStore::kSchemaVersion);
}

/// "?, ?, ?" for one row of n values, repeated for rows rows.
QString valueRows(qsizetype n, size_t rows)
{
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    const QString row = u'(' + marks.join(QStringLiteral(", ")) + u')';
    QStringList all;
    for (size_t i = 0; i < rows; ++i)
        all << row;
    return all.join(QStringLiteral(", "));
}

} // namespace

QString sharedInfoText(const SharedInfo &info)
{
    const QString schema = info.schemaVersion == 0
                               ? QStringLiteral("none: set it up with kestrava-records init-shared")
                               : QString::number(info.schemaVersion);
    QString text = QStringLiteral("Server: PostgreSQL %1\nSchema version: %2\n")
                       .arg(info.serverVersion, schema);
    if (info.schemaVersion != 0)
        text += QStringLiteral("Rigs: %1\nRecords: %2\n").arg(info.rigs).arg(info.records);
    return text;
}

QJsonObject sharedInfoJson(const SharedInfo &info)
{
    return {{QStringLiteral("server"), info.serverVersion},
            {QStringLiteral("schema"), info.schemaVersion},
            {QStringLiteral("rigs"), qint64(info.rigs)},
            {QStringLiteral("records"), qint64(info.records)}};
}

std::optional<SharedInfo> sharedInfoOf(const QJsonObject &object)
{
    if (!object.value(QStringLiteral("server")).isString())
        return std::nullopt;
    return SharedInfo{object.value(QStringLiteral("server")).toString(),
                      int(object.value(QStringLiteral("schema")).toInteger()),
                      object.value(QStringLiteral("rigs")).toInteger(),
                      object.value(QStringLiteral("records")).toInteger()};
}

size_t SharedBatch::rowCount() const
{
    return samples.size() + decisions.size() + events.size() + records.size();
}

struct SharedStore::Private {
    explicit Private(QString connection) : connection(std::move(connection)) {}

    const QString connection;
    QString url;
    /// INSERT statements prepared once, by table and number of rows.
    std::map<std::pair<QString, size_t>, QSqlQuery> inserts;

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    Failure failure(const QString &doing, const QSqlError &error) const
    {
        return sqlFailure(doing, error, url);
    }

    /// Starts a transaction; `doing` says what fails when it cannot.
    MaybeFailure begin(const QString &doing) const
    {
        const bool begun = db().transaction();
        if (answered)
            answered();
        if (begun)
            return std::nullopt;
        return failure(doing, db().lastError());
    }

    /// Runs a prepared query; the server answered when it returns, whatever it said.
    bool run(QSqlQuery &query, const QVariantList &values) const
    {
        const bool done = recordrows::run(query, values);
        if (answered)
            answered();
        return done;
    }

    std::function<void()> answered;

    /// The rows a statement selects; the server answered when it returns, whatever it said.
    Fallible<std::vector<QVariantList>> rows(const QString &doing, const QString &sql,
                                             const QVariantList &values) const
    {
        Fallible<std::vector<QVariantList>> found = selectRows(db(), url, doing, sql, values);
        if (answered)
            answered();
        return found;
    }

    MaybeFailure exec(const QString &doing, const QString &sql) const
    {
        QSqlQuery query(db());
        const bool done = query.exec(sql);
        if (answered)
            answered();
        if (done)
            return std::nullopt;
        return failure(doing, query.lastError());
    }

    /// The schema's version; 0 when the database has none.
    Fallible<int> schemaVersion() const;
    MaybeFailure insert(const QString &table, const QString &columns, const QString &rig,
                        const std::vector<QVariantList> &rows);
};

Fallible<int> SharedStore::Private::schemaVersion() const
{
    const QString doing = QStringLiteral("the shared database's schema cannot be read");
    Fallible<std::vector<QVariantList>> exists =
        rows(doing, QStringLiteral("SELECT to_regclass('kestrava_schema') IS NOT NULL"), {});
    if (!exists.ok())
        return *exists.failure();
    if (!exists->front().front().toBool())
        return 0;
    Fallible<std::vector<QVariantList>> version =
        rows(doing, QStringLiteral("SELECT MAX(version) FROM kestrava_schema"), {});
    if (!version.ok())
        return *version.failure();
    return version->front().front().toInt();
}

MaybeFailure SharedStore::Private::insert(const QString &table, const QString &columns,
                                          const QString &rig, const std::vector<QVariantList> &all)
{
    const QString doing = QStringLiteral("the %1 rows cannot be written").arg(table);
    const qsizetype width = columns.count(u',') + 2; // the rig and the columns
    for (size_t first = 0; first < all.size(); first += kRowsPerStatement) {
        const size_t count = std::min(kRowsPerStatement, all.size() - first);
        auto [statement, made] = inserts.try_emplace({table, count}, db());
        QSqlQuery &query = statement->second;
        if (made &&
            !query.prepare(QStringLiteral("INSERT INTO %1 (rig, %2) VALUES %3 ON CONFLICT DO "
                                          "NOTHING")
                               .arg(table, columns, valueRows(width, count)))) {
            const Failure failed = failure(doing, query.lastError());
            inserts.erase(statement);
            return failed;
        }
        QVariantList values;
        values.reserve(width * qsizetype(count));
        for (size_t r = first; r < first + count; ++r)
            values << rig << all[r];
        if (!run(query, values))
            return failure(doing, query.lastError());
    }
    return std::nullopt;
}

SharedStore::SharedStore(QString connectionName)
    : d(std::make_unique<Private>(std::move(connectionName)))
{
}

SharedStore::~SharedStore()
{
    close();
}

MaybeFailure SharedStore::connect(const QString &url)
{
    close();
    // A URL that is refused (one holding a password, say) is never repeated in a message.
    const Fallible<SharedUrl> parsed = parseSharedUrl(url);
    if (!parsed.ok())
        return Failure{parsed.failure()->reason, {}};
    d->url = url;
    Fallible<QSqlDatabase> opened = openSharedDatabase(*parsed, d->connection);
    if (!opened.ok())
        return Failure{opened.failure()->reason, url};
    // A statement the server cannot finish in time is cancelled rather than waited for.
    if (MaybeFailure failed =
            d->exec(QStringLiteral("the shared database cannot be set up"),
                    QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeout * 1000))) {
        close();
        return failed;
    }
    return std::nullopt;
}

MaybeFailure SharedStore::open(const QString &url)
{
    if (MaybeFailure failed = connect(url))
        return failed;
    const Fallible<int> version = d->schemaVersion();
    QString problem;
    if (!version.ok())
        problem = version.failure()->reason;
    else if (*version == 0)
        problem = QStringLiteral("the shared database has no Kestrava tables; set it up with "
                                 "kestrava-records init-shared");
    else if (*version < kSchemaVersion)
        problem = QStringLiteral("the shared database has schema version %1; bring it to "
                                 "version %2 with kestrava-records init-shared")
                      .arg(*version)
                      .arg(kSchemaVersion);
    else if (*version > kSchemaVersion)
        problem = newerSchemaText(*version);
    if (problem.isEmpty())
        return std::nullopt;
    close();
    return Failure{problem, url};
}

void SharedStore::close()
{
    d->inserts.clear();
    if (QSqlDatabase::contains(d->connection)) {
        QSqlDatabase::database(d->connection, false).close();
        QSqlDatabase::removeDatabase(d->connection);
    }
}

Fallible<QString> SharedStore::initialise()
{
    const QString doing = QStringLiteral("the shared database cannot be set up");
    if (MaybeFailure failed = d->begin(doing))
        return *failed;
    // Two rigs set up at the same time: the second waits here and then finds the schema.
    if (MaybeFailure failed =
            d->exec(doing, QStringLiteral("SELECT pg_advisory_xact_lock(%1, 0)").arg(kLockSpace))) {
        rollback();
        return *failed;
    }
    const Fallible<int> version = d->schemaVersion();
    if (!version.ok()) {
        rollback();
        return *version.failure();
    }
    if (*version > kSchemaVersion) {
        rollback();
        return Failure{newerSchemaText(*version), d->url};
    }
    if (*version == kSchemaVersion) {
        rollback();
        return QStringLiteral("The shared database has schema version %1 already.")
            .arg(kSchemaVersion);
    }
    const QStringList statements = *version == 0 ? createStatements() : migrationFrom(*version);
    for (const QString &sql : statements) {
        if (MaybeFailure failed = d->exec(doing, sql)) {
            rollback();
            return *failed;
        }
    }
    if (MaybeFailure failed = commit())
        return *failed;
    if (*version == 0)
        return QStringLiteral("The shared database was set up with schema version %1.")
            .arg(kSchemaVersion);
    return QStringLiteral("The shared database was brought from schema version %1 to %2.")
        .arg(*version)
        .arg(kSchemaVersion);
}

Fallible<SharedInfo> SharedStore::info() const
{
    SharedInfo info;
    const QString doing = QStringLiteral("the shared database cannot be read");
    Fallible<std::vector<QVariantList>> server =
        d->rows(doing, QStringLiteral("SELECT current_setting('server_version')"), {});
    if (!server.ok())
        return *server.failure();
    info.serverVersion = server->front().front().toString().section(u' ', 0, 0);
    const Fallible<int> version = d->schemaVersion();
    if (!version.ok())
        return *version.failure();
    info.schemaVersion = *version;
    if (info.schemaVersion == 0)
        return info;
    Fallible<std::vector<QVariantList>> counts = d->rows(
        doing,
        QStringLiteral("SELECT (SELECT COUNT(DISTINCT rig) FROM record), COUNT(*) FROM record"),
        {});
    if (!counts.ok())
        return *counts.failure();
    info.rigs = counts->front()[0].toLongLong();
    info.records = counts->front()[1].toLongLong();
    return info;
}

Fallible<std::vector<TestRecord>> SharedStore::records(const RecordFilter &filter) const
{
    QVariantList values;
    QString sql =
        QStringLiteral("SELECT %1, rig FROM record%2 ORDER BY start_utc DESC, rig "
                       "DESC, id DESC")
            .arg(recordlayout::selectList(),
                 recordschema::whereClause(filter, values, recordschema::TextMatch::ILike));
    if (filter.limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(filter.limit);
    const QString doing = QStringLiteral("the shared records cannot be read");
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.prepare(sql) || !d->run(query, values))
        return d->failure(doing, query.lastError());
    std::vector<TestRecord> result;
    const int rigColumn = int(recordlayout::columns().size());
    while (query.next()) {
        TestRecord record = recordlayout::fromRow(query);
        record.rig = query.value(rigColumn).toString();
        result.push_back(std::move(record));
    }
    if (query.lastError().isValid())
        return d->failure(doing, query.lastError());
    return result;
}

Fallible<std::vector<RecordFigures>> SharedStore::figureRecords(const RecordFilter &filter,
                                                                StatisticsFigure figure) const
{
    return recordrows::readFigureRecords(d->db(), d->url, filter, figure,
                                         recordschema::TextMatch::ILike, true);
}

Fallible<RecordDetails> SharedStore::details(const RecordKey &key) const
{
    const QString doing = QStringLiteral("the shared record cannot be read");
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM record WHERE rig = ? AND id = ?")
                           .arg(recordlayout::selectList())) ||
        !d->run(query, {key.rig, qlonglong(key.id)}))
        return d->failure(doing, query.lastError());
    if (!query.next()) {
        if (query.lastError().isValid())
            return d->failure(doing, query.lastError());
        return Failure{QStringLiteral("There is no test record %1.").arg(recordKeyText(key)),
                       d->url};
    }
    RecordDetails details;
    details.record = recordlayout::fromRow(query);
    details.record.rig = key.rig;
    query.finish();
    const QString where = QStringLiteral("rig = ? AND record_id = ?");
    const QVariantList values{key.rig, qlonglong(key.id)};
    Fallible<std::vector<TraceSample>> trace = readTrace(d->db(), d->url, where, values);
    if (d->answered)
        d->answered();
    if (!trace.ok())
        return *trace.failure();
    details.trace = std::move(*trace);
    Fallible<std::vector<Decision>> decisions = readDecisions(d->db(), d->url, where, values);
    if (!decisions.ok())
        return *decisions.failure();
    details.decisions = std::move(*decisions);
    Fallible<std::vector<RecordedLinkEvent>> events = readEvents(d->db(), d->url, where, values);
    if (!events.ok())
        return *events.failure();
    details.events = std::move(*events);
    return details;
}

Fallible<bool> SharedStore::lockRig(const QString &rig)
{
    Fallible<std::vector<QVariantList>> locked = d->rows(
        QStringLiteral("the rig's sync lock cannot be taken"),
        QStringLiteral("SELECT pg_try_advisory_lock(%1, hashtext(?))").arg(kLockSpace), {rig});
    if (!locked.ok())
        return *locked.failure();
    return locked->front().front().toBool();
}

Fallible<SyncMark> SharedStore::mark(const QString &rig) const
{
    Fallible<std::vector<QVariantList>> found = d->rows(
        QStringLiteral("the shared database cannot be read"),
        QStringLiteral("SELECT (SELECT COALESCE(MAX(change_seq), 0) FROM record WHERE rig = ?), "
                       "(SELECT COALESCE(MAX(id), 0) FROM link_event WHERE rig = ?)"),
        {rig, rig});
    if (!found.ok())
        return *found.failure();
    return SyncMark{found->front()[0].toLongLong(), found->front()[1].toLongLong()};
}

Fallible<RecordMark> SharedStore::recordMark(const QString &rig, int64_t recordId) const
{
    const QVariantList key{rig, qlonglong(recordId)};
    Fallible<std::vector<QVariantList>> found = d->rows(
        QStringLiteral("the shared database cannot be read"),
        QStringLiteral("SELECT (SELECT COALESCE(MAX(seq), -1) + 1 FROM sample WHERE rig = ? "
                       "AND record_id = ?), (SELECT COALESCE(MAX(seq), -1) + 1 FROM "
                       "decision WHERE rig = ? AND record_id = ?)"),
        key + key);
    if (!found.ok())
        return *found.failure();
    return RecordMark{found->front()[0].toLongLong(), found->front()[1].toLongLong()};
}

void SharedStore::setAnswered(std::function<void()> answered)
{
    d->answered = std::move(answered);
}

MaybeFailure SharedStore::begin()
{
    return d->begin(QStringLiteral("the shared database cannot be written"));
}

MaybeFailure SharedStore::commit()
{
    QSqlDatabase db = d->db();
    const bool committed = db.commit();
    if (d->answered)
        d->answered();
    if (committed)
        return std::nullopt;
    const Failure failed =
        d->failure(QStringLiteral("the shared database cannot be written"), db.lastError());
    db.rollback();
    return failed;
}

void SharedStore::rollback()
{
    d->db().rollback();
}

MaybeFailure SharedStore::write(const QString &rig, const SharedBatch &batch)
{
    if (MaybeFailure failed =
            d->insert(QStringLiteral("sample"), kSampleColumns, rig, batch.samples))
        return failed;
    if (MaybeFailure failed =
            d->insert(QStringLiteral("decision"), kDecisionColumns, rig, batch.decisions))
        return failed;
    if (MaybeFailure failed =
            d->insert(QStringLiteral("link_event"), kEventColumns, rig, batch.events))
        return failed;
    if (batch.records.empty())
        return std::nullopt;
    QJsonArray records;
    for (const TestRecord &record : batch.records) {
        QJsonObject object = recordlayout::toJson(record);
        object.insert(QStringLiteral("rig"), rig);
        records.append(object);
    }
    QSqlQuery query(d->db());
    if (!query.prepare(QStringLiteral("SELECT kestrava_put_records(CAST(? AS jsonb))")) ||
        !d->run(query, {QString::fromUtf8(QJsonDocument(records).toJson(QJsonDocument::Compact))}))
        return d->failure(QStringLiteral("the record rows cannot be written"), query.lastError());
    return std::nullopt;
}
