#include "output.h"

#include <QDir>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

/// The watchdog's line, made when it is armed: the signal handler may only write it.
char g_watchdogLine[160];
size_t g_watchdogLength = 0;

void watchdogExpired(int)
{
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, g_watchdogLine, g_watchdogLength);
    ::_exit(kFailed);
}

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int print(const QByteArray &bytes)
{
    write(stdout, bytes);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return failed(
            {QString::fromLocal8Bit(std::strerror(errno)), QStringLiteral("standard output")});
    return 0;
}

int print(const QString &text)
{
    return print(text.toUtf8());
}

int usageError(const QString &text)
{
    write(stderr, QStringLiteral("kestrava-records: %1\nTry 'kestrava-records --help'.\n")
                      .arg(text)
                      .toUtf8());
    return kUsageError;
}

int failed(const Failure &failure)
{
    const QString where = failure.path.isEmpty()
                              ? QString()
                              : QDir::toNativeSeparators(failure.path) + QStringLiteral(": ");
    write(stderr, QStringLiteral("kestrava-records: %1%2\n").arg(where, failure.reason).toUtf8());
    return kFailed;
}

void armWatchdog(int seconds)
{
    if (seconds > 0) {
        const int length = std::snprintf(
            g_watchdogLine, sizeof g_watchdogLine,
            "kestrava-records: the shared database did not answer within %d s\n", seconds);
        g_watchdogLength = size_t(std::max(length, 0));
        std::signal(SIGALRM, watchdogExpired);
    }
    ::alarm(unsigned(std::max(seconds, 0)));
}
