#include "instrument.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kRampTick = 20; // ms
constexpr qsizetype kMaxPending = 1024;

/// Twenty bytes that no field can read as a number, then CR: a reply of the right length
/// full of line noise.
const QByteArray kGarbage = QByteArrayLiteral("#@!~%^&*xq\x01\x7f\xfe\xff{}[]<>\r");

const std::array<const char *, 3> kChannelNames = {"temp", "p1", "p2"};

} // namespace

Instrument::Instrument(const QString &linkPath, const std::array<double, 3> &values,
                       QObject *parent)
    : QObject(parent), m_terminal(linkPath), m_rampTimer(new QTimer(this)), m_values(values)
{
    m_rampTimer->setInterval(kRampTick);
    connect(m_rampTimer, &QTimer::timeout, this, &Instrument::advanceRamps);
}

Instrument::~Instrument()
{
    // The notifier goes before the descriptor it watches is closed.
    delete m_notifier;
}

bool Instrument::plug()
{
    if (!m_terminal.open())
        return false;
    m_received.clear();
    m_notifier = new QSocketNotifier(m_terminal.masterDescriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Instrument::readPolls);
    return true;
}

void Instrument::readPolls()
{
    char chunk[256];
    for (;;) {
        const ssize_t n = ::read(m_terminal.masterDescriptor(), chunk, sizeof chunk);
        if (n > 0) {
            m_received.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The slave side is held open by us, so this is unexpected: stop watching rather than
        // spin on a descriptor that stays readable.
        std::perror("kestrava-sim: reading the pseudo-terminal");
        m_notifier->setEnabled(false);
        break;
    }
    // The text is cut at each CR; a piece ending in "?Z" is a poll, anything else is ignored.
    for (qsizetype end = m_received.indexOf('\r'); end >= 0; end = m_received.indexOf('\r')) {
        if (m_received.left(end).endsWith("?Z"))
            answerPoll();
        m_received.remove(0, end + 1);
    }
    if (m_received.size() > kMaxPending)
        m_received.clear();
}

void Instrument::answerPoll()
{
    ++m_polls;
    QByteArray reply;
    switch (m_reply) {
    case Reply::Frame:
        reply = frame();
        break;
    case Reply::Nothing:
        return;
    case Reply::Garbage:
        reply = kGarbage;
        break;
    case Reply::Short:
        reply = frame().left(13) + '\r';
        break;
    case Reply::LoneCr:
        reply = QByteArrayLiteral("\r");
        break;
    }
    const qsizetype pieces = std::min<qsizetype>(m_pieces, reply.size());
    for (qsizetype i = 0; i < pieces; ++i) {
        const qsizetype from = reply.size() * i / pieces;
        const qsizetype to = reply.size() * (i + 1) / pieces;
        const QByteArray piece = reply.mid(from, to - from);
        const int after = m_delay + static_cast<int>(i) * m_pieceInterval;
        if (after == 0)
            m_terminal.write(piece);
        else
            QTimer::singleShot(after, this, [this, piece] { m_terminal.write(piece); });
    }
}

int Instrument::rawValue(int channel) const
{
    return static_cast<int>(std::lround(m_values[channel]));
}

QByteArray Instrument::frame() const
{
    // %06d pads with zeros after the sign: 250 -> 000250, -1 -> -00001.
    return QString::asprintf("%06d %06d %06d\r", rawValue(0), rawValue(1), rawValue(2)).toLatin1();
}

void Instrument::advanceRamps()
{
    const double seconds = static_cast<double>(m_rampClock.restart()) / 1000.0;
    bool moving = false;
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        if (m_rates[i] == 0)
            continue;
        moving = true;
        m_values[i] =
            std::clamp(m_values[i] + m_rates[i] * seconds, double(kLowestRaw), double(kHighestRaw));
    }
    if (!moving)
        m_rampTimer->stop();
}

QString Instrument::execute(const Command &command)
{
    const QString ok = QStringLiteral("ok");
    switch (command.verb) {
    case Command::Verb::Set:
        m_rates[command.channel] = 0;
        m_values[command.channel] = command.number;
        return ok;
    case Command::Verb::Ramp:
        if (!m_rampTimer->isActive()) {
            m_rampClock.start();
            m_rampTimer->start();
        }
        m_rates[command.channel] = command.number;
        return ok;
    case Command::Verb::Vent:
        m_rates[command.channel] = 0;
        m_values[command.channel] = 0;
        return ok;
    case Command::Verb::Silent:
        m_reply = Reply::Nothing;
        return ok;
    case Command::Verb::Garbage:
        m_reply = Reply::Garbage;
        return ok;
    case Command::Verb::Short:
        m_reply = Reply::Short;
        return ok;
    case Command::Verb::Cr:
        m_reply = Reply::LoneCr;
        return ok;
    case Command::Verb::Delay:
        m_delay = static_cast<int>(command.number);
        return ok;
    case Command::Verb::Split:
        m_pieces = static_cast<int>(command.number);
        m_pieceInterval = command.interval;
        return ok;
    case Command::Verb::Normal:
        m_reply = Reply::Frame;
        m_delay = 0;
        m_pieces = 1;
        m_pieceInterval = 0;
        return ok;
    case Command::Verb::Send:
        if (!m_terminal.isOpen())
            return QStringLiteral("error unplugged");
        m_terminal.write(command.bytes);
        return ok;
    case Command::Verb::Unplug:
        if (!m_terminal.isOpen())
            return QStringLiteral("error already unplugged");
        delete m_notifier;
        m_notifier = nullptr;
        m_terminal.close();
        return ok;
    case Command::Verb::Replug:
        if (m_terminal.isOpen())
            return QStringLiteral("error already plugged in");
        return plug() ? ok : QStringLiteral("error ") + m_terminal.errorString();
    case Command::Verb::Status: {
        QString answer = ok;
        for (std::size_t i = 0; i < m_values.size(); ++i)
            answer +=
                QStringLiteral(" %1 %2").arg(QLatin1String(kChannelNames[i])).arg(rawValue(int(i)));
        return answer + QStringLiteral(" polls %1 %2")
                            .arg(m_polls)
                            .arg(m_terminal.isOpen() ? QStringLiteral("plugged")
                                                     : QStringLiteral("unplugged"));
    }
    case Command::Verb::Wait:
    case Command::Verb::Quit:
        break;
    }
    return QStringLiteral("error not a command for the instrument");
}
