#pragma once

// The throwaway PostgreSQL server of the postgres fixture (tests/postgres/start-server.sh) as
// the shared-database tests use it: a database of their own on it, raw statements, and the
// faults a server can have (stopped, frozen).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QUuid>

#include <csignal>
#include <vector>

#include <unistd.h>

class PgServer {
public:
    /// Reads the fixture's info file; false when there is none (the test was not started by
    /// ctest, whose fixture starts the server).
    bool load()
    {
        QFile info(qEnvironmentVariable("KESTRAVA_PG_INFO"));
        if (!info.open(QIODevice::ReadOnly | QIODevice::Text))
            return false;
        for (const QString &line : QString::fromUtf8(info.readAll()).split(u'\n'))
            m_info.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        return true;
    }

    QString value(const QString &key) const { return m_info.value(key); }

    /// The URL of the database for the role, over the fixture's socket.
    QString url(const QString &role, const QString &database) const
    {
        return QStringLiteral("postgresql://%1@:%2/%3?host=%4")
            .arg(role, value(QStringLiteral("port")), database, value(QStringLiteral("socket")));
    }

    /// Runs the statements as the role in the database; the first error's text, or empty.
    QString exec(const QString &role, const QString &database, const QStringList &statements)
    {
        QString error;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(value(QStringLiteral("socket")));
            db.setPort(value(QStringLiteral("port")).toInt());
            db.setUserName(role);
            db.setDatabaseName(database);
            db.setConnectOptions(QStringLiteral("connect_timeout=5"));
            if (!db.open())
                error = db.lastError().text();
            for (const QString &sql : statements) {
                QSqlQuery query(db);
                if (error.isEmpty() && !query.exec(sql))
                    error = query.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }

    /// The rows of a query as the superuser, each row's values joined by blanks.
    QStringList rows(const QString &database, const QString &sql)
    {
        QStringList result;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(value(QStringLiteral("socket")));
            db.setPort(value(QStringLiteral("port")).toInt());
            db.setUserName(value(QStringLiteral("superuser")));
            db.setDatabaseName(database);
            db.setConnectOptions(QStringLiteral("connect_timeout=5"));
            QSqlQuery query(db);
            if (!db.open() || !query.exec(sql))
                result << QStringLiteral("error: ") + query.lastError().text() +
                              db.lastError().text();
            while (query.next()) {
                QStringList values;
                for (int c = 0; c < query.record().count(); ++c)
                    values << query.value(c).toString();
                result << values.join(u' ');
            }
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }

    /// A new, empty database `name` owned by kestrava_owner, whose tables kestrava_rig may
    /// read and add to, as README sets one up; an older one of that name goes first. The
    /// error's text, or empty.
    QString freshDatabase(const QString &name)
    {
        const QString superuser = value(QStringLiteral("superuser"));
        QString error = exec(superuser, QStringLiteral("postgres"),
                             {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name),
                              QStringLiteral("CREATE DATABASE %1 OWNER kestrava_owner").arg(name)});
        if (!error.isEmpty())
            return error;
        return exec(superuser, name,
                    {QStringLiteral("GRANT CONNECT ON DATABASE %1 TO kestrava_rig").arg(name),
                     QStringLiteral("GRANT USAGE ON SCHEMA public TO kestrava_rig"),
                     QStringLiteral("ALTER DEFAULT PRIVILEGES FOR ROLE kestrava_owner IN SCHEMA "
                                    "public GRANT SELECT, INSERT ON TABLES TO kestrava_rig")});
    }

    /// Stops the server (fast: open sessions are ended) or starts it again, as its user.
    bool stop() { return pgCtl({QStringLiteral("--mode=fast"), QStringLiteral("stop")}); }
    bool start()
    {
        return pgCtl(
            {QStringLiteral("--log=%1/log/server.log").arg(value(QStringLiteral("folder"))),
             QStringLiteral("start")});
    }

    /// Freezes every process of the server (SIGSTOP), or lets them go on (SIGCONT): the
    /// postmaster named in its pid file and its children, never another server's.
    void freeze() { signalAll(SIGSTOP); }
    void thaw() { signalAll(SIGCONT); }

private:
    bool pgCtl(QStringList arguments)
    {
        const QString folder = value(QStringLiteral("folder"));
        arguments.prepend(QStringLiteral("--pgdata=%1/data").arg(folder));
        arguments << QStringLiteral("--wait") << QStringLiteral("--timeout=60");
        QString program = QStringLiteral("/usr/lib/postgresql/15/bin/pg_ctl");
        if (::geteuid() == 0) {
            arguments = QStringList{QStringLiteral("-u"),
                                    QFileInfo(folder + QStringLiteral("/data")).owner(),
                                    QStringLiteral("--"), program} +
                        arguments;
            program = QStringLiteral("runuser");
        }
        QProcess process;
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        return process.waitForFinished(90000) && process.exitCode() == 0;
    }

    void signalAll(int signal)
    {
        QFile pidFile(value(QStringLiteral("folder")) + QStringLiteral("/data/postmaster.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            return;
        const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
        std::vector<qint64> pids{postmaster};
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // pid (comm) state ppid ...: the parent follows the last ')'.
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == postmaster)
                pids.push_back(entry.toLongLong());
        }
        for (const qint64 pid : pids)
            ::kill(pid_t(pid), signal);
    }

    QHash<QString, QString> m_info;
};
