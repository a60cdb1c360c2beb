#pragma once

#include "records/recordreader.h"
#include "records/sharedstore.h"

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <vector>

/// The reason in the last line kestrava-records wrote on standard error: what follows
/// "kestrava-records: " and the URL it names ("connection refused").
QString toolFailureReason(const QByteArray &errors, const QString &url);
/// Why a child process could not be started at all (QProcess::FailedToStart, after which no
/// finished() comes): the program it names and what the system said.
QString toolNotStartedReason(const QProcess &process);

/// The arguments of `kestrava-records list --json` for the filter over the shared database.
QStringList sharedListArguments(const QString &url, const RecordFilter &filter);
/// The arguments of `kestrava-records stats --json` for the figure of the records the filter
/// takes (all of them: a limit is left out).
QStringList sharedStatsArguments(const QString &url, const RecordFilter &filter,
                                 StatisticsFigure figure);

/// Reads the shared database for a window through kestrava-records in a child process with
/// JSON output, so that the user-interface thread never waits on the server: a server that
/// is down, slow or frozen gives failed() with its reason, at the latest after kTimeoutMs (an
/// export: when the child's own watchdog ends it). One request at a time; a new one ends the
/// one running.
class SharedReader : public QObject {
    Q_OBJECT

public:
    /// A child that has not answered by then is ended, and the server said unreachable; an
    /// export, which may answer for long, is not timed.
    static constexpr int kTimeoutMs = 12000;

    explicit SharedReader(QObject *parent = nullptr);
    ~SharedReader() override;

    void list(const QString &url, const RecordFilter &filter);
    void details(const QString &url, const RecordKey &key);
    void info(const QString &url);
    /// What statistics of the figure read of the records the filter takes (figuresRead).
    void figureRecords(const QString &url, const RecordFilter &filter, StatisticsFigure figure);
    /// Writes the CSV of the records with the keys to the file at path.
    void exportCsv(const QString &url, const std::vector<RecordKey> &keys, const QString &path);
    /// Ends the request running, if any, without a signal.
    void cancel();

signals:
    void listed(const std::vector<TestRecord> &records);
    void detailsRead(const RecordDetails &details);
    void infoRead(const SharedInfo &info);
    void figuresRead(StatisticsFigure figure, const std::vector<RecordFigures> &records);
    /// The export's line: "2 records written to PATH".
    void exported(const QString &line);
    void failed(const QString &reason);

private:
    enum class Request { List, Details, Info, Export, Figures };
    void run(Request request, const QString &url, const QStringList &arguments);
    void onFinished();
    void onError(QProcess::ProcessError error);
    void onTimeout();

    QProcess *m_process = nullptr;
    Request m_request = Request::List;
    StatisticsFigure m_figure = StatisticsFigure::MainFall;
    QString m_url;
    QTimer m_timeout;
};
