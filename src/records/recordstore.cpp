#include "records/recordstore.h"

#include "app/clock.h"
#include "records/leakfigures.h"
#include "records/recordlayout.h"
#include "records/recordrows.h"
#include "records/recordschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>

#include <sys/stat.h>

namespace {

using namespace recordrows;

/// The rows of one record in the local store.
const QString kLocalRecord = QStringLiteral("record_id = ?");

// SQLite's primary result codes that say the file is not a database of any kind.
constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;

QVariant real(float value)
{
    return double(value);
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

/// Milliseconds of a decision's time: to the tenth of a second, earlier tenths kept.
qint64 tenthsMs(const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    return ms - ((ms % 100) + 100) % 100;
}

/// The falls of a record as its figures give them.
void setFalls(TestRecord &record, std::span<const TraceSample> trace,
              std::span<const Decision> decisions)
{
    keepFigures(record, leakFigures(record, trace, decisions));
}

/// Which file a path names: its device and inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

std::optional<FileIdentity> identityOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

/// The value of a change counter column above every row's: a write of a row that sets it
/// gives the row a change of its own.
QString nextChange(const QString &column)
{
    return QStringLiteral("(SELECT COALESCE(MAX(%1), 0) + 1 FROM %2)")
        .arg(column, recordlayout::kTable);
}

/// "column = <next change>" for each of the change counter columns.
QStringList changeAssignments(const QStringList &changes)
{
    QStringList assignments;
    for (const QString &column : changes)
        assignments << column + QStringLiteral(" = ") + nextChange(column);
    return assignments;
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
            : insertRecord(db), updateRecord(db), updateNames(db), insertSample(db),
              insertDecision(db), insertEvent(db)
        {
        }
        QSqlQuery insertRecord, updateRecord, updateNames, insertSample, insertDecision,
            insertEvent;
    };

    const QString path;
    const Clock &clock;
    const Mode mode;
    const QString connection;
    QString setAside;
    bool open = false;
    std::optional<FileIdentity> identity;
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

    MaybeFailure notOpen() const
    {
        if (open)
            return std::nullopt;
        return Failure{QStringLiteral("The records database is not open."), path};
    }
    MaybeFailure notWritable() const
    {
        if (open && statements)
            return std::nullopt;
        return Failure{QStringLiteral("The records database is not open for writing."), path};
    }

    MaybeFailure connect();
    void disconnect();
    MaybeFailure checkpoint(const QString &doing) const;
    std::optional<QSqlError> readVersion(int &version, bool &hasTables) const;
    MaybeFailure setFileAside();
    MaybeFailure upgrade(int version);
    MaybeFailure prepare();
    Fallible<std::vector<TestRecord>> select(const QString &where, const QVariantList &values,
                                             const QString &doing) const;
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
    identity.reset();
}

/// Writes the whole log into the database file and empties it; `doing` heads the failure.
MaybeFailure RecordStore::Private::checkpoint(const QString &doing) const
{
    QSqlQuery query(db());
    if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !query.next())
        return failure(doing, query.lastError());
    // A checkpoint held up by a reader is no error to SQLite: its answer says so, busy (1) and
    // the frames of the log against those written into the file.
    const bool busy = query.value(0).toInt() != 0;
    const qlonglong frames = query.value(1).toLongLong();
    const qlonglong written = query.value(2).toLongLong();
    if (!busy && frames == written)
        return std::nullopt;
    return Failure{doing + QStringLiteral(": another connection was reading it (%1 of %2 pages "
                                          "of its log written)")
                               .arg(written)
                               .arg(frames),
                   path};
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
            version == 0 ? recordschema::createStatements() : recordschema::migrationFrom(version);
        for (const QString &sql : statements)
            if (const auto error = exec(sql))
                return failure(doing, *error);
        if (MaybeFailure failed = prepare())
            return failed;
        if (version == 0)
            return std::nullopt;
        // The figures of the records kept before: the rates came with version 5, and before
        // version 3 each phase's fall on its own (a version-2 main fall covered the post-test
        // phase too), from the last valid reading, since those records kept no decisions.
        Fallible<std::vector<TestRecord>> records = select({}, {}, doing);
        if (!records.ok())
            return records.failure();
        for (TestRecord &record : *records)
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
    using recordlayout::Written;
    // The change counter is set above every other row's by the statement itself, so that
    // every write of a row, names included, gives it a change of its own.
    const QStringList changes = recordlayout::names(Written::Change);
    const QStringList bound =
        recordlayout::names(Written::Always) + recordlayout::names(Written::Names);
    QStringList insertedValues(bound.size(), QStringLiteral("?"));
    for (const QString &column : changes)
        insertedValues << nextChange(column);
    const QStringList changed = changeAssignments(changes);
    const auto assignments = [&changed](const QStringList &columns) {
        QStringList assigned;
        for (const QString &column : columns)
            assigned << column + QStringLiteral(" = ?");
        return (assigned + changed).join(QStringLiteral(", "));
    };
    Statements &s = *statements;
    const bool prepared =
        s.insertRecord.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(recordlayout::kTable,
                                        (bound + changes).join(QStringLiteral(", ")),
                                        insertedValues.join(QStringLiteral(", ")))) &&
        s.updateRecord.prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                .arg(recordlayout::kTable, assignments(recordlayout::names(Written::Always)))) &&
        s.updateNames.prepare(
            QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                .arg(recordlayout::kTable, assignments(recordlayout::names(Written::Names)))) &&
        s.insertSample.prepare(QStringLiteral(
            "INSERT INTO sample (record_id, seq, elapsed, time_utc, utc_offset, pressure, "
            "bath_temp, phase) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")) &&
        s.insertDecision.prepare(QStringLiteral(
            "INSERT INTO decision (record_id, seq, time_ms, utc_offset, kind, pressure, "
            "reference, fall_limit) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")) &&
        s.insertEvent.prepare(QStringLiteral(
            "INSERT INTO link_event (record_id, time, kind, detail) VALUES (?, ?, ?, ?)"));
    if (prepared)
        return std::nullopt;
    QSqlError error;
    for (QSqlQuery *query : {&s.insertRecord, &s.updateRecord, &s.updateNames, &s.insertSample,
                             &s.insertDecision, &s.insertEvent})
        if (query->lastError().isValid())
            error = query->lastError();
    statements.reset();
    return failure(QStringLiteral("The records database cannot be prepared"), error);
}

Fallible<std::vector<TestRecord>> RecordStore::Private::select(const QString &where,
                                                               const QVariantList &values,
                                                               const QString &doing) const
{
    std::vector<TestRecord> result;
    QSqlQuery query(db());
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM %2%3")
                           .arg(recordlayout::selectList(), recordlayout::kTable, where)) ||
        !run(query, values))
        return failure(doing, query.lastError());
    while (query.next())
        result.push_back(recordlayout::fromRow(query));
    if (query.lastError().isValid())
        return failure(doing, query.lastError());
    return result;
}

MaybeFailure RecordStore::Private::update(const TestRecord &record)
{
    QVariantList values = recordlayout::values(record, recordlayout::Written::Always);
    values << qlonglong(record.id);
    if (!run(statements->updateRecord, values))
        return failure(QStringLiteral("A test record cannot be written"),
                       statements->updateRecord.lastError());
    return std::nullopt;
}

MaybeFailure RecordStore::Private::storeFalls(TestRecord &record)
{
    Fallible<std::vector<TraceSample>> samples =
        readTrace(db(), path, kLocalRecord, {qlonglong(record.id)});
    if (!samples.ok())
        return samples.failure();
    Fallible<std::vector<Decision>> decisions =
        readDecisions(db(), path, kLocalRecord, {qlonglong(record.id)});
    if (!decisions.ok())
        return decisions.failure();
    setFalls(record, *samples, *decisions);
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
        d->identity = identityOf(d->path);
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
    d->identity = identityOf(d->path);
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

bool RecordStore::fileGone() const
{
    return d->open && identityOf(d->path) != d->identity;
}

MaybeFailure RecordStore::closeGoneFile()
{
    const QString keptAs = d->path + QStringLiteral(".gone-") +
                           d->clock.now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // SQLite leaves the log of a moved file alone when it closes, so it is written in here.
    const MaybeFailure notWritten =
        d->open ? d->checkpoint(QStringLiteral("The last records of the database that went could "
                                               "not be written into it; its log is kept as %1")
                                    .arg(QDir::toNativeSeparators(keptAs + QStringLiteral("-wal"))))
                : std::nullopt;
    close();
    MaybeFailure failure;
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile companion(d->path + suffix);
        if (!companion.exists())
            continue;
        if (!notWritten)
            companion.remove();
        else if (companion.rename(keptAs + suffix) && suffix == QLatin1String("-wal"))
            failure = notWritten;
    }
    return failure;
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

Fallible<std::vector<int64_t>> RecordStore::write(const std::vector<RecordChange> &changes)
{
    if (MaybeFailure failure = d->notWritable())
        return *failure;
    const QString doing = QStringLiteral("The test records cannot be written");
    Private::Statements &s = *d->statements;
    std::vector<int64_t> ids;
    MaybeFailure failed = d->inTransaction(doing, [&]() -> MaybeFailure {
        using recordlayout::Written;
        for (const RecordChange &change : changes) {
            int64_t id = change.record.id;
            if (id == 0) {
                const QVariantList values = recordlayout::values(change.record, Written::Always) +
                                            recordlayout::values(change.record, Written::Names);
                if (!run(s.insertRecord, values))
                    return d->failure(doing, s.insertRecord.lastError());
                id = s.insertRecord.lastInsertId().toLongLong();
            } else {
                if (MaybeFailure failed = d->update(change.record))
                    return failed;
                QVariantList names = recordlayout::values(change.record, Written::Names);
                names << qlonglong(id);
                if (change.writeNames && !run(s.updateNames, names))
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
            seq = change.firstDecision;
            for (const Decision &decision : change.decisions) {
                if (!run(s.insertDecision,
                         {qlonglong(id), qlonglong(seq++), tenthsMs(decision.time),
                          decision.time.offsetFromUtc(), decisionText(decision.change),
                          real(decision.pressure), real(decision.reference), real(decision.limit)}))
                    return d->failure(doing, s.insertDecision.lastError());
            }
            for (const RecordedLinkEvent &event : change.events) {
                if (!run(s.insertEvent,
                         {qlonglong(id), isoTime(event.time), linkEventText(event.kind),
                          event.detail.isNull() ? QStringLiteral("") : event.detail}))
                    return d->failure(doing, s.insertEvent.lastError());
            }
        }
        return std::nullopt;
    });
    if (failed)
        return *failed;
    return ids;
}

MaybeFailure RecordStore::setNames(int64_t recordId, const QString &testName,
                                   const QString &operatorName)
{
    if (MaybeFailure failure = d->notWritable())
        return failure;
    const QString doing = QStringLiteral("The names of a test record cannot be written");
    return d->inTransaction(doing, [&]() -> MaybeFailure {
        TestRecord named;
        named.testName = testName;
        named.operatorName = operatorName;
        QVariantList values = recordlayout::values(named, recordlayout::Written::Names);
        values << qlonglong(recordId);
        QSqlQuery &query = d->statements->updateNames;
        if (!run(query, values))
            return d->failure(doing, query.lastError());
        if (query.numRowsAffected() != 1)
            return Failure{QStringLiteral("There is no test record %1.").arg(recordId), d->path};
        return std::nullopt;
    });
}

Fallible<int> RecordStore::closeOpenRecords()
{
    if (MaybeFailure failure = d->notWritable())
        return *failure;
    const QString doing = QStringLiteral("The open test records cannot be closed");
    int count = 0;
    MaybeFailure failed = d->inTransaction(doing, [&]() -> MaybeFailure {
        Fallible<std::vector<TestRecord>> open =
            d->select(QStringLiteral(" WHERE outcome IS NULL"), {}, doing);
        if (!open.ok())
            return open.failure();
        for (TestRecord &record : *open) {
            Fallible<std::vector<TraceSample>> samples =
                readTrace(d->db(), d->path, kLocalRecord, {qlonglong(record.id)});
            if (!samples.ok())
                return samples.failure();
            Fallible<std::vector<Decision>> decisions =
                readDecisions(d->db(), d->path, kLocalRecord, {qlonglong(record.id)});
            if (!decisions.ok())
                return decisions.failure();
            record.outcome = Outcome::Interrupted;
            record.end = samples->empty() ? record.start : samples->back().time;
            setFalls(record, *samples, *decisions);
            if (MaybeFailure failed = d->update(record))
                return failed;
        }
        count = int(open->size());
        return std::nullopt;
    });
    if (failed)
        return *failed;
    return count;
}

Fallible<std::vector<TestRecord>> RecordStore::records(const RecordFilter &filter) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    if (filter.rig)
        return std::vector<TestRecord>{};
    QVariantList values;
    QString where = recordschema::whereClause(filter, values) +
                    QStringLiteral(" ORDER BY start_utc DESC, id DESC");
    if (filter.limit > 0)
        where += QStringLiteral(" LIMIT %1").arg(filter.limit);
    return d->select(where, values, QStringLiteral("The test records cannot be read"));
}

Fallible<TestRecord> RecordStore::record(int64_t id) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    Fallible<std::vector<TestRecord>> found =
        d->select(QStringLiteral(" WHERE id = ?"), {qlonglong(id)},
                  QStringLiteral("A test record cannot be read"));
    if (!found.ok())
        return *found.failure();
    if (found->empty())
        return Failure{QStringLiteral("There is no test record %1.").arg(id), d->path};
    return found->front();
}

Fallible<RecordDetails> RecordStore::details(int64_t id) const
{
    RecordDetails details;
    Fallible<TestRecord> record = this->record(id);
    if (!record.ok())
        return *record.failure();
    details.record = *record;
    Fallible<std::vector<TraceSample>> samples = trace(id);
    if (!samples.ok())
        return *samples.failure();
    details.trace = std::move(*samples);
    Fallible<std::vector<Decision>> decided = decisions(id);
    if (!decided.ok())
        return *decided.failure();
    details.decisions = std::move(*decided);
    Fallible<std::vector<RecordedLinkEvent>> happened = events(id);
    if (!happened.ok())
        return *happened.failure();
    details.events = std::move(*happened);
    return details;
}

Fallible<RecordDetails> RecordStore::details(const RecordKey &key) const
{
    if (!key.rig.isEmpty())
        return Failure{QStringLiteral("There is no test record %1.").arg(recordKeyText(key)),
                       d->path};
    return details(key.id);
}

Fallible<std::vector<TestRecord>> RecordStore::changedSince(int64_t change, int limit) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return d->select(
        QStringLiteral(" WHERE change_seq > ? ORDER BY change_seq LIMIT %1").arg(limit),
        {qlonglong(change)}, QStringLiteral("The test records cannot be read"));
}

Fallible<int64_t> RecordStore::countChangedSince(int64_t change) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    Fallible<std::vector<QVariantList>> rows = selectRows(
        d->db(), d->path, QStringLiteral("The test records cannot be counted"),
        QStringLiteral("SELECT COUNT(*) FROM record WHERE change_seq > ?"), {qlonglong(change)});
    if (!rows.ok())
        return *rows.failure();
    return rows->front().front().toLongLong();
}

Fallible<std::pair<int64_t, int64_t>> RecordStore::lastChange() const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    Fallible<std::vector<QVariantList>> rows =
        selectRows(d->db(), d->path, QStringLiteral("The test records cannot be read"),
                   QStringLiteral("SELECT (SELECT COALESCE(MAX(change_seq), 0) FROM record), "
                                  "(SELECT COALESCE(MAX(id), 0) FROM link_event)"),
                   {});
    if (!rows.ok())
        return *rows.failure();
    const QVariantList &row = rows->front();
    return std::pair<int64_t, int64_t>{row[0].toLongLong(), row[1].toLongLong()};
}

Fallible<std::vector<QVariantList>> RecordStore::sampleRows(int64_t recordId, int64_t fromSeq,
                                                            int limit) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return selectRows(d->db(), d->path, QStringLiteral("A test record's trace cannot be read"),
                      QStringLiteral("SELECT %1 FROM sample WHERE record_id = ? AND seq >= ? "
                                     "ORDER BY seq LIMIT %2")
                          .arg(kSampleColumns)
                          .arg(limit),
                      {qlonglong(recordId), qlonglong(fromSeq)});
}

Fallible<std::vector<QVariantList>> RecordStore::decisionRows(int64_t recordId,
                                                              int64_t fromSeq) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return selectRows(
        d->db(), d->path, QStringLiteral("A test record's decisions cannot be read"),
        QStringLiteral("SELECT %1 FROM decision WHERE record_id = ? AND seq >= ? ORDER BY seq")
            .arg(kDecisionColumns),
        {qlonglong(recordId), qlonglong(fromSeq)});
}

Fallible<std::vector<QVariantList>> RecordStore::eventRows(int64_t afterId, int limit) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return selectRows(d->db(), d->path,
                      QStringLiteral("A test record's link events cannot be read"),
                      QStringLiteral("SELECT %1 FROM link_event WHERE id > ? ORDER BY id LIMIT %2")
                          .arg(kEventColumns)
                          .arg(limit),
                      {qlonglong(afterId)});
}

Fallible<std::vector<TraceSample>> RecordStore::trace(int64_t recordId) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return readTrace(d->db(), d->path, kLocalRecord, {qlonglong(recordId)});
}

Fallible<std::vector<Decision>> RecordStore::decisions(int64_t recordId) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return readDecisions(d->db(), d->path, kLocalRecord, {qlonglong(recordId)});
}

Fallible<std::vector<RecordedLinkEvent>> RecordStore::events(int64_t recordId) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return readEvents(d->db(), d->path, kLocalRecord, {qlonglong(recordId)});
}

Fallible<std::vector<PartModel>> RecordStore::partModels() const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    const QString doing = QStringLiteral("The part models cannot be read");
    QSqlQuery query(d->db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT id, name, volume_ml, serial_pattern FROM %1 ORDER BY "
                                   "name COLLATE NOCASE")
                        .arg(recordschema::kPartModelTable)))
        return d->failure(doing, query.lastError());
    std::vector<PartModel> models;
    while (query.next())
        models.push_back({query.value(0).toLongLong(), query.value(1).toString(),
                          query.value(2).toDouble(), query.value(3).toString()});
    if (query.lastError().isValid())
        return d->failure(doing, query.lastError());
    return models;
}

Fallible<int64_t> RecordStore::savePartModel(const PartModel &model)
{
    if (MaybeFailure failure = d->notWritable())
        return *failure;
    const QString doing = QStringLiteral("The part model %1 cannot be stored").arg(model.name);
    int64_t id = model.id;
    // A null text would bind as NULL: no pattern is stored as ''.
    const QString pattern = model.serialPattern.isNull() ? QStringLiteral("") : model.serialPattern;
    MaybeFailure failed = d->inTransaction(doing, [&]() -> MaybeFailure {
        QSqlQuery query(d->db());
        if (id == 0) {
            if (!query.prepare(QStringLiteral("INSERT INTO %1 (name, volume_ml, serial_pattern) "
                                              "VALUES (?, ?, ?)")
                                   .arg(recordschema::kPartModelTable)) ||
                !run(query, {model.name, model.volumeMl, pattern}))
                return d->failure(doing, query.lastError());
            id = query.lastInsertId().toLongLong();
            return std::nullopt;
        }
        // The records of a renamed model keep to it under its new name. Each renamed row takes
        // a change of its own, one after the other, as every write of a row does, so that a
        // copy of the store reading changes in batches takes the new name.
        if (!query.prepare(QStringLiteral("SELECT r.id FROM %1 r WHERE r.model = (SELECT name "
                                          "FROM %2 WHERE id = ?) AND r.model IS NOT ? ORDER BY "
                                          "r.change_seq, r.id")
                               .arg(recordlayout::kTable, recordschema::kPartModelTable)) ||
            !run(query, {qlonglong(id), model.name}))
            return d->failure(doing, query.lastError());
        std::vector<qlonglong> renamed;
        while (query.next())
            renamed.push_back(query.value(0).toLongLong());
        if (query.lastError().isValid())
            return d->failure(doing, query.lastError());
        const QStringList changed =
            changeAssignments(recordlayout::names(recordlayout::Written::Change));
        if (!query.prepare(QStringLiteral("UPDATE %1 SET model = ?, %2 WHERE id = ?")
                               .arg(recordlayout::kTable, changed.join(QStringLiteral(", ")))))
            return d->failure(doing, query.lastError());
        for (const qlonglong recordId : renamed)
            if (!run(query, {model.name, recordId}))
                return d->failure(doing, query.lastError());
        if (!query.prepare(QStringLiteral("UPDATE %1 SET name = ?, volume_ml = ?, serial_pattern "
                                          "= ? WHERE id = ?")
                               .arg(recordschema::kPartModelTable)) ||
            !run(query, {model.name, model.volumeMl, pattern, qlonglong(id)}))
            return d->failure(doing, query.lastError());
        if (query.numRowsAffected() != 1)
            return Failure{QStringLiteral("There is no part model %1.").arg(id), d->path};
        return std::nullopt;
    });
    if (failed)
        return *failed;
    return id;
}

MaybeFailure RecordStore::deletePartModel(int64_t id)
{
    if (MaybeFailure failure = d->notWritable())
        return failure;
    const QString doing = QStringLiteral("The part model cannot be deleted");
    return d->inTransaction(doing, [&]() -> MaybeFailure {
        QSqlQuery query(d->db());
        if (!query.prepare(QStringLiteral("SELECT m.name, (SELECT count(*) FROM record r WHERE "
                                          "r.model = m.name) FROM %1 m WHERE m.id = ?")
                               .arg(recordschema::kPartModelTable)) ||
            !run(query, {qlonglong(id)}))
            return d->failure(doing, query.lastError());
        if (!query.next())
            return Failure{QStringLiteral("There is no part model %1.").arg(id), d->path};
        const QString name = query.value(0).toString();
        const int used = query.value(1).toInt();
        query.finish();
        if (used > 0)
            return Failure{
                QStringLiteral("Part model %1 is used by %2 %3 and cannot be deleted.")
                    .arg(name)
                    .arg(used)
                    .arg(used == 1 ? QStringLiteral("record") : QStringLiteral("records")),
                d->path};
        if (!query.prepare(
                QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(recordschema::kPartModelTable)) ||
            !run(query, {qlonglong(id)}))
            return d->failure(doing, query.lastError());
        return std::nullopt;
    });
}

Fallible<std::optional<TestRecord>> RecordStore::latestOfSerial(const QString &serial) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    Fallible<std::vector<TestRecord>> found =
        d->select(QStringLiteral(" WHERE serial = ? ORDER BY start_utc DESC, id DESC LIMIT 1"),
                  {serial.trimmed()}, QStringLiteral("The test records cannot be read"));
    if (!found.ok())
        return *found.failure();
    if (found->empty())
        return std::optional<TestRecord>();
    return std::optional<TestRecord>(found->front());
}

Fallible<std::vector<RecordFigures>> RecordStore::figureRecords(const RecordFilter &filter,
                                                                StatisticsFigure figure) const
{
    if (MaybeFailure failure = d->notOpen())
        return *failure;
    return recordrows::readFigureRecords(d->db(), d->path, filter, figure,
                                         recordschema::TextMatch::Like, false);
}

QString recordsErrorText(const Failure &failure)
{
    return QStringLiteral("The test records could not be written to %1: %2")
        .arg(QDir::toNativeSeparators(failure.path), failure.reason);
}
