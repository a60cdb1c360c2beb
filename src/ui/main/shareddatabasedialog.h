#pragma once

#include "records/sharedsettings.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class SharedReader;
struct SharedInfo;

/// Records > "Shared Database..." (frmSharedDatabase): the shared database's URL (empty for
/// none) and the rig's name there. "Test Connection" asks the server through kestrava-records in
/// a child process, so the window never waits on it, and says what it found (server version,
/// schema version, rigs and records) or why it failed. OK refuses a URL or rig name that
/// cannot serve, with the reason under the fields.
class SharedDatabaseDialog final : public QDialog {
    Q_OBJECT

public:
    SharedDatabaseDialog(const SharedSettings &settings, QWidget *parent);

    /// What the fields hold.
    SharedSettings settings() const;
    /// The connection test's line, or the reason OK was refused.
    QString message() const;

    void accept() override;

private:
    void onTestConnectionClicked();
    void onInfoRead(const SharedInfo &info);
    void onTestFailed(const QString &reason);
    /// Why the fields cannot be kept; empty when they can.
    QString problem() const;

    QLineEdit *m_url = nullptr;
    QLineEdit *m_rig = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_message = nullptr;
    SharedReader *m_reader = nullptr;
};

/// The connection test's line for what the server said: "Connected: PostgreSQL 15.20, schema
/// version 4, 2 rigs, 1234 records", or for a database without the tables "Connected:
/// PostgreSQL 15.20, no Kestrava tables yet (kestrava-records init-shared sets them up)".
QString connectionTestText(const SharedInfo &info);
