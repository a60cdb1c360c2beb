#include "command.h"

#include <QStringList>

#include <cctype>
#include <cmath>

namespace {

constexpr int kDefaultSplitInterval = 20;

bool parseChannel(const QString &word, int &channel)
{
    static const QStringList names = {QStringLiteral("temp"), QStringLiteral("p1"),
                                      QStringLiteral("p2")};
    channel = static_cast<int>(names.indexOf(word));
    return channel >= 0;
}

bool parseNumber(const QString &word, double &number)
{
    bool ok = false;
    number = word.toDouble(&ok);
    return ok && std::isfinite(number);
}

bool parseWhole(const QString &word, int lowest, int highest, int &number)
{
    bool ok = false;
    number = word.toInt(&ok);
    return ok && number >= lowest && number <= highest;
}

/// Turns the escapes \r \n \t \\ and \xHH into their bytes.
MaybeFailure unescape(const QString &text, QByteArray &bytes)
{
    const QByteArray latin = text.toLatin1();
    for (qsizetype i = 0; i < latin.size(); ++i) {
        if (latin[i] != '\\') {
            bytes.append(latin[i]);
            continue;
        }
        if (++i >= latin.size()) {
            return Failure{QStringLiteral("send: text ends with a lone backslash"), {}};
        }
        switch (latin[i]) {
        case 'r':
            bytes.append('\r');
            break;
        case 'n':
            bytes.append('\n');
            break;
        case 't':
            bytes.append('\t');
            break;
        case '\\':
            bytes.append('\\');
            break;
        case 'x': {
            const QByteArray hex = latin.mid(i + 1, 2);
            if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                return Failure{QStringLiteral("send: \\x needs two hexadecimal digits"), {}};
            }
            bytes.append(static_cast<char>(hex.toInt(nullptr, 16)));
            i += 2;
            break;
        }
        default:
            return Failure{
                QStringLiteral("send: unknown escape \\%1").arg(QChar::fromLatin1(latin[i])), {}};
        }
    }
    return std::nullopt;
}

} // namespace

bool isBlankOrComment(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(u'#');
}

MaybeFailure parseCommand(const QString &line, Command &command)
{
    const QString trimmed = line.trimmed();
    const QStringList words = trimmed.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return Failure{QStringLiteral("empty command"), {}};
    }
    const QString verb = words[0];
    const qsizetype arguments = words.size() - 1;
    command = Command{};
    auto usage = [&](const char *text) {
        return Failure{QStringLiteral("usage: %1").arg(QLatin1String(text)), {}};
    };

    if (verb == u"set") {
        int value = 0;
        if (arguments != 2 || !parseChannel(words[1], command.channel) ||
            !parseWhole(words[2], kLowestRaw, kHighestRaw, value))
            return usage("set temp|p1|p2 VALUE (whole number, -99999..999999)");
        command.verb = Command::Verb::Set;
        command.number = value;
    } else if (verb == u"ramp") {
        if (arguments != 2 || !parseChannel(words[1], command.channel) ||
            !parseNumber(words[2], command.number))
            return usage("ramp temp|p1|p2 RATE (counts per second)");
        command.verb = Command::Verb::Ramp;
    } else if (verb == u"vent") {
        if (arguments != 1 || !parseChannel(words[1], command.channel) || command.channel == 0)
            return usage("vent p1|p2");
        command.verb = Command::Verb::Vent;
    } else if (verb == u"delay" || verb == u"wait") {
        int ms = 0;
        if (arguments != 1 || !parseWhole(words[1], 0, 3600000, ms))
            return usage(verb == u"delay" ? "delay MS (0..3600000)" : "wait MS (0..3600000)");
        command.verb = verb == u"delay" ? Command::Verb::Delay : Command::Verb::Wait;
        command.number = ms;
    } else if (verb == u"split") {
        int pieces = 0;
        command.interval = kDefaultSplitInterval;
        if (arguments < 1 || arguments > 2 || !parseWhole(words[1], 1, 21, pieces) ||
            (arguments == 2 && !parseWhole(words[2], 0, 60000, command.interval)))
            return usage("split N [MS] (N 1..21, MS 0..60000)");
        command.verb = Command::Verb::Split;
        command.number = pieces;
    } else if (verb == u"send") {
        // The text is everything after "send ", blanks included.
        const qsizetype space = trimmed.indexOf(u' ');
        const QString text = space < 0 ? QString() : trimmed.mid(space + 1);
        if (text.isEmpty())
            return usage("send TEXT");
        if (MaybeFailure failure = unescape(text, command.bytes))
            return failure;
        command.verb = Command::Verb::Send;
    } else {
        struct Simple {
            const char16_t *name;
            Command::Verb verb;
        };
        static constexpr Simple simple[] = {
            {u"silent", Command::Verb::Silent}, {u"garbage", Command::Verb::Garbage},
            {u"short", Command::Verb::Short},   {u"cr", Command::Verb::Cr},
            {u"normal", Command::Verb::Normal}, {u"unplug", Command::Verb::Unplug},
            {u"replug", Command::Verb::Replug}, {u"status", Command::Verb::Status},
            {u"quit", Command::Verb::Quit},
        };
        for (const Simple &entry : simple) {
            if (verb == QStringView(entry.name)) {
                if (arguments != 0) {
                    return Failure{QStringLiteral("%1 takes no arguments").arg(verb), {}};
                }
                command.verb = entry.verb;
                return std::nullopt;
            }
        }
        return Failure{QStringLiteral("unknown command \"%1\"").arg(verb), {}};
    }
    return std::nullopt;
}
