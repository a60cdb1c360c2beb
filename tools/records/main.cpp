// kestrava-records: lists, shows and exports the test records of Kestrava from the command line,
// from a rig's own database or from the shared database of every rig, and copies a rig's
// records to the shared database. It reads the local database through a read-only connection,
// so it is safe beside the running program: SQLite's write-ahead log lets it read the last
// committed data while Kestrava writes.

#include "output.h"
#include "recordtexts.h"
#include "syncrunner.h"

#include "app/clock.h"
#include "records/recordcsv.h"
#include "records/recordjson.h"
#include "records/recordstore.h"
#include "records/sharedsettings.h"
#include "records/sharedstore.h"
#include "records/statistics.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

const char kDescription[] =
    R"(Lists, shows and exports the test records of Kestrava, and copies them to the
shared database of every rig.

Reads kestrava-records.sqlite in the folder it is started from, or the database named
with --db: a file, or a shared database on a PostgreSQL server when it starts with
postgresql:// (postgresql://[user@][host][:port]/dbname[?param=value&...]; a password
comes from ~/.pgpass or PGPASSWORD, never from the URL). A local database is only read,
and it can be read while Kestrava runs and writes to it.

Commands:
  list                      the records, newest first, one a line; --station, --outcome,
                            --since, --until, --find, --serial, --model and --rig keep
                            the records that match all of those given; a shared database
                            adds a Rig column
  show ID                   the record ID (RIG:ID in a shared database) with its
                            decisions, the figures of each phase and its link events
  export ID... --csv FILE   the samples of the records, in the order given, as CSV
  export --since DATE --csv FILE
                            the samples of every record started on or after DATE,
                            oldest first, as CSV
  sync --to URL             copies to the shared database what it lacks of the local
                            database (--db FILE) as rig --rig NAME (the host name if not
                            given), and exits; with --follow it keeps copying each change
  init-shared --to URL      creates the shared database's tables, or brings them to this
                            version; needs a role that may create tables
  info                      the shared database's (--db URL) server version, schema
                            version, and numbers of rigs and records
  stats                     process statistics of one figure over the completed and
                            failed records that --station, --outcome, --since,
                            --until, --find, --model and --rig keep, as key: value
                            lines (--figure, --unit); with --json the figure of each of
                            those records instead, oldest first, for a program to
                            take the statistics of

Exit status: 0 on success, 1 on an error (no database, an unknown record, a file that
cannot be written, a server that cannot be reached, another sync for the rig running, too
few records for statistics), 2 on a usage error.)";

/// A date as yyyy-mm-dd; empty for anything else.
std::optional<QDate> dateOf(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d\d-\d\d$)"));
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!form.match(text).hasMatch() || !date.isValid())
        return std::nullopt;
    return date;
}

struct Options {
    QCommandLineOption db{QStringLiteral("db"),
                          QStringLiteral("Read the record database FILE, or the shared database "
                                         "at a URL postgresql://..., instead of "
                                         "kestrava-records.sqlite in the working folder."),
                          QStringLiteral("FILE")};
    QCommandLineOption to{QStringLiteral("to"),
                          QStringLiteral("(sync, init-shared) The shared database's URL, "
                                         "postgresql://..."),
                          QStringLiteral("URL")};
    QCommandLineOption rig{QStringLiteral("rig"),
                           QStringLiteral("(list, stats) Only the records of rig NAME; (sync) the "
                                          "name "
                                          "the records are copied under, the host name if not "
                                          "given."),
                           QStringLiteral("NAME")};
    QCommandLineOption until{
        QStringLiteral("until"),
        QStringLiteral("(list, stats) Only the records started on or before DATE (yyyy-mm-dd, "
                       "local time)."),
        QStringLiteral("DATE")};
    QCommandLineOption find{
        QStringLiteral("find"),
        QStringLiteral("(list, stats) Only the records whose test name, operator or serial "
                       "holds TEXT."),
        QStringLiteral("TEXT")};
    QCommandLineOption limit{QStringLiteral("limit"),
                             QStringLiteral("(list) At most the N newest records."),
                             QStringLiteral("N")};
    QCommandLineOption follow{QStringLiteral("follow"),
                              QStringLiteral("(sync) Keep watching the local database and copy "
                                             "each change within two seconds; retry a server "
                                             "that cannot be reached, with a growing pause.")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("(list, show, sync, info, stats) Write one JSON "
                                           "object a line, for a program to read.")};
    QCommandLineOption station{
        QStringLiteral("station"),
        QStringLiteral("(list, stats) Only the records of station N, 1 or 2."),
        QStringLiteral("N")};
    QCommandLineOption outcome{
        QStringLiteral("outcome"),
        QStringLiteral("(list, stats) Only the records that ended with OUTCOME: completed, "
                       "\"leak test failed\", \"main test failed\", stopped or interrupted."),
        QStringLiteral("OUTCOME")};
    QCommandLineOption since{
        QStringLiteral("since"),
        QStringLiteral("(list, export, stats) Only the records started on or after DATE "
                       "(yyyy-mm-dd, local time)."),
        QStringLiteral("DATE")};
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("(list) Only the records of the part serial S."),
                              QStringLiteral("S")};
    QCommandLineOption model{QStringLiteral("model"),
                             QStringLiteral("(list, stats) Only the records of the part model "
                                            "NAME."),
                             QStringLiteral("NAME")};
    QCommandLineOption figure{
        QStringLiteral("figure"),
        QStringLiteral("(stats) The figure: leak-fall, main-fall (the default), leak-rate or "
                       "main-rate."),
        QStringLiteral("FIGURE")};
    QCommandLineOption unit{QStringLiteral("unit"),
                            QStringLiteral("(stats) The unit of a rate: KPa/min (the default), "
                                           "Pa/s, sccm or mbar.l/s."),
                            QStringLiteral("U")};
    QCommandLineOption csv{QStringLiteral("csv"),
                           QStringLiteral("(export) The CSV file to write; it is replaced."),
                           QStringLiteral("FILE")};
};

int list(const RecordReader &reader, const RecordFilter &filter, bool shared, bool json)
{
    const Fallible<std::vector<TestRecord>> records = reader.records(filter);
    armWatchdog(0); // the server has answered; printing is ours
    if (!records.ok())
        return failed(*records.failure());
    if (!json)
        return print(recordListText(*records, shared));
    QByteArray lines;
    for (const TestRecord &record : *records)
        lines += recordjson::line(recordjson::recordObject(record));
    return print(lines);
}

int show(const RecordReader &reader, const RecordKey &key, bool json)
{
    const Fallible<RecordDetails> details = reader.details(key);
    armWatchdog(0);
    if (!details.ok())
        return failed(*details.failure());
    if (json)
        return print(recordjson::line(recordjson::detailsObject(*details)));
    return print(recordText(*details));
}

int exportRecords(const RecordReader &reader, std::vector<RecordKey> keys,
                  const std::optional<QDateTime> &since, const QString &csvPath)
{
    if (since) {
        RecordFilter filter;
        filter.since = since;
        const Fallible<std::vector<TestRecord>> records = reader.records(filter);
        if (!records.ok())
            return failed(*records.failure());
        // Oldest first: the order the tests ran in.
        for (auto r = records->rbegin(); r != records->rend(); ++r)
            keys.push_back({r->rig, r->id});
    }
    const MaybeFailure failure = exportCsv(reader, std::span<const RecordKey>(keys), csvPath);
    armWatchdog(0);
    if (failure)
        return failed(*failure);
    return print(QStringLiteral("%1 %2 written to %3\n")
                     .arg(keys.size())
                     .arg(keys.size() == 1 ? QStringLiteral("record") : QStringLiteral("records"),
                          QDir::toNativeSeparators(csvPath)));
}

int stats(const RecordReader &reader, const RecordFilter &filter, StatisticsFigure figure,
          RateUnit unit, bool json)
{
    const Fallible<std::vector<RecordFigures>> records = reader.figureRecords(filter, figure);
    armWatchdog(0);
    if (!records.ok())
        return failed(*records.failure());
    // The records themselves, however few: the program takes the statistics in its own unit.
    if (json) {
        QByteArray lines;
        for (const RecordFigures &record : *records)
            lines += recordjson::line(recordjson::figuresObject(record, figure));
        return print(lines);
    }
    // Too few records: the reason alone, with no file to name.
    const Fallible<ProcessStatistics> statistics = processStatistics(*records, figure, unit);
    if (!statistics.ok())
        return failed({statistics.failure()->reason, {}});
    return print(statisticsLines(*statistics, figure, unit));
}

int info(SharedStore &server, bool json)
{
    const Fallible<SharedInfo> found = server.info();
    if (!found.ok())
        return failed(*found.failure());
    if (json)
        return print(recordjson::line(sharedInfoJson(*found)));
    return print(sharedInfoText(*found));
}

int initShared(SharedStore &server)
{
    const Fallible<QString> done = server.initialise();
    if (!done.ok())
        return failed(*done.failure());
    return print(*done + u'\n');
}

/// What the command line asks for.
struct Request {
    QString command;
    QString database;
    QString url; ///< --to
    SyncRequest sync;
    RecordFilter filter;
    std::vector<RecordKey> keys;
    QString csv;
    bool json = false;
    StatisticsFigure figure = StatisticsFigure::MainFall;
    RateUnit unit = RateUnit::KpaPerMinute;
};

/// Whether two paths name the same file, or would.
bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a), second(b);
    const QString canonical = first.canonicalFilePath();
    return QDir::cleanPath(first.absoluteFilePath()) ==
               QDir::cleanPath(second.absoluteFilePath()) ||
           (!canonical.isEmpty() && canonical == second.canonicalFilePath());
}

/// Reads the command line into the request; the usage error when it says something wrong.
/// Everything is checked before a database is opened, so that a usage error is one whatever
/// the database.
std::optional<QString> readRequest(const QCommandLineParser &parser, const Options &o,
                                   Request &request)
{
    const QStringList commands{QStringLiteral("list"),        QStringLiteral("show"),
                               QStringLiteral("export"),      QStringLiteral("sync"),
                               QStringLiteral("init-shared"), QStringLiteral("info"),
                               QStringLiteral("stats")};
    const QString known = QStringLiteral("list, show, export, sync, init-shared, info or stats");
    QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return QStringLiteral("No command given: %1.").arg(known);
    const QString command = request.command = arguments.takeFirst();
    if (!commands.contains(command))
        return QStringLiteral("Unknown command '%1': %2.").arg(command, known);
    const QString list = QStringLiteral("list"), stats = QStringLiteral("stats");
    const std::map<QString, QStringList> commandsOf{
        {QStringLiteral("station"), {list, stats}},
        {QStringLiteral("outcome"), {list, stats}},
        {QStringLiteral("since"), {list, QStringLiteral("export"), stats}},
        {QStringLiteral("until"), {list, stats}},
        {QStringLiteral("find"), {list, stats}},
        {QStringLiteral("limit"), {list}},
        {QStringLiteral("rig"), {list, QStringLiteral("sync"), stats}},
        {QStringLiteral("serial"), {list}},
        {QStringLiteral("model"), {list, stats}},
        {QStringLiteral("figure"), {stats}},
        {QStringLiteral("unit"), {stats}},
        {QStringLiteral("csv"), {QStringLiteral("export")}},
        {QStringLiteral("to"), {QStringLiteral("sync"), QStringLiteral("init-shared")}},
        {QStringLiteral("db"),
         {list, QStringLiteral("show"), QStringLiteral("export"), QStringLiteral("sync"),
          QStringLiteral("info"), stats}},
        {QStringLiteral("follow"), {QStringLiteral("sync")}},
        {QStringLiteral("json"),
         {QStringLiteral("list"), QStringLiteral("show"), QStringLiteral("sync"),
          QStringLiteral("info"), stats}}};
    for (const auto &[option, allowed] : commandsOf)
        if (parser.isSet(option) && !allowed.contains(command))
            return QStringLiteral("--%1 does not go with %2.").arg(option, command);

    request.json = parser.isSet(o.json);
    request.database = parser.isSet(o.db) ? parser.value(o.db) : RecordStore::kFileName;
    const bool shared = isSharedUrl(request.database);
    if (command == QLatin1String("sync") || command == QLatin1String("init-shared")) {
        request.url = parser.value(o.to);
        if (!isSharedUrl(request.url))
            return QStringLiteral("%1 needs --to postgresql://...").arg(command);
        if (shared)
            return QStringLiteral("--db names the local records database to copy, not a URL.");
    }
    if (command == QLatin1String("info") && !shared)
        return QStringLiteral("info needs --db postgresql://...");
    if (command == QLatin1String("sync")) {
        request.sync = {request.database, request.url,
                        parser.isSet(o.rig) ? parser.value(o.rig) : defaultRigName(),
                        parser.isSet(o.follow), request.json};
        if (const std::optional<QString> problem = rigNameProblem(request.sync.rig))
            return QStringLiteral("--rig: %1.").arg(*problem);
    }

    RecordFilter &filter = request.filter;
    if (parser.isSet(o.station)) {
        const QString station = parser.value(o.station);
        if (station != QLatin1String("1") && station != QLatin1String("2"))
            return QStringLiteral("--station takes 1 or 2, not '%1'.").arg(station);
        filter.station = station.toInt() - 1;
    }
    if (parser.isSet(o.outcome)) {
        filter.outcome = outcomeFromText(parser.value(o.outcome));
        if (!filter.outcome)
            return QStringLiteral("--outcome takes completed, \"leak test failed\", \"main test "
                                  "failed\", stopped or interrupted, not '%1'.")
                .arg(parser.value(o.outcome));
    }
    for (const QCommandLineOption *option : {&o.since, &o.until}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<QDate> date = dateOf(parser.value(*option));
        if (!date)
            return QStringLiteral("--%1 takes a date as yyyy-mm-dd, not '%2'.")
                .arg(option->names().constFirst(), parser.value(*option));
        if (option == &o.since)
            filter.since = date->startOfDay();
        else
            filter.until = date->addDays(1).startOfDay();
    }
    filter.text = parser.value(o.find).trimmed();
    if (parser.isSet(o.limit)) {
        bool ok = false;
        filter.limit = parser.value(o.limit).toInt(&ok);
        if (!ok || filter.limit < 1)
            return QStringLiteral("--limit takes a whole number from 1, not '%1'.")
                .arg(parser.value(o.limit));
    }
    if (parser.isSet(o.serial)) {
        filter.serial = parser.value(o.serial).trimmed();
        if (filter.serial.isEmpty())
            return QStringLiteral("--serial takes a serial.");
    }
    if (parser.isSet(o.model))
        filter.model = parser.value(o.model);
    if (parser.isSet(o.figure)) {
        const std::optional<StatisticsFigure> figure = figureFromName(parser.value(o.figure));
        if (!figure)
            return QStringLiteral("--figure takes leak-fall, main-fall, leak-rate or main-rate, "
                                  "not '%1'.")
                .arg(parser.value(o.figure));
        request.figure = *figure;
    }
    if (parser.isSet(o.unit)) {
        const std::optional<RateUnit> unit = rateUnitFromText(parser.value(o.unit));
        if (!unit)
            return QStringLiteral("--unit takes KPa/min, Pa/s, sccm or mbar.l/s, not '%1'.")
                .arg(parser.value(o.unit));
        request.unit = *unit;
    }
    if ((command == list || command == stats) && parser.isSet(o.rig)) {
        if (!shared)
            return QStringLiteral("--rig needs a shared database (--db postgresql://...).");
        filter.rig = parser.value(o.rig);
    }

    const bool takesIds = command == QLatin1String("show") || command == QLatin1String("export");
    if (!takesIds && !arguments.isEmpty())
        return QStringLiteral("%1 takes no record id.").arg(command);
    for (const QString &argument : arguments) {
        const std::optional<RecordKey> key = recordKeyOf(argument);
        if (!key)
            return QStringLiteral("'%1' is not a record id.").arg(argument);
        if (shared && key->rig.isEmpty())
            return QStringLiteral("'%1' names no rig: a shared record is RIG:ID.").arg(argument);
        if (!shared && !key->rig.isEmpty())
            return QStringLiteral("'%1' is a shared record: read it with --db postgresql://...")
                .arg(argument);
        request.keys.push_back(*key);
    }
    if (command == QLatin1String("show") && request.keys.size() != 1)
        return QStringLiteral("show takes one record id.");
    if (command == QLatin1String("export")) {
        if (request.keys.empty() == !filter.since)
            return QStringLiteral("export takes record ids or --since, one of them.");
        request.csv = parser.value(o.csv);
        if (request.csv.isEmpty())
            return QStringLiteral("export needs --csv FILE.");
        // The CSV file replaces what stands at its path: never the database or its log.
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            if (!shared && sameFile(request.csv, request.database + suffix))
                return QStringLiteral("--csv names the records database.");
    }
    return std::nullopt;
}

/// Runs a reading command over the local database or the shared one.
int read(const Request &request)
{
    const SystemClock clock;
    std::unique_ptr<RecordReader> reader;
    const bool shared = isSharedUrl(request.database);
    if (shared) {
        // A server that takes the connection and then never answers cannot hold us for ever;
        // each answer gives it the time again.
        armWatchdog(kReadWatchdogSeconds);
        auto server = std::make_unique<SharedStore>(QStringLiteral("kestrava-records"));
        server->setAnswered([] { armWatchdog(kReadWatchdogSeconds); });
        if (MaybeFailure failure = request.command == QLatin1String("info")
                                       ? server->connect(request.database)
                                       : server->open(request.database))
            return failed(*failure);
        if (request.command == QLatin1String("info"))
            return info(*server, request.json);
        reader = std::move(server);
    } else {
        auto store =
            std::make_unique<RecordStore>(request.database, clock, RecordStore::Mode::ReadOnly);
        if (MaybeFailure failure = store->open())
            return failed(*failure);
        reader = std::move(store);
    }
    if (request.command == QLatin1String("list"))
        return list(*reader, request.filter, shared, request.json);
    if (request.command == QLatin1String("show"))
        return show(*reader, request.keys.front(), request.json);
    if (request.command == QLatin1String("stats"))
        return stats(*reader, request.filter, request.figure, request.unit, request.json);
    return exportRecords(*reader, request.keys, request.filter.since, request.csv);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava-records"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRAVA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const Options o;
    parser.addOptions({o.db, o.to, o.rig, o.station, o.outcome, o.since, o.until, o.find, o.limit,
                       o.serial, o.model, o.figure, o.unit, o.csv, o.follow, o.json});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, show, export, sync, init-shared, info or "
                                                "stats (see Commands)."),
                                 QStringLiteral("command [ID...]"));
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    Request request;
    if (const std::optional<QString> usage = readRequest(parser, o, request))
        return usageError(*usage);

    if (request.command == QLatin1String("sync"))
        return runSync(request.sync);
    if (request.command == QLatin1String("init-shared")) {
        armWatchdog(kReadWatchdogSeconds);
        SharedStore server(QStringLiteral("kestrava-records"));
        if (MaybeFailure failure = server.connect(request.url))
            return failed(*failure);
        return initShared(server);
    }
    return read(request);
}
