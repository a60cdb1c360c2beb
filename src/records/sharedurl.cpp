#include "records/sharedurl.h"

#include <QRegularExpression>
#include <QStringList>

#include <optional>
#include <utility>

namespace {

const QString kScheme = QStringLiteral("postgresql://");
const QStringList kParameters =
    QStringLiteral("host port sslmode sslrootcert sslcert sslkey sslcrl connect_timeout "
                   "application_name")
        .split(u' ');
const QStringList kSslModes =
    QStringLiteral("disable allow prefer require verify-ca verify-full").split(u' ');
constexpr int kMaxConnectTimeout = 3600;

Failure refused(const QString &reason)
{
    return Failure{reason, {}};
}

Failure passwordRefused()
{
    return refused(QStringLiteral("the URL holds a password; keep passwords in ~/.pgpass or "
                                  "PGPASSWORD instead"));
}

Failure badEscape()
{
    return refused(QStringLiteral("the URL has a bad percent escape (a % must be followed by two "
                                  "hexadecimal digits, not 00)"));
}

/// A parameter's name as a message may quote it: only a plain name, so that a message stays
/// one line and cannot carry whatever else was typed there.
QString named(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]{1,40}$"));
    return plain.match(name).hasMatch() ? QStringLiteral("parameter '%1'").arg(name)
                                        : QStringLiteral("a parameter");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/// The text of a URL part with its %XX escapes decoded as UTF-8 bytes; nothing for a "%"
/// without two hexadecimal digits, and for %00, which no connection setting can hold.
std::optional<QString> decoded(QStringView part)
{
    const QByteArray raw = part.toUtf8();
    QByteArray bytes;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            bytes += raw[i];
            continue;
        }
        const int high = i + 2 < raw.size() ? hexDigit(raw[i + 1]) : -1;
        const int low = i + 2 < raw.size() ? hexDigit(raw[i + 2]) : -1;
        if (high < 0 || low < 0 || high * 16 + low == 0)
            return std::nullopt;
        bytes += char(high * 16 + low);
        i += 2;
    }
    return QString::fromUtf8(bytes);
}

/// A whole number of plain digits from `low` to `high`.
std::optional<int> number(const QString &text, int low, int high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<int> port(const QString &text)
{
    return number(text, 1, 65535);
}

Failure badPort()
{
    return refused(QStringLiteral("the port must be a number from 1 to 65535"));
}

/// True when the URL carries a password, as `user:secret@` or as a password parameter.
/// Looked at before anything else, so that such a URL always gets the advice about ~/.pgpass.
bool holdsPassword(QStringView beforeQuery, QStringView query)
{
    const qsizetype at = beforeQuery.lastIndexOf(u'@');
    if (at >= 0 && beforeQuery.left(at).contains(u':'))
        return true;
    for (const QStringView piece : query.split(u'&')) {
        const std::optional<QString> name = decoded(piece.left(piece.indexOf(u'=')));
        if (name == QStringLiteral("password"))
            return true;
    }
    return false;
}

/// The URL read up to its "?", completed with the parameters after it.
Fallible<SharedUrl> withParameters(SharedUrl url, QStringView query)
{
    QStringList seen;
    if (!url.host.isEmpty())
        seen << QStringLiteral("host");
    if (url.port != -1)
        seen << QStringLiteral("port");
    for (const QStringView piece : query.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = piece.indexOf(u'=');
        const std::optional<QString> name = decoded(piece.left(equals));
        if (!name)
            return badEscape();
        if (!kParameters.contains(*name))
            return refused(QStringLiteral("%1 is unknown (known: %2)")
                               .arg(named(*name), kParameters.join(QStringLiteral(", "))));
        if (equals < 0 || equals == piece.size() - 1)
            return refused(QStringLiteral("%1 has no value").arg(named(*name)));
        if (seen.contains(*name))
            return refused(QStringLiteral("%1 is given twice").arg(named(*name)));
        seen << *name;
        const std::optional<QString> value = decoded(piece.mid(equals + 1));
        if (!value)
            return badEscape();

        if (*name == QStringLiteral("host")) {
            url.host = *value;
        } else if (*name == QStringLiteral("port")) {
            const std::optional<int> given = port(*value);
            if (!given)
                return badPort();
            url.port = *given;
        } else if (*name == QStringLiteral("sslmode") && !kSslModes.contains(*value)) {
            return refused(QStringLiteral("sslmode must be one of %1")
                               .arg(kSslModes.join(QStringLiteral(", "))));
        } else if (*name == QStringLiteral("connect_timeout") &&
                   !number(*value, 1, kMaxConnectTimeout)) {
            return refused(QStringLiteral("connect_timeout must be a whole number of seconds "
                                          "from 1 to %1")
                               .arg(kMaxConnectTimeout));
        } else if (value->contains(u';')) {
            // The driver takes its options as one text split at ";".
            return refused(QStringLiteral("%1 cannot hold ;").arg(named(*name)));
        } else {
            url.parameters.emplace_back(*name, *value);
        }
    }
    return url;
}

} // namespace

Fallible<SharedUrl> parseSharedUrl(const QString &url)
{
    if (!url.startsWith(kScheme))
        return refused(QStringLiteral("the URL must start with postgresql://"));
    const QStringView rest = QStringView(url).mid(kScheme.size());
    const qsizetype questionMark = rest.indexOf(u'?');
    QStringView beforeQuery = questionMark < 0 ? rest : rest.left(questionMark);
    const QStringView query = questionMark < 0 ? QStringView() : rest.mid(questionMark + 1);
    if (holdsPassword(beforeQuery, query))
        return passwordRefused();
    if (url.contains(u'#'))
        return refused(QStringLiteral("the URL cannot hold # (write it as %23)"));

    SharedUrl result;
    const qsizetype at = beforeQuery.lastIndexOf(u'@');
    if (at >= 0) {
        const std::optional<QString> user = decoded(beforeQuery.left(at));
        if (!user)
            return badEscape();
        result.user = *user;
        beforeQuery = beforeQuery.mid(at + 1);
    }

    const qsizetype slash = beforeQuery.indexOf(u'/');
    const QStringView hostAndPort = slash < 0 ? beforeQuery : beforeQuery.left(slash);
    // An IPv6 address is written in brackets, its colons are not the port's.
    qsizetype hostEnd = hostAndPort.indexOf(u':');
    QStringView host = hostAndPort.left(hostEnd);
    if (hostAndPort.startsWith(u'[')) {
        const qsizetype close = hostAndPort.indexOf(u']');
        if (close < 0)
            return refused(QStringLiteral("the host's [ has no ]"));
        host = hostAndPort.mid(1, close - 1);
        hostEnd = close + 1;
        if (hostEnd < hostAndPort.size() && hostAndPort[hostEnd] != u':')
            return refused(QStringLiteral("only :port may follow the host's ]"));
    }
    const std::optional<QString> hostName = decoded(host);
    if (!hostName)
        return badEscape();
    result.host = *hostName;
    if (hostEnd >= 0 && hostEnd < hostAndPort.size()) {
        const std::optional<int> given = port(hostAndPort.mid(hostEnd + 1).toString());
        if (!given)
            return badPort();
        result.port = *given;
    }

    const QStringView path = slash < 0 ? QStringView() : beforeQuery.mid(slash + 1);
    if (path.isEmpty())
        return refused(QStringLiteral("the URL names no database (postgresql://host/dbname)"));
    if (path.contains(u'/'))
        return refused(QStringLiteral("the URL has more than a database name after the host "
                                      "(write a / in the name as %2F)"));
    const std::optional<QString> databaseName = decoded(path);
    if (!databaseName)
        return badEscape();
    result.databaseName = *databaseName;

    return withParameters(std::move(result), query);
}
