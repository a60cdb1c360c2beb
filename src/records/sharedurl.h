#pragma once

#include "app/failure.h"

#include <QString>

#include <utility>
#include <vector>

/// The settings of a connection to the shared database, read from its URL.
struct SharedUrl {
    QString host;         ///< a host name, or a Unix socket folder (starts with "/"); may be empty
    int port = -1;        ///< -1 when the URL gives none (the server's default, 5432)
    QString user;         ///< empty when the URL gives none (the login name is used)
    QString databaseName; ///< never empty
    /// The connection parameters other than host and port, in the URL's order.
    std::vector<std::pair<QString, QString>> parameters;

    bool operator==(const SharedUrl &) const = default;
};

/// Reads `postgresql://[user@][host][:port]/dbname[?param=value&...]`. Every part is
/// percent-decoded; a host in brackets is an IPv6 address; everything before the last "@"
/// (before any "?") is the user. Parameters:
/// - host, port: as in the part before the database name (each given once only);
/// - sslmode: disable, allow, prefer, require, verify-ca or verify-full;
/// - sslrootcert, sslcert, sslkey, sslcrl: certificate files, passed on unread;
/// - connect_timeout: seconds from 1 to 3600 (0, which would wait for ever, is refused);
/// - application_name: the name the server shows for the session.
/// Any other parameter is refused, so a typing error is never silently ignored. A URL that
/// holds a password (`user:secret@` or `password=`) is refused: passwords belong in
/// ~/.pgpass or PGPASSWORD. A refusal's reason is one line and never repeats a value of the
/// URL (it may name a parameter).
[[nodiscard]] Fallible<SharedUrl> parseSharedUrl(const QString &url);
