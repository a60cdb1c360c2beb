#pragma once

#include "app/failure.h"

#include <QSqlDatabase>
#include <QString>

class QSqlError;

struct SharedUrl;

/// Seconds the connection waits for a server that does not answer, unless the URL says
/// otherwise (connect_timeout): a frozen server cannot hold the caller longer than this.
inline constexpr int kSharedConnectTimeout = 5;

/// The name the server shows for our sessions unless the URL says otherwise
/// (application_name).
inline const QString kSharedApplicationName = QStringLiteral("kestrava");

/// The reason of a failed connection in one line (recordrows::errorLine), such as
/// "connection refused".
QString sharedErrorText(const QSqlError &error);

/// Opens the Qt SQL connection `connectionName` (driver QPSQL) to the server the URL names.
/// No password is ever set here: libpq reads one from ~/.pgpass (or the file PGPASSFILE
/// names) or PGPASSWORD. On failure the connection name is free again and the reason is one
/// line, taken from the server's or the driver's text ("connection refused", "password
/// authentication failed for user ...", "timeout expired", ...). The caller ends the
/// connection with QSqlDatabase::removeDatabase().
[[nodiscard]] Fallible<QSqlDatabase> openSharedDatabase(const SharedUrl &url,
                                                        const QString &connectionName);

/// The same, from the URL's text; a URL that parseSharedUrl() refuses gives its reason.
[[nodiscard]] Fallible<QSqlDatabase> openSharedDatabase(const QString &url,
                                                        const QString &connectionName);
