// The shared database's URL rules, and real connections to the throwaway PostgreSQL 15 server
// of the postgres fixture (tests/postgres/start-server.sh): over its socket, refused, timed
// out, with and without a password.
#include "records/sharedconnection.h"
#include "records/sharedurl.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

/// A password typed into URLs; no message may repeat it.
const QString kSecret = QStringLiteral("Tr0ub4dor");

/// The fixture's server: the key=value lines of its info file.
QHash<QString, QString> g_server;

/// The URL with the fixture's socket folder (%SOCKET%, percent-encoded %ESOCKET%), port
/// (%PORT%) and the password of its role kestrava_pw (%PW%) filled in.
QString onServer(QString text)
{
    const QString socket = g_server.value(QStringLiteral("socket"));
    text.replace(QStringLiteral("%ESOCKET%"), QString::fromLatin1(QUrl::toPercentEncoding(socket)));
    text.replace(QStringLiteral("%SOCKET%"), socket);
    text.replace(QStringLiteral("%PW%"), g_server.value(QStringLiteral("password")));
    return text.replace(QStringLiteral("%PORT%"), g_server.value(QStringLiteral("port")));
}

/// The first row of the query, or why the connection or the query failed.
QString ask(const QString &url, const QString &sql)
{
    QString answer;
    {
        const Fallible<QSqlDatabase> opened = openSharedDatabase(url, QStringLiteral("test"));
        if (!opened.ok())
            return opened.failure()->reason;
        QSqlQuery query(opened.value());
        answer =
            query.exec(sql) && query.next() ? query.value(0).toString() : query.lastError().text();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test"));
    return answer;
}

/// A Unix socket at `path` that takes connections and never answers, as a frozen server's.
int frozenSocket(const QString &path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool made = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    return made && ::listen(fd, 16) == 0 ? fd : -1;
}

} // namespace

class TestSharedConnection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void driverMissing();
    void urls_data();
    void urls();
    void connections_data();
    void connections();
};

void TestSharedConnection::initTestCase()
{
    QFile info(qEnvironmentVariable("KESTRAVA_PG_INFO"));
    QVERIFY2(info.open(QIODevice::ReadOnly | QIODevice::Text),
             "no server: run this test through ctest, whose postgres fixture starts one");
    for (const QString &line : QString::fromUtf8(info.readAll()).split(u'\n'))
        g_server.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
}

// Declared first: Qt keeps a driver plugin loaded once a test has used it.
void TestSharedConnection::driverMissing()
{
    const QStringList paths = QCoreApplication::libraryPaths();
    QTemporaryDir noPlugins;
    QCoreApplication::setLibraryPaths({noPlugins.path()});
    const QString answer =
        ask(onServer("postgresql://kestrava_rig@:%PORT%/kestrava?host=%SOCKET%"), "SELECT 1");
    QCoreApplication::setLibraryPaths(paths);
    QCOMPARE(answer, "the PostgreSQL driver libqt6sql6-psql is not installed");
    QVERIFY(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")));
}

void TestSharedConnection::urls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("parsed"); // its parts, or the reason it is refused
    const auto row = [](const char *tag, const QString &url, const QString &parsed) {
        QTest::newRow(tag) << url << parsed;
    };

    row("user, host, port", "postgresql://rig7@10.1.2.3:6543/r", "10.1.2.3 6543 rig7 r");
    row("IPv6", "postgresql://[2001:db8::1]/r", "2001:db8::1 -1  r");
    row("socket parameter", "postgresql:///k?host=/run/pg&port=5433", "/run/pg 5433  k");
    row("decoding", "postgresql://q%20t%3A1@%2Fs/a%2Fb%C3%A9?application_name=r%201%26%3D",
        "/s -1 q t:1 a/b\u00e9 application_name=r 1&=");
    row("passed on",
        "postgresql://h/d?sslmode=verify-full&sslrootcert=/r.crt&sslcert=c&sslkey=k&sslcrl=l&"
        "connect_timeout=3600&application_name=n&",
        "h -1  d sslmode=verify-full sslrootcert=/r.crt sslcert=c sslkey=k sslcrl=l "
        "connect_timeout=3600 application_name=n");
    const QString password =
        "the URL holds a password; keep passwords in ~/.pgpass or PGPASSWORD instead";
    row("password", "postgresql://rig:" + kSecret + "@host/db", password);
    row("password with a /", "postgresql://rig:a/" + kSecret + "@h:x/", password);
    row("password parameter", "postgresql://h/d?pass%77ord=" + kSecret, password);
    row("scheme", "postgres://host/db", "the URL must start with postgresql://");
    row("no database", "postgresql://h/?sslmode=require",
        "the URL names no database (postgresql://host/dbname)");
    row("path", "postgresql://h/d/e",
        "the URL has more than a database name after the host (write a / in the name as %2F)");
    row("port 65536", "postgresql://h:65536/d", "the port must be a number from 1 to 65535");
    row("port parameter 0", "postgresql:///d?port=0", "the port must be a number from 1 to 65535");
    row("no ]", "postgresql://[::1/d", "the host's [ has no ]");
    const QString known = " is unknown (known: host, port, sslmode, sslrootcert, sslcert, sslkey, "
                          "sslcrl, connect_timeout, application_name)";
    row("unknown", "postgresql://h/d?sslca=1", "parameter 'sslca'" + known);
    row("unknown, unquoted", "postgresql://h/d?a%0A" + kSecret + "=1", "a parameter" + known);
    row("no value", "postgresql://h/d?sslmode", "parameter 'sslmode' has no value");
    row("twice", "postgresql://h/d?host=/tmp", "parameter 'host' is given twice");
    row("sslmode", "postgresql://h/d?sslmode=on",
        "sslmode must be one of disable, allow, prefer, require, verify-ca, verify-full");
    row("timeout 0", "postgresql://h/d?connect_timeout=0",
        "connect_timeout must be a whole number of seconds from 1 to 3600");
    row(";", "postgresql://h/d?application_name=a%3Bb",
        "parameter 'application_name' cannot hold ;");
    row("escape", "postgresql://h/d%4g",
        "the URL has a bad percent escape (a % must be followed by two hexadecimal digits, not "
        "00)");
    row("#", "postgresql://h/d#" + kSecret, "the URL cannot hold # (write it as %23)");
}

void TestSharedConnection::urls()
{
    QFETCH(QString, url);
    QFETCH(QString, parsed);
    const Fallible<SharedUrl> result = parseSharedUrl(url);
    if (result.ok()) {
        const SharedUrl &u = result.value();
        QStringList parts{u.host, QString::number(u.port), u.user, u.databaseName};
        for (const auto &[name, value] : u.parameters)
            parts << name + u'=' + value;
        QCOMPARE(parts.join(u' '), parsed);
        return;
    }
    QCOMPARE(result.failure()->reason, parsed);
    QVERIFY(!parsed.contains(kSecret));
    // Opening such a URL gives the same reason, and leaves no connection behind.
    QCOMPARE(ask(url, "SELECT 1"), parsed);
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("test")));
}

void TestSharedConnection::connections_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("password"); // "env:" in PGPASSWORD, "file:" in the PGPASSFILE file
    QTest::addColumn<QString>("answer");   // user, application name and server, or the failure
    const auto row = [](const char *tag, const QString &url, const QString &password,
                        const QString &answer) { QTest::newRow(tag) << url << password << answer; };

    const QString rig = "postgresql://kestrava_rig@:%PORT%/kestrava?host=%SOCKET%";
    const QString other = "postgresql://kestrava_rig@/kestrava?host=%OTHER%&port=";
    const QString pw = "postgresql://kestrava_pw@:%PORT%/kestrava?host=%SOCKET%";
    row("defaults", rig, "", "kestrava_rig kestrava PostgreSQL 15");
    row("socket in host part", "postgresql://kestrava_owner@%ESOCKET%:%PORT%/kestrava", "",
        "kestrava_owner kestrava PostgreSQL 15");
    row("application name", rig + "&application_name=r%20%27n%27%5C", "",
        "kestrava_rig r 'n'\\ PostgreSQL 15");
    row("no server", other + "%PORT%", "", "no such file or directory");
    row("frozen, URL timeout", other + "1&connect_timeout=2", "", "timeout expired");
    row("frozen, default timeout", other + "1", "", "timeout expired");
    row("no database", "postgresql://kestrava_rig@/x?host=%SOCKET%&port=%PORT%", "",
        "database \"x\" does not exist");
    row("no password", pw, "", "fe_sendauth: no password supplied");
    row("wrong PGPASSWORD", pw, "env:" + kSecret,
        "password authentication failed for user \"kestrava_pw\"");
    row("PGPASSWORD", pw, "env:%PW%", "kestrava_pw kestrava PostgreSQL 15");
    row("password file", pw, "file:*:*:*:kestrava_pw:%PW%", "kestrava_pw kestrava PostgreSQL 15");
}

void TestSharedConnection::connections()
{
    QFETCH(QString, url);
    QFETCH(QString, password);
    QTemporaryDir folder;
    // The user's own ~/.pgpass stays out; libpq reads only a file closed to others.
    QFile file(folder.filePath("pgpass"));
    if (password.startsWith("file:"))
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(onServer(password.mid(5)).toUtf8()) &&
                file.setPermissions(QFile::ReadOwner));
    file.close();
    qputenv("PGPASSFILE", QFile::encodeName(file.fileName()));
    qputenv("PGPASSWORD", onServer(password.mid(4)).toUtf8());
    if (!password.startsWith("env:"))
        qunsetenv("PGPASSWORD");
    // Port 1 in the other folder is a frozen server.
    const int frozen = frozenSocket(folder.filePath(".s.PGSQL.1"));
    QVERIFY(frozen >= 0);

    const QString answer = ask(onServer(url).replace("%OTHER%", folder.path()),
                               "SELECT current_user || ' ' || current_setting('application_name') "
                               "|| ' ' || split_part(version(), '.', 1)");
    ::close(frozen);
    QTEST(answer, "answer");
    QVERIFY(!answer.contains(kSecret) && !answer.contains(g_server.value("password")));
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("test")));
}

QTEST_GUILESS_MAIN(TestSharedConnection)
#include "tst_sharedconnection.moc"
