#include "records/sharedconnection.h"

#include "records/recordrows.h"
#include "records/sharedurl.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QStringList>

namespace {

const QString kDriver = QStringLiteral("QPSQL");

/// A value as libpq reads it in a connection string: quoted, with \ and ' escaped.
QString quoted(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + value + u'\'';
}

/// The driver's connect options: the URL's parameters, with our connect timeout and
/// application name where the URL gives none.
QString connectOptions(const SharedUrl &url)
{
    QStringList options;
    bool hasTimeout = false;
    bool hasName = false;
    for (const auto &[name, value] : url.parameters) {
        options << name + u'=' + quoted(value);
        hasTimeout = hasTimeout || name == QStringLiteral("connect_timeout");
        hasName = hasName || name == QStringLiteral("application_name");
    }
    if (!hasTimeout)
        options << QStringLiteral("connect_timeout=%1").arg(kSharedConnectTimeout);
    if (!hasName)
        options << QStringLiteral("application_name=") + quoted(kSharedApplicationName);
    // Over TCP a server that is gone or frozen is noticed within about 20 s, rather than when
    // the system gives up on the connection; a Unix socket ignores these.
    options << QStringLiteral("keepalives=1") << QStringLiteral("keepalives_idle=10")
            << QStringLiteral("keepalives_interval=5") << QStringLiteral("keepalives_count=2")
            << QStringLiteral("tcp_user_timeout=20000");
    return options.join(u';');
}

} // namespace

QString sharedErrorText(const QSqlError &error)
{
    const QString line = recordrows::errorLine(error);
    return line.isEmpty() ? QStringLiteral("the shared database cannot be opened") : line;
}

Fallible<QSqlDatabase> openSharedDatabase(const SharedUrl &url, const QString &connectionName)
{
    if (!QSqlDatabase::isDriverAvailable(kDriver))
        return Failure{QStringLiteral("the PostgreSQL driver libqt6sql6-psql is not installed"),
                       {}};
    QSqlDatabase database = QSqlDatabase::addDatabase(kDriver, connectionName);
    database.setHostName(url.host);
    database.setPort(url.port);
    database.setUserName(url.user);
    database.setDatabaseName(url.databaseName);
    database.setConnectOptions(connectOptions(url));
    if (database.open())
        return database;
    const Failure failed{sharedErrorText(database.lastError()), {}};
    database = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
    return failed;
}

Fallible<QSqlDatabase> openSharedDatabase(const QString &url, const QString &connectionName)
{
    const Fallible<SharedUrl> parsed = parseSharedUrl(url);
    if (!parsed.ok())
        return *parsed.failure();
    return openSharedDatabase(parsed.value(), connectionName);
}
