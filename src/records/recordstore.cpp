#include "records/recordstore.h"

#include "app/clock.h"
#include "records/leakfigures.h"
#include "records/recordschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <functional>

namespace {

// SQLite's primary result codes that say the file is not a database of any kind.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

/// The columns a write sets, names apart, in the order of rowValues().
const QStringList kWrittenColumns =
    QStringLiteral("station start_time start_utc end_time end_utc outcome start_pressure_limit "
                   "leak_fall_limit leak_test_duration bath_fall_limit main_test_duration "
                   "min_bath_temp cal_range cal_zero cal_span temp_zero temp_span "
                   "leak_ref_pressure main_ref_pressure leak_pass_time main_start_time "
                   "post_test_time leak_fall main_fall")
        .split(u' ');

/// A text column: an empty text is stored as '', never NULL.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant real(float value)
{
    return double(value);
}

template <typename T> QVariant optionalReal(const std::optional<T> &value)
{
    return value ? QVariant(double(*value)) : QVariant();
}

QVariant optionalTime(const std::optional<QDateTime> &time)
{
    return time ? QVariant(isoTime(*time)) : QVariant();
}

QVariantList rowValues(const TestRecord &r)
{
    const TestParameters &p = r.parameters;
    return {r.station,
            isoTime(r.start),
            r.start.toSecsSinceEpoch(),
            optionalTime(r.end),
            r.end ? QVariant(r.end->toSecsSinceEpoch()) : QVariant(),
            r.outcome ? QVariant(outcomeText(*r.outcome)) : QVariant(),
            real(p.StartPressureLimit),
            real(p.LeakFallLimit),
            int(p.LeakTestDuration),
            real(p.BathFallLimit),
            int(p.MainTestDuration),
            real(p.MinBathTemp),
            real(r.calRange),
            real(r.calZero),
            real(r.calSpan),
            real(r.tempZero),
            real(r.tempSpan),
            real(r.leakRefPressure),
            optionalReal(r.mainRefPressure),
            optionalTime(r.leakPassTime),
            optionalTime(r.mainStartTime),
            optionalTime(r.postTestTime),
            optionalReal(r.leakFall),
            optionalReal(r.mainFall)};
}

float realOf(const QSqlQuery &q, const QString &column)
{
    return float(q.value(column).toDouble());
}

std::optional<QDateTime> optionalTimeOf(const QSqlQuery &q, const QString &column)
{
    const QVariant value = q.value(column);
    if (value.isNull())
        return std::nullopt;
    return fromIsoTime(value.toString());
}

std::optional<double> optionalRealOf(const QSqlQuery &q, const QString &column)
{
    const QVariant value = q.value(column);
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

TestRecord recordFromRow(const QSqlQuery &q)
{
    TestRecord r;
    r.id = q.value(QStringLiteral("id")).toLongLong();
    r.station = q.value(QStringLiteral("station")).toInt();
    r.start = fromIsoTime(q.value(QStringLiteral("start_time")).toString());
    r.end = optionalTimeOf(q, QStringLiteral("end_time"));
    r.outcome = outcomeFromText(q.value(QStringLiteral("outcome")).toString());
    TestParameters &p = r.parameters;
    p.StartPressureLimit = realOf(q, QStringLiteral("start_pressure_limit"));
    p.LeakFallLimit = realOf(q, QStringLiteral("leak_fall_limit"));
    p.LeakTestDuration = int16_t(q.value(QStringLiteral("leak_test_duration")).toInt());
    p.BathFallLimit = realOf(q, QStringLiteral("bath_fall_limit"));
    p.MainTestDuration = int16_t(q.value(QStringLiteral("main_test_duration")).toInt());
    p.MinBathTemp = realOf(q, QStringLiteral("min_bath_temp"));
    r.calRange = realOf(q, QStringLiteral("cal_range"));
    r.calZero = realOf(q, QStringLiteral("cal_zero"));
    r.calSpan = realOf(q, QStringLiteral("cal_span"));
    r.tempZero = realOf(q, QStringLiteral("temp_zero"));
    r.tempSpan = realOf(q, QStringLiteral("temp_span"));
    r.leakRefPressure = realOf(q, QStringLiteral("leak_ref_pressure"));
    if (const auto main = optionalRealOf(q, QStringLiteral("main_ref_pressure")))
        r.mainRefPressure = float(*main);
    r.leakPassTime = optionalTimeOf(q, QStringLiteral("leak_pass_time"));
    r.mainStartTime = optionalTimeOf(q, QStringLiteral("main_start_time"));
    r.postTestTime = optionalTimeOf(q, QStringLiteral("post_test_time"));
    r.testName = q.value(QStringLiteral("test_name")).toString();
    r.operatorName = q.value(QStringLiteral("operator")).toString();
    r.leakFall = optionalRealOf(q, QStringLiteral("leak_fall"));
    r.mainFall = optionalRealOf(q, QStringLiteral("main_fall"));
    return r;
}

/// Whether the file at path, when it exists and holds anything, starts as every SQLite
/// database does. One that does not is never handed to SQLite: it would take a log left
/// beside the file for the database's own and write it into the file.
bool hasDatabaseHeader(const QString &path)
{
    QFile file(path);
    if (!file.exists() || file.size() == 0)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return true; // SQLite will say why it cannot be read
    return file.read(16) == QByteArray("SQLite format 3", 16);
}

int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

Failure sqlFailure(const QString &doing, const QSqlError &error, const QString &path)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return Failure{doing + QStringLiteral(": ") + text, path};
}

MaybeFailure readTrace(const QSqlDatabase &db, const QString &path, int64_t recordId,
                       std::vector<TraceSample> &result)
{
    result.clear();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString doing = QStringLiteral("A test record's trace cannot be read");
    if (!query.prepare(QStringLiteral(
            "SELECT elapsed, time_utc, utc_offset, pressure, bath_temp, phase FROM sample "
            "WHERE record_id = ? ORDER BY seq")))
        return sqlFailure(doing, query.lastError(), path);
    query.addBindValue(qlonglong(recordId));
    if (!query.exec())
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
    return std::nullopt;
}

/// Runs a prepared query with its values bound in order.
bool run(QSqlQuery &query, const QVariantList &values)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values[i]);
    return query.exec();
}

} // namespace

struct RecordStore::Private {
    Private(QString path, const Clock &clock, Mode mode)
        : path(std::move(path)), clock(clock), mode(mode),
          connection(QStringLiteral("kestrava-records-%1").arg(quintptr(this), 0, 16))
    {
    }

    /// The statements a write repeats, prepared once per opening.
    struct Statements {
        explicit Statements(const QSqlDatabase &db)
            : insertRecord(db), updateRecord(db), updateNames(db), insertSample(db), insertEvent(db)
        {
        }
        QSqlQuery insertRecord, updateRecord, updateNames, insertSample, insertEvent;
    };

    const QString path;
    const Clock &clock;
    const Mode mode;
    const QString connection;
    QString setAside;
    bool open = false;
    std::unique_ptr<Statements> statements;

    QSqlDatabase db() const { return QSqlDatabase::database(connection, false); }

    Failure failure(const QString &doing, const QSqlError &error) const
    {
        return sqlFailure(doing, error, path);
    }

    /// Runs one statement; the error when it fails.
    std::optional<QSqlError> exec(const QString &sql) const
    {
        QSqlQuery query(db());
        if (query.exec(sql))
            return std::nullopt;
        return query.lastError();
    }

    MaybeFailure connect();
    void disconnect();
    std::optional<QSqlError> readVersion(int &version, bool &hasTables) const;
    MaybeFailure setFileAside();
    MaybeFailure upgrade(int version);
    MaybeFailure prepare();
    MaybeFailure storeFalls(TestRecord &record);
    MaybeFailure update(const TestRecord &record);
    MaybeFailure inTransaction(const QString &doing, const std::function<MaybeFailure()> &work);
};

MaybeFailure RecordStore::Private::connect()
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    database.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (mode == Mode::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    database.setConnectOptions(options);
    if (database.open())
        return std::nullopt;
    const Failure failed =
        failure(QStringLiteral("The records database cannot be opened"), database.lastError());
    database = QSqlDatabase();
    disconnect();
    return failed;
}

void RecordStore::Private::disconnect()
{
    statements.reset();
    {
        QSqlDatabase database = db();
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    open = false;
}

std::optional<QSqlError> RecordStore::Private::readVersion(int &version, bool &hasTables) const
{
    QSqlQuery query(db());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return query.lastError();
    version = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next())
        return query.lastError();
    hasTables = query.value(0).toInt() > 0;
    return std::nullopt;
}

MaybeFailure RecordStore::Private::setFileAside()
{
    const QString base = path + QStringLiteral(".unreadable-") +
                         clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    const QStringList companions{QStringLiteral("-wal"), QStringLiteral("-shm")};
    const auto taken = [&companions](const QString &name) {
        if (QFileInfo::exists(name))
            return true;
        for (const QString &suffix : companions)
            if (QFileInfo::exists(name + suffix))
                return true;
        return false;
    };
    for (int n = 2; taken(target); ++n)
        target = base + QStringLiteral("-%1").arg(n);
    // A file left by a crash beside the unreadable one would be taken for the new database's,
    // so the companions go with it.
    for (const QString &suffix : QStringList{QString()} + companions) {
        if (!QFileInfo::exists(path + suffix))
            continue;
        QFile file(path + suffix);
        if (!file.rename(target + suffix))
            return Failure{QStringLiteral("The unreadable records database cannot be set aside "
                                          "as %1: %2")
                               .arg(target + suffix, file.errorString()),
                           path};
    }
    setAside = target;
    return std::nullopt;
}

MaybeFailure RecordStore::Private::inTransaction(const QString &doing,
                                                 const std::function<MaybeFailure()> &work)
{
    if (const auto error = exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failure(doing, *error);
    MaybeFailure failed = work();
    if (!failed) {
        if (const auto error = exec(QStringLiteral("COMMIT")))
            failed = failure(doing, *error);
    }
    if (failed)
        (void)exec(QStringLiteral("ROLLBACK"));
    return failed;
}

MaybeFailure RecordStore::Private::upgrade(int version)
{
    const QString doing = QStringLiteral("The records database cannot be set up");
    return inTransaction(doing, [&]() -> MaybeFailure {
        // Another program may have set it up since the version was read.
        bool hasTables = false;
        if (const auto error = readVersion(version, hasTables))
            return failure(doing, *error);
        if (version == kSchemaVersion)
            return std::nullopt;
        const QStringList statements =
            version == 0 ? recordschema::createStatements() : recordschema::migrationFromVersion1();
        for (const QString &sql : statements)
            if (const auto error = exec(sql))
                return failure(doing, *error);
        if (MaybeFailure failed = prepare())
            return failed;
        // The falls of the records that version 1 kept without them.
        QSqlQuery query(db());
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT ") + recordschema::recordColumns() +
                        QStringLiteral(" FROM record")))
            return failure(doing, query.lastError());
        std::vector<TestRecord> records;
        while (query.next())
            records.push_back(recordFromRow(query));
        query.finish();
        for (TestRecord &record : records)
            if (MaybeFailure failed = storeFalls(record))
                return failed;
        return std::nullopt;
    });
}

MaybeFailure RecordStore::Private::prepare()
{
    if (mode == Mode::ReadOnly)
        return std::nullopt;
    statements = std::make_unique<Statements>(db());
    const auto placeholders = [](qsizetype n) {
        QStringList marks;
        for (qsizetype i = 0; i < n; ++i)
            marks << QStringLiteral("?");
        return marks.join(QStringLiteral(", "));
    };
    const QStringList named =
        kWrittenColumns + QStringList{QStringLiteral("test_name"), QStringLiteral("operator")};
    QStringList assignments;
    for (const QString &column : kWrittenColumns)
        assignments << column + QStringLiteral(" = ?");
    Statements &s = *statements;
    const bool prepared =
        s.insertRecord.prepare(
            QStringLiteral("INSERT INTO record (%1) VALUES (%2)")
                .arg(named.join(QStringLiteral(", ")), placeholders(named.size()))) &&
        s.updateRecord.prepare(QStringLiteral("UPDATE record SET %1 WHERE id = ?")
                                   .arg(assignments.join(QStringLiteral(", ")))) &&
        s.updateNames.prepare(
            QStringLiteral("UPDATE record SET test_name = ?, operator = ? WHERE id = ?")) &&
        s.insertSample.prepare(QStringLiteral(
            "INSERT INTO sample (record_id, seq, elapsed, time_utc, utc_offset, pressure, "
            "bath_temp, phase) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")) &&
        s.insertEvent.prepare(QStringLiteral(
            "INSERT INTO link_event (record_id, time, kind, detail) VALUES (?, ?, ?, ?)"));
    if (prepared)
        return std::nullopt;
    QSqlError error;
    for (QSqlQuery *query :
         {&s.insertRecord, &s.updateRecord, &s.updateNames, &s.insertSample, &s.insertEvent})
        if (query->lastError().isValid())
            error = query->lastError();
    statements.reset();
    return failure(QStringLiteral("The records database cannot be prepared"), error);
}

MaybeFailure RecordStore::Private::update(const TestRecord &record)
{
    QVariantList values = rowValues(record);
    values << qlonglong(record.id);
    if (!run(statements->updateRecord, values))
        return failure(QStringLiteral("A test record cannot be written"),
                       statements->updateRecord.lastError());
    return std::nullopt;
}

MaybeFailure RecordStore::Private::storeFalls(TestRecord &record)
{
    std::vector<TraceSample> samples;
    if (MaybeFailure failed = readTrace(db(), path, record.id, samples))
        return failed;
    const LeakFigures figures = leakFigures(record, samples);
    record.leakFall = figures.leak.fall;
    record.mainFall = figures.main.fall;
    return update(record);
}

RecordStore::RecordStore(QString path, const Clock &clock, Mode mode)
    : d(std::make_unique<Private>(std::move(path), clock, mode))
{
}

RecordStore::~RecordStore()
{
    close();
}

MaybeFailure RecordStore::open()
{
    if (d->open)
        return std::nullopt;
    d->setAside.clear();
    const QFileInfo file(d->path);
    if (file.isDir())
        return Failure{QStringLiteral("The records database is a folder, not a file."), d->path};
    if (d->mode == Mode::ReadOnly && !file.exists())
        return Failure{QStringLiteral("There is no records database."), d->path};
    if (!hasDatabaseHeader(d->path)) {
        if (d->mode == Mode::ReadOnly)
            return Failure{QStringLiteral("The records database is not a database."), d->path};
        if (MaybeFailure failed = d->setFileAside())
            return failed;
    }
    if (MaybeFailure failed = d->connect())
        return failed;

    int version = 0;
    bool hasTables = false;
    std::optional<QSqlError> error = d->readVersion(version, hasTables);
    // A damaged database, or a database of something else.
    const bool unreadable =
        error ? primaryCode(*error) == kSqliteCorrupt || primaryCode(*error) == kSqliteNotADatabase
              : version == 0 && hasTables;
    if (unreadable && d->mode == Mode::ReadWrite) {
        d->disconnect();
        if (MaybeFailure failed = d->setFileAside())
            return failed;
        if (MaybeFailure failed = d->connect())
            return failed;
        error = d->readVersion(version, hasTables);
    }
    const auto fail = [this](const Failure &failure) {
        d->disconnect();
        return failure;
    };
    if (error)
        return fail(d->failure(QStringLiteral("The records database cannot be read"), *error));
    if (unreadable && d->mode == Mode::ReadOnly) // another program's database is left alone
        return fail(
            {QStringLiteral("The records database is not a database of Kestrava."), d->path});
    if (version > kSchemaVersion)
        return fail({QStringLiteral("The records database was made by a newer version of "
                                    "Kestrava (schema %1; this one knows up to %2).")
                         .arg(version)
                         .arg(kSchemaVersion),
                     d->path});

    if (d->mode == Mode::ReadOnly) {
        if (version != kSchemaVersion)
            return fail({QStringLiteral("The records database has schema version %1; Kestrava "
                                        "brings it to version %2 when it next starts.")
                             .arg(version)
                             .arg(kSchemaVersion),
                         d->path});
        d->open = true;
        return std::nullopt;
    }

    // WAL lets readers (the records window, the command-line reader) run beside the writes;
    // synchronous=FULL syncs the log at every commit, so a power cut keeps every commit.
    QSqlQuery mode(d->db());
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !mode.next())
        return fail(
            d->failure(QStringLiteral("The records database cannot be set up"), mode.lastError()));
    if (mode.value(0).toString() != QLatin1String("wal"))
        return fail({QStringLiteral("The records database cannot be set up: it cannot use a "
                                    "write-ahead log."),
                     d->path});
    mode.finish();
    if (const auto pragma = d->exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return fail(d->failure(QStringLiteral("The records database cannot be set up"), *pragma));
    if (version != kSchemaVersion) {
        if (MaybeFailure failed = d->upgrade(version))
            return fail(*failed);
    }
    if (!d->statements) {
        if (MaybeFailure failed = d->prepare())
            return fail(*failed);
    }
    d->open = true;
    return std::nullopt;
}

bool RecordStore::isOpen() const
{
    return d->open;
}

void RecordStore::close()
{
    if (QSqlDatabase::contains(d->connection))
        d->disconnect();
}

QString RecordStore::path() const
{
    return d->path;
}

QString RecordStore::setAsidePath() const
{
    return d->setAside;
}

QString RecordStore::connectionName() const
{
    return d->connection;
}

MaybeFailure RecordStore::write(std::vector<RecordChange> &changes)
{
    if (!d->open || !d->statements)
        return Failure{QStringLiteral("The records database is not open for writing."), d->path};
    const QString doing = QStringLiteral("The test records cannot be written");
    Private::Statements &s = *d->statements;
    std::vector<int64_t> ids;
    MaybeFailure failed = d->inTransaction(doing, [&]() -> MaybeFailure {
        for (const RecordChange &change : changes) {
            int64_t id = change.record.id;
            if (id == 0) {
                QVariantList values = rowValues(change.record);
                values << text(change.record.testName) << text(change.record.operatorName);
                if (!run(s.insertRecord, values))
                    return d->failure(doing, s.insertRecord.lastError());
                id = s.insertRecord.lastInsertId().toLongLong();
            } else {
                if (MaybeFailure failed = d->update(change.record))
                    return failed;
                if (change.writeNames &&
                    !run(s.updateNames, {text(change.record.testName),
                                         text(change.record.operatorName), qlonglong(id)}))
                    return d->failure(doing, s.updateNames.lastError());
            }
            ids.push_back(id);
            int64_t seq = change.firstSample;
            for (const TraceSample &sample : change.samples) {
                if (!run(s.insertSample,
                         {qlonglong(id), qlonglong(seq++), qlonglong(sample.elapsed),
                          sample.time.toSecsSinceEpoch(), sample.time.offsetFromUtc(),
                          sample.pressureValid ? real(sample.pressure) : QVariant(),
                          sample.bathTempValid ? real(sample.bathTemp) : QVariant(),
                          int(sample.phase)}))
                    return d->failure(doing, s.insertSample.lastError());
            }
            for (const RecordedLinkEvent &event : change.events) {
                if (!run(s.insertEvent, {qlonglong(id), isoTime(event.time),
                                         linkEventText(event.kind), text(event.detail)}))
                    return d->failure(doing, s.insertEvent.lastError());
            }
        }
        return std::nullopt;
    });
    if (failed)
        return failed;
    for (size_t i = 0; i < changes.size(); ++i)
        changes[i].record.id = ids[i];
    return std::nullopt;
}

MaybeFailure RecordStore::setNames(int64_t recordId, const QString &testName,
                                   const QString &operatorName)
{
    if (!d->open || !d->statements)
        return Failure{QStringLiteral("The records database is not open for writing."), d->path};
    const QString doing = QStringLiteral("The names of a test record cannot be written");
    return d->inTransaction(doing, [&]() -> MaybeFailure {
        QSqlQuery &query = d->statements->updateNames;
        if (!run(query, {text(testName), text(operatorName), qlonglong(recordId)}))
            return d->failure(doing, query.lastError());
        if (query.numRowsAffected() != 1)
            return Failure{QStringLiteral("There is no test record %1.").arg(recordId), d->path};
        return std::nullopt;
    });
}

MaybeFailure RecordStore::closeOpenRecords(int *closed)
{
    if (!d->open || !d->statements)
        return Failure{QStringLiteral("The records database is not open for writing."), d->path};
    const QString doing = QStringLiteral("The open test records cannot be closed");
    int count = 0;
    MaybeFailure failed = d->inTransaction(doing, [&]() -> MaybeFailure {
        std::vector<TestRecord> open;
        {
            QSqlQuery query(d->db());
            query.setForwardOnly(true);
            if (!query.exec(QStringLiteral("SELECT ") + recordschema::recordColumns() +
                            QStringLiteral(" FROM record WHERE outcome IS NULL")))
                return d->failure(doing, query.lastError());
            while (query.next())
                open.push_back(recordFromRow(query));
        }
        for (TestRecord &record : open) {
            std::vector<TraceSample> samples;
            if (MaybeFailure failed = readTrace(d->db(), d->path, record.id, samples))
                return failed;
            record.outcome = Outcome::Interrupted;
            record.end = samples.empty() ? record.start : samples.back().time;
            const LeakFigures figures = leakFigures(record, samples);
            record.leakFall = figures.leak.fall;
            record.mainFall = figures.main.fall;
            if (MaybeFailure failed = d->update(record))
                return failed;
        }
        count = int(open.size());
        return std::nullopt;
    });
    if (closed)
        *closed = failed ? 0 : count;
    return failed;
}

MaybeFailure RecordStore::records(const RecordFilter &filter, std::vector<TestRecord> &result) const
{
    result.clear();
    if (!d->open)
        return Failure{QStringLiteral("The records database is not open."), d->path};
    const QString doing = QStringLiteral("The test records cannot be read");
    QVariantList values;
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT ") + recordschema::recordColumns() +
                       QStringLiteral(" FROM record") + recordschema::whereClause(filter, values) +
                       QStringLiteral(" ORDER BY start_utc DESC, id DESC")) ||
        !run(query, values))
        return d->failure(doing, query.lastError());
    while (query.next())
        result.push_back(recordFromRow(query));
    if (query.lastError().isValid())
        return d->failure(doing, query.lastError());
    return std::nullopt;
}

MaybeFailure RecordStore::record(int64_t id, TestRecord &result) const
{
    if (!d->open)
        return Failure{QStringLiteral("The records database is not open."), d->path};
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT ") + recordschema::recordColumns() +
                       QStringLiteral(" FROM record WHERE id = ?")) ||
        !run(query, {qlonglong(id)}))
        return d->failure(QStringLiteral("A test record cannot be read"), query.lastError());
    if (!query.next())
        return Failure{QStringLiteral("There is no test record %1.").arg(id), d->path};
    result = recordFromRow(query);
    return std::nullopt;
}

MaybeFailure RecordStore::trace(int64_t recordId, std::vector<TraceSample> &result) const
{
    if (!d->open)
        return Failure{QStringLiteral("The records database is not open."), d->path};
    return readTrace(d->db(), d->path, recordId, result);
}

MaybeFailure RecordStore::events(int64_t recordId, std::vector<RecordedLinkEvent> &result) const
{
    result.clear();
    if (!d->open)
        return Failure{QStringLiteral("The records database is not open."), d->path};
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral(
            "SELECT time, kind, detail FROM link_event WHERE record_id = ? ORDER BY id")) ||
        !run(query, {qlonglong(recordId)}))
        return d->failure(QStringLiteral("A test record's link events cannot be read"),
                          query.lastError());
    while (query.next()) {
        // A kind this version does not know is left out rather than shown as another.
        if (const auto kind = linkEventFromText(query.value(1).toString()))
            result.push_back(
                {fromIsoTime(query.value(0).toString()), *kind, query.value(2).toString()});
    }
    return std::nullopt;
}

QString recordsErrorText(const Failure &failure)
{
    return QStringLiteral("The test records could not be written to %1: %2")
        .arg(QDir::toNativeSeparators(failure.path), failure.reason);
}
