#include "records/sharedreader.h"

#include "records/recordjson.h"
#include "records/syncsupervisor.h"

#include <QProcess>
#include <QRegularExpression>

QString toolFailureReason(const QByteArray &errors, const QString &url)
{
    QStringList lines = QString::fromUtf8(errors).trimmed().split(u'\n');
    // A usage error ends with the hint to --help.
    if (lines.size() > 1 && lines.back().startsWith(QStringLiteral("Try '")))
        lines.removeLast();
    QString line = lines.back();
    static const QRegularExpression lead(QStringLiteral("^kestrava-records: "));
    line.remove(lead);
    if (!url.isEmpty() && line.startsWith(url + QStringLiteral(": ")))
        line = line.mid(url.size() + 2);
    return line.isEmpty() ? QStringLiteral("kestrava-records ended without an answer") : line;
}

QString toolNotStartedReason(const QProcess &process)
{
    return QStringLiteral("%1 could not be started: %2")
        .arg(process.program(), process.errorString());
}

namespace {

/// The options of kestrava-records that take the records the filter takes, but its limit.
QStringList filterArguments(const RecordFilter &filter)
{
    QStringList arguments;
    const auto add = [&arguments](const char *option, const QString &value) {
        arguments << QLatin1String(option) << value;
    };
    const QString day = QStringLiteral("yyyy-MM-dd");
    if (filter.station)
        add("--station", QString::number(*filter.station + 1));
    if (filter.outcome)
        add("--outcome", outcomeText(*filter.outcome));
    if (filter.since)
        add("--since", filter.since->date().toString(day));
    // The filter's end is the start of the day after the last one.
    if (filter.until)
        add("--until", filter.until->addSecs(-1).date().toString(day));
    if (!filter.text.isEmpty())
        add("--find", filter.text);
    if (filter.model)
        add("--model", *filter.model);
    if (filter.rig)
        add("--rig", *filter.rig);
    return arguments;
}

} // namespace

QStringList sharedListArguments(const QString &url, const RecordFilter &filter)
{
    QStringList arguments{QStringLiteral("list"), QStringLiteral("--db"), url,
                          QStringLiteral("--json")};
    arguments += filterArguments(filter);
    if (filter.limit > 0)
        arguments << QStringLiteral("--limit") << QString::number(filter.limit);
    return arguments;
}

QStringList sharedStatsArguments(const QString &url, const RecordFilter &filter,
                                 StatisticsFigure figure)
{
    return QStringList{QStringLiteral("stats"),  QStringLiteral("--db"),     url,
                       QStringLiteral("--json"), QStringLiteral("--figure"), figureName(figure)} +
           filterArguments(filter);
}

SharedReader::SharedReader(QObject *parent) : QObject(parent)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &SharedReader::onTimeout);
}

SharedReader::~SharedReader()
{
    cancel();
}

void SharedReader::list(const QString &url, const RecordFilter &filter)
{
    run(Request::List, url, sharedListArguments(url, filter));
}

void SharedReader::details(const QString &url, const RecordKey &key)
{
    run(Request::Details, url,
        {QStringLiteral("show"), QStringLiteral("--db"), url, QStringLiteral("--json"),
         recordKeyText(key)});
}

void SharedReader::info(const QString &url)
{
    run(Request::Info, url,
        {QStringLiteral("info"), QStringLiteral("--db"), url, QStringLiteral("--json")});
}

void SharedReader::figureRecords(const QString &url, const RecordFilter &filter,
                                 StatisticsFigure figure)
{
    m_figure = figure;
    run(Request::Figures, url, sharedStatsArguments(url, filter, figure));
}

void SharedReader::exportCsv(const QString &url, const std::vector<RecordKey> &keys,
                             const QString &path)
{
    QStringList arguments{QStringLiteral("export"), QStringLiteral("--db"), url};
    for (const RecordKey &key : keys)
        arguments << recordKeyText(key);
    run(Request::Export, url, arguments + QStringList{QStringLiteral("--csv"), path});
}

void SharedReader::cancel()
{
    m_timeout.stop();
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    process->kill();
    process->waitForFinished(2000);
    delete process;
}

void SharedReader::run(Request request, const QString &url, const QStringList &arguments)
{
    cancel();
    m_request = request;
    m_url = url;
    m_process = new QProcess(this);
    connect(m_process, &QProcess::finished, this, &SharedReader::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &SharedReader::onError);
    // An export of many records answers for longer than any fixed time, and kestrava-records
    // ends itself when the server stops answering (its watchdog), so only the short requests
    // are timed here. Started first: a child that cannot be started may say so before start()
    // returns.
    if (request != Request::Export)
        m_timeout.start();
    m_process->start(recordsToolPath(), arguments);
}

void SharedReader::onTimeout()
{
    cancel();
    emit failed(
        QStringLiteral("the shared database did not answer within %1 s").arg(kTimeoutMs / 1000));
}

void SharedReader::onError(QProcess::ProcessError error)
{
    // A child that could not be started never finishes; every other error ends with finished.
    if (error != QProcess::FailedToStart)
        return;
    m_timeout.stop();
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    process->deleteLater();
    emit failed(toolNotStartedReason(*process));
}

void SharedReader::onFinished()
{
    m_timeout.stop();
    QProcess *process = m_process;
    m_process = nullptr;
    process->deleteLater();
    const QByteArray out = process->readAllStandardOutput();
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
        emit failed(toolFailureReason(process->readAllStandardError(), m_url));
        return;
    }
    const QList<QByteArray> lines = out.split('\n');
    switch (m_request) {
    case Request::List: {
        std::vector<TestRecord> records;
        for (const QByteArray &line : lines)
            if (const std::optional<QJsonObject> object = recordjson::objectOf(line))
                records.push_back(recordjson::recordOf(*object));
        emit listed(records);
        return;
    }
    case Request::Details:
        if (const std::optional<QJsonObject> object = recordjson::objectOf(lines.front()))
            if (const std::optional<RecordDetails> details = recordjson::detailsOf(*object)) {
                emit detailsRead(*details);
                return;
            }
        break;
    case Request::Figures: {
        std::vector<RecordFigures> records;
        for (const QByteArray &line : lines)
            if (const std::optional<QJsonObject> object = recordjson::objectOf(line))
                if (const std::optional<RecordFigures> record = recordjson::figuresOf(*object))
                    records.push_back(*record);
        emit figuresRead(m_figure, records);
        return;
    }
    case Request::Export:
        emit exported(QString::fromUtf8(out).trimmed());
        return;
    case Request::Info:
        if (const std::optional<QJsonObject> object = recordjson::objectOf(lines.front()))
            if (const std::optional<SharedInfo> info = sharedInfoOf(*object)) {
                emit infoRead(*info);
                return;
            }
        break;
    }
    emit failed(QStringLiteral("kestrava-records gave an answer that cannot be read"));
}
