#pragma once

#include "records/sharedsettings.h"
#include "records/sharedsync.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <optional>

class Clock;

/// Where kestrava-records is: KESTRAVA_RECORDS when set, else beside the program, else in the
/// build tree's tools folder, else on the PATH.
QString recordsToolPath();

/// Keeps the program's records copied to the shared database without the program ever waiting
/// on the network: it runs `kestrava-records sync --follow --json` as a child process, reads
/// the state lines it prints, starts it again after a pause that grows from 1 s to 30 s when
/// it ends, and ends it when the program ends.
class SyncSupervisor : public QObject {
    Q_OBJECT

public:
    /// The clock tells since when the shared database is unreachable.
    explicit SyncSupervisor(const Clock &clock, QObject *parent = nullptr);
    ~SyncSupervisor() override;

    /// Copies the local database at path to the settings' shared database; a sync already
    /// running ends first. Settings without a URL stop it.
    void start(const QString &database, const SharedSettings &settings);
    /// Ends the sync (SIGTERM, then SIGKILL after two seconds).
    void stop();
    /// The state line ("Shared database: up to date"...); empty when no sync runs.
    QString stateText() const { return m_text; }

signals:
    void stateChanged(const QString &text);

private:
    void launch();
    void onOutput();
    void onFinished();
    void onError(QProcess::ProcessError error);
    /// The child is gone: the state says why, and it is started again after a pause.
    void ended(const QString &reason);
    void setState(const SyncState &state);

    const Clock &m_clock;
    QProcess *m_process = nullptr;
    QTimer m_restart;
    QString m_database;
    SharedSettings m_settings;
    int m_failures = 0;
    std::optional<QDateTime> m_unreachableSince;
    QByteArray m_pending;
    QString m_text;
};
