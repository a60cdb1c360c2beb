#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/// Runs the instrument simulator kestrava-sim for a test, in a temporary folder of its own.
///
///     SimulatorProcess sim;
///     QVERIFY2(sim.start(), qPrintable(sim.errorString()));   // link folder()/COM1
///     sim.usePortDirectory();                                 // port 1 now reaches it
///     QVERIFY(sim.run("set p1 5000"));                        // see kestrava-sim --help
///     QCOMPARE(sim.command("status").section(' ', 4, 4), "5000");
///
/// The program's path comes from the environment variable KESTRAVA_SIM, which CTest sets.
/// Every wait keeps the event loop running, so the code under test goes on polling meanwhile;
/// a signal may therefore come while command() waits: check it with QTRY_COMPARE on a
/// QSignalSpy's count rather than QSignalSpy::wait, which only sees later emissions.
/// The destructor stops the simulator when it still runs.
class SimulatorProcess {
public:
    SimulatorProcess();
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    /// Starts the simulator with its link at folder()/linkName and the given extra options
    /// (such as {"--p1", "5000"} or {"--scenario", path}), and waits for its "ready" line.
    /// Returns false, with errorString() telling why, when it did not get ready in time.
    bool start(const QString &linkName = QStringLiteral("COM1"), const QStringList &options = {},
               int timeoutMs = 10000);

    /// Sends one command line and waits for its answer line ("ok", "ok ..." or "error ...").
    /// Returns an empty text when no answer came in time or the simulator is not running.
    QString command(const QString &line, int timeoutMs = 10000);

    /// Sends one command and tells whether it was answered "ok".
    bool run(const QString &line, int timeoutMs = 10000);

    /// Ends the simulator with SIGTERM, as an operator would, and waits for it. True when it
    /// ended with exit code 0 (it has then removed its link).
    bool stop(int timeoutMs = 10000);

    bool isRunning() const;
    /// The simulator's process id, for sending it signals; 0 when it does not run.
    qint64 processId() const { return m_process.processId(); }
    /// The temporary folder holding the link.
    QString folder() const { return m_folder.path(); }
    /// Full path of the link, which leads to the simulator's pseudo-terminal.
    QString linkPath() const { return m_linkPath; }
    /// Points KESTRAVA_PORT_DIR at folder(), so a link named COM<n> is port n.
    void usePortDirectory() const;
    QString errorString() const { return m_error; }

private:
    /// Waits for the next line on the simulator's standard output.
    QString readLine(int timeoutMs);

    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_linkPath;
    QString m_error;
};
