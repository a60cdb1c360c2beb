#include "pseudoterminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal(QString linkPath) : m_linkPath(std::move(linkPath)) {}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::fail(const QString &what)
{
    m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    close();
    return false;
}

bool PseudoTerminal::open()
{
    if (isOpen())
        return true;
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail(QStringLiteral("grantpt/unlockpt"));
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);

    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail(m_slavePath);
    // Raw mode: no echo, and CR reaches the other side as CR.
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0)
        return fail(QStringLiteral("tcgetattr"));
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    if (tcsetattr(m_slave, TCSANOW, &settings) != 0)
        return fail(QStringLiteral("tcsetattr"));
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(QStringLiteral("fcntl"));

    const QByteArray link = m_linkPath.toLocal8Bit();
    struct stat existing {};
    if (lstat(link.constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            errno = EEXIST;
            return fail(m_linkPath);
        }
        if (unlink(link.constData()) != 0)
            return fail(m_linkPath);
    }
    if (symlink(name, link.constData()) != 0)
        return fail(m_linkPath);
    m_error.clear();
    return true;
}

void PseudoTerminal::close()
{
    if (m_master < 0 && m_slave < 0)
        return;
    // Remove the link only while it still points at this pseudo-terminal.
    const QByteArray link = m_linkPath.toLocal8Bit();
    char target[128];
    const ssize_t length = readlink(link.constData(), target, sizeof target - 1);
    if (length > 0 && QString::fromLocal8Bit(target, length) == m_slavePath)
        unlink(link.constData());
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
}

void PseudoTerminal::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}
