#include "simulatorprocess.h"

#include "device/portname.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

SimulatorProcess::SimulatorProcess()
{
    // Its error messages show in the test's output.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimulatorProcess::~SimulatorProcess()
{
    if (isRunning())
        stop();
}

bool SimulatorProcess::start(const QString &linkName, const QStringList &options, int timeoutMs)
{
    const QString program = qEnvironmentVariable("KESTRAVA_SIM");
    if (program.isEmpty()) {
        m_error = QStringLiteral("KESTRAVA_SIM does not name the simulator");
        return false;
    }
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_folder.errorString();
        return false;
    }
    m_linkPath = QDir(m_folder.path()).filePath(linkName);
    m_process.setWorkingDirectory(m_folder.path());
    m_process.start(program, QStringList{QStringLiteral("--link"), m_linkPath} + options);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = program + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    const QString line = readLine(timeoutMs);
    if (line != QStringLiteral("ready ") + m_linkPath) {
        m_error = line.isEmpty() ? QStringLiteral("the simulator did not get ready")
                                 : QStringLiteral("unexpected first line: ") + line;
        stop(timeoutMs);
        return false;
    }
    return true;
}

QString SimulatorProcess::command(const QString &line, int timeoutMs)
{
    if (!isRunning())
        return {};
    m_process.write(line.toUtf8() + '\n');
    return readLine(timeoutMs);
}

bool SimulatorProcess::run(const QString &line, int timeoutMs)
{
    const QString answer = command(line, timeoutMs);
    if (answer == QStringLiteral("ok") || answer.startsWith(QStringLiteral("ok ")))
        return true;
    m_error =
        line + QStringLiteral(": ") + (answer.isEmpty() ? QStringLiteral("no answer") : answer);
    return false;
}

bool SimulatorProcess::stop(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    QEventLoop loop;
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (m_process.state() != QProcess::NotRunning)
        loop.exec();
    if (m_process.state() != QProcess::NotRunning) {
        m_error = QStringLiteral("the simulator did not end on SIGTERM");
        m_process.kill();
        m_process.waitForFinished(timeoutMs);
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

bool SimulatorProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

void SimulatorProcess::usePortDirectory() const
{
    qputenv(kPortDirVariable, QFile::encodeName(m_folder.path()));
}

QString SimulatorProcess::readLine(int timeoutMs)
{
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    while (!m_process.canReadLine()) {
        if (m_process.state() != QProcess::Running || !timeout.isActive())
            return {};
        loop.exec();
    }
    return QString::fromUtf8(m_process.readLine()).trimmed();
}
