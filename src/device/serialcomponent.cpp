#include "device/serialcomponent.h"

#include "device/portname.h"

#include <QSerialPort>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

/// Whether the device behind an open descriptor has hung up (pulled out, other end closed).
bool hasHungUp(qintptr handle)
{
#ifdef Q_OS_UNIX
    pollfd descriptor{int(handle), 0, 0};
    return ::poll(&descriptor, 1, 0) == 1 && (descriptor.revents & POLLHUP) != 0;
#else
    Q_UNUSED(handle)
    return false;
#endif
}

QString lossReason(QSerialPort::SerialPortError error, const QString &systemText, bool hungUp)
{
    const QString what = error == QSerialPort::ReadError    ? QStringLiteral("read error")
                         : error == QSerialPort::WriteError ? QStringLiteral("write error")
                                                            : QStringLiteral("device unavailable");
    // After a hang-up the system's text says nothing: a read that returns no bytes makes Qt
    // report whatever error code an earlier call left behind.
    return what + QStringLiteral(": ") + (hungUp ? QStringLiteral("hung up") : systemText);
}

} // namespace

SerialComponent::SerialComponent(QObject *parent)
    : QObject(parent), m_port(new QSerialPort(this)), m_retryTimer(new QTimer(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialComponent::handleReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialComponent::handleError);
    m_retryTimer->setInterval(kReconnectIntervalMs);
    connect(m_retryTimer, &QTimer::timeout, this, &SerialComponent::onRetryTick);
}

SerialComponent::~SerialComponent() = default;

void SerialComponent::setCommPort(int portNumber)
{
    m_portNumber = portNumber;
}

bool SerialComponent::open()
{
    m_retryTimer->stop();
    const QString device = portDeviceName(m_portNumber);
    if (device.isEmpty()) {
        m_error = tr("Invalid port number %1: ports are numbered 1 to 255.").arg(m_portNumber);
        return false;
    }
    if (!openDevice(device))
        return false;
    m_device = device;
    return true;
}

bool SerialComponent::openDevice(const QString &device)
{
    m_port->setPortName(device);
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    // At most kReceiveBufferBytes are taken from the system at a time; the rest waits there
    // for the next read, which the receive event makes at once.
    m_port->setReadBufferSize(kReceiveBufferBytes);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        return false;
    }
    m_error.clear();
    m_closePending = false;
    return true;
}

bool SerialComponent::isOpen() const
{
    return m_port->isOpen();
}

void SerialComponent::output(const QString &text)
{
    if (!text.isEmpty() && m_port->isOpen())
        m_port->write(text.toLatin1());
}

QString SerialComponent::input()
{
    return m_port->isOpen() ? QString::fromLatin1(m_port->readAll()) : QString();
}

void SerialComponent::handleReadyRead()
{
    m_event = kEventReceive;
    emit onComm();
}

void SerialComponent::handleError()
{
    const QSerialPort::SerialPortError error = m_port->error();
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (!m_port->isOpen() || m_closePending)
        return;
    m_closePending = true;
    // A vanished device keeps reporting errors in a tight loop while the port stays open, so
    // the first one closes it. The close is queued: the port's own notifier is running now.
    const QString reason = lossReason(error, m_port->errorString(), hasHungUp(m_port->handle()));
    m_port->clearError();
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            m_closePending = false;
            m_port->close();
            m_retryTimer->start();
            emit portLost(reason);
        },
        Qt::QueuedConnection);
}

void SerialComponent::onRetryTick()
{
    // A failed attempt leaves the timer running for the next one.
    if (!openDevice(m_device))
        return;
    m_retryTimer->stop();
    emit reconnected();
}
