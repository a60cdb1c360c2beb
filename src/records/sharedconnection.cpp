#include "records/sharedconnection.h"

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
    return options.join(u';');
}

/// The reason of a failed connection in one line: libpq's first line without the
/// "connection to server ... failed:" lead and the severity, such as "connection refused" or
/// "password authentication failed for user "rig"".
QString oneLineReason(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    QString line = text.section(u'\n', 0, 0).trimmed();
    static const QRegularExpression lead(QStringLiteral("^connection to server .*? failed: (.*)$"));
    if (const QRegularExpressionMatch match = lead.match(line); match.hasMatch())
        line = match.captured(1);
    static const QRegularExpression severity(QStringLiteral("^(FATAL|ERROR|PANIC): +"));
    line.remove(severity);
    // System texts start with a capital ("Connection refused"); a name such as "SSL" stays.
    if (line.size() > 1 && line[0].isUpper() && line[1].isLower())
        line[0] = line[0].toLower();
    return line.isEmpty() ? QStringLiteral("the shared database cannot be opened") : line;
}

} // namespace

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
    const Failure failed{oneLineReason(database.lastError()), {}};
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
