// kestrava-records: lists, shows and exports the test records of Kestrava from the command line.
// It only reads the database, through a read-only connection, so it is safe beside the running
// program: SQLite's write-ahead log lets it read the last committed data while Kestrava writes.

#include "recordtexts.h"

#include "app/clock.h"
#include "records/recordcsv.h"
#include "records/recordstore.h"
#include "records/statistics.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

const char kDescription[] = R"(Lists, shows and exports the test records of Kestrava.

Reads kestrava-records.sqlite in the folder it is started from, or the file named with
--db. The database is only read, and it can be read while Kestrava runs and writes to it.

Commands:
  list                      the records, newest first, one a line; --station, --outcome,
                            --since, --serial and --model keep the records that match
                            all of those given
  show ID                   the record ID with its decisions, the figures of each
                            phase and its link events
  export ID... --csv FILE   the samples of the records, in the order given, as CSV
  export --since DATE --csv FILE
                            the samples of every record started on or after DATE,
                            oldest first, as CSV
  stats                     process statistics of one figure over the completed and
                            failed records that --station, --model and --since keep,
                            as key: value lines (--figure, --unit)

Exit status: 0 on success, 1 on an error (no database, an unknown record, a file that
cannot be written, too few records for statistics), 2 on a usage error.)";

void write(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

int usageError(const QString &text)
{
    write(stderr,
          QStringLiteral("kestrava-records: %1\nTry 'kestrava-records --help'.\n").arg(text));
    return kUsageError;
}

int failed(const Failure &failure)
{
    write(stderr, QStringLiteral("kestrava-records: %1: %2\n")
                      .arg(QDir::toNativeSeparators(failure.path), failure.reason));
    return kFailed;
}

/// A date as yyyy-mm-dd; empty for anything else.
std::optional<QDate> dateOf(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d\d-\d\d$)"));
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!form.match(text).hasMatch() || !date.isValid())
        return std::nullopt;
    return date;
}

/// A record id: a whole number from 1.
std::optional<int64_t> idOf(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^[0-9]+$)"));
    bool ok = false;
    const qlonglong id = text.toLongLong(&ok);
    if (!form.match(text).hasMatch() || !ok || id < 1)
        return std::nullopt;
    return id;
}

struct Options {
    QCommandLineOption db{QStringLiteral("db"),
                          QStringLiteral("Read the record database FILE instead of "
                                         "kestrava-records.sqlite in the working folder."),
                          QStringLiteral("FILE")};
    QCommandLineOption station{QStringLiteral("station"),
                               QStringLiteral("(list, stats) Only the records of station N, 1 "
                                              "or 2."),
                               QStringLiteral("N")};
    QCommandLineOption outcome{
        QStringLiteral("outcome"),
        QStringLiteral("(list) Only the records that ended with OUTCOME: completed, \"leak test "
                       "failed\", \"main test failed\", stopped or interrupted."),
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

/// Prints the text on standard output; an error when it cannot be written (a full disk).
int print(const QString &text)
{
    write(stdout, text);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return failed(
            {QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("standard output")});
    return 0;
}

int list(const RecordStore &store, const RecordFilter &filter)
{
    const Fallible<std::vector<TestRecord>> records = store.records(filter);
    if (!records.ok())
        return failed(*records.failure());
    return print(recordListText(*records));
}

int show(const RecordStore &store, int64_t id)
{
    const Fallible<RecordDetails> details = store.details(id);
    if (!details.ok())
        return failed(*details.failure());
    return print(recordText(*details));
}

int stats(const RecordStore &store, const RecordFilter &filter, StatisticsFigure figure,
          RateUnit unit)
{
    const Fallible<std::vector<RecordFigures>> records = store.figureRecords(filter, figure);
    if (!records.ok())
        return failed(*records.failure());
    const Fallible<ProcessStatistics> statistics = processStatistics(*records, figure, unit);
    if (!statistics.ok()) {
        write(stderr, QStringLiteral("kestrava-records: %1\n").arg(statistics.failure()->reason));
        return kFailed;
    }
    return print(statisticsLines(*statistics, figure, unit));
}

int exportRecords(const RecordStore &store, std::vector<int64_t> ids,
                  const std::optional<QDateTime> &since, const QString &csvPath)
{
    if (since) {
        RecordFilter filter;
        filter.since = since;
        const Fallible<std::vector<TestRecord>> records = store.records(filter);
        if (!records.ok())
            return failed(*records.failure());
        // Oldest first: the order the tests ran in.
        for (auto r = records->rbegin(); r != records->rend(); ++r)
            ids.push_back(r->id);
    }
    if (MaybeFailure failure = exportCsv(store, ids, csvPath))
        return failed(*failure);
    return print(QStringLiteral("%1 %2 written to %3\n")
                     .arg(ids.size())
                     .arg(ids.size() == 1 ? QStringLiteral("record") : QStringLiteral("records"),
                          QDir::toNativeSeparators(csvPath)));
}

/// What the command line asks for.
struct Request {
    QString command; ///< list, show, export or stats
    QString database;
    RecordFilter filter;
    std::vector<int64_t> ids;
    QString csv;
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
/// Everything is checked before the database is opened, so that a usage error is one whatever
/// the database.
std::optional<QString> readRequest(const QCommandLineParser &parser, const Options &o,
                                   Request &request)
{
    QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return QStringLiteral("No command given: list, show, export or stats.");
    const QString command = request.command = arguments.takeFirst();
    if (command != QLatin1String("list") && command != QLatin1String("show") &&
        command != QLatin1String("export") && command != QLatin1String("stats"))
        return QStringLiteral("Unknown command '%1': list, show, export or stats.").arg(command);
    const QString list = QStringLiteral("list"), stats = QStringLiteral("stats");
    const std::map<QString, QStringList> commandsOf{
        {QStringLiteral("station"), {list, stats}},
        {QStringLiteral("outcome"), {list}},
        {QStringLiteral("since"), {list, QStringLiteral("export"), stats}},
        {QStringLiteral("serial"), {list}},
        {QStringLiteral("model"), {list, stats}},
        {QStringLiteral("figure"), {stats}},
        {QStringLiteral("unit"), {stats}},
        {QStringLiteral("csv"), {QStringLiteral("export")}}};
    for (const auto &[option, commands] : commandsOf)
        if (parser.isSet(option) && !commands.contains(command))
            return QStringLiteral("--%1 does not go with %2.").arg(option, command);

    request.database = parser.isSet(o.db) ? parser.value(o.db) : RecordStore::kFileName;
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
    if (parser.isSet(o.since)) {
        const std::optional<QDate> date = dateOf(parser.value(o.since));
        if (!date)
            return QStringLiteral("--since takes a date as yyyy-mm-dd, not '%1'.")
                .arg(parser.value(o.since));
        filter.since = date->startOfDay();
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

    for (const QString &argument : arguments) {
        const std::optional<int64_t> id = idOf(argument);
        if (!id)
            return QStringLiteral("'%1' is not a record id.").arg(argument);
        request.ids.push_back(*id);
    }
    if ((command == list || command == stats) && !request.ids.empty())
        return QStringLiteral("%1 takes no record id.").arg(command);
    if (command == QLatin1String("show") && request.ids.size() != 1)
        return QStringLiteral("show takes one record id.");
    if (command == QLatin1String("export")) {
        if (request.ids.empty() == !filter.since)
            return QStringLiteral("export takes record ids or --since, one of them.");
        request.csv = parser.value(o.csv);
        if (request.csv.isEmpty())
            return QStringLiteral("export needs --csv FILE.");
        // The CSV file replaces what stands at its path: never the database or its log.
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            if (sameFile(request.csv, request.database + suffix))
                return QStringLiteral("--csv names the records database.");
    }
    return std::nullopt;
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
    parser.addOptions(
        {o.db, o.station, o.outcome, o.since, o.serial, o.model, o.figure, o.unit, o.csv});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, show, export or stats (see Commands)."),
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

    const SystemClock clock;
    RecordStore store(request.database, clock, RecordStore::Mode::ReadOnly);
    if (MaybeFailure failure = store.open())
        return failed(*failure);
    if (request.command == QLatin1String("list"))
        return list(store, request.filter);
    if (request.command == QLatin1String("show"))
        return show(store, request.ids.front());
    if (request.command == QLatin1String("stats"))
        return stats(store, request.filter, request.figure, request.unit);
    return exportRecords(store, request.ids, request.filter.since, request.csv);
}
