#include "records/syncsupervisor.h"

#include "app/clock.h"
#include "records/recordjson.h"
#include "records/sharedreader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

const QString kTool = QStringLiteral("kestrava-records");

} // namespace

QString recordsToolPath()
{
    const QString set = qEnvironmentVariable("KESTRAVA_RECORDS");
    if (!set.isEmpty())
        return set;
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString &candidate :
         {folder + u'/' + kTool, folder + QStringLiteral("/../tools/records/") + kTool})
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).absoluteFilePath();
    const QString found = QStandardPaths::findExecutable(kTool);
    return found.isEmpty() ? kTool : found;
}

SyncSupervisor::SyncSupervisor(const Clock &clock, QObject *parent)
    : QObject(parent), m_clock(clock)
{
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &SyncSupervisor::launch);
}

SyncSupervisor::~SyncSupervisor()
{
    stop();
}

void SyncSupervisor::start(const QString &database, const SharedSettings &settings)
{
    stop();
    m_database = database;
    m_settings = settings;
    m_failures = 0;
    m_unreachableSince.reset();
    if (settings.url.isEmpty()) {
        if (!m_text.isEmpty()) {
            m_text.clear();
            emit stateChanged(m_text);
        }
        return;
    }
    launch();
}

void SyncSupervisor::stop()
{
    m_restart.stop();
    if (!m_process)
        return;
    QProcess *process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    process->terminate();
    if (!process->waitForFinished(2000)) {
        process->kill();
        process->waitForFinished(2000);
    }
    delete process;
}

void SyncSupervisor::launch()
{
    m_pending.clear();
    m_process = new QProcess(this);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &SyncSupervisor::onOutput);
    connect(m_process, &QProcess::finished, this, &SyncSupervisor::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &SyncSupervisor::onError);
    m_process->start(recordsToolPath(),
                     {QStringLiteral("sync"), QStringLiteral("--db"), m_database,
                      QStringLiteral("--to"), m_settings.url, QStringLiteral("--rig"),
                      m_settings.rig, QStringLiteral("--follow"), QStringLiteral("--json")});
}

void SyncSupervisor::onOutput()
{
    m_pending += m_process->readAllStandardOutput();
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        const std::optional<QJsonObject> object = recordjson::objectOf(line);
        const std::optional<SyncState> state = object ? syncStateOf(*object) : std::nullopt;
        if (!state)
            continue;
        if (state->kind == SyncState::Kind::Unreachable) {
            // The first failure in a row says since when, across restarts of the child.
            if (!m_unreachableSince)
                m_unreachableSince = state->since;
            setState({state->kind, 0, *m_unreachableSince, state->reason});
        } else {
            m_failures = 0;
            m_unreachableSince.reset();
            setState(*state);
        }
    }
}

void SyncSupervisor::onFinished()
{
    onOutput();
    ended(toolFailureReason(m_process->readAllStandardError(), m_settings.url));
}

void SyncSupervisor::onError(QProcess::ProcessError error)
{
    // A child that could not be started never finishes; every other error ends with finished.
    if (error == QProcess::FailedToStart)
        ended(toolNotStartedReason(*m_process));
}

void SyncSupervisor::ended(const QString &reason)
{
    m_process->deleteLater();
    m_process = nullptr;
    if (!m_unreachableSince)
        m_unreachableSince = m_clock.now();
    setState({SyncState::Kind::Unreachable, 0, *m_unreachableSince, reason});
    ++m_failures;
    m_restart.start(retryPauseSeconds(m_failures) * 1000);
}

void SyncSupervisor::setState(const SyncState &state)
{
    const QString text = syncStateText(state);
    if (text == m_text)
        return;
    m_text = text;
    emit stateChanged(m_text);
}
