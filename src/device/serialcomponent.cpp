#include "device/serialcomponent.h"

#include "device/portname.h"

#include <QSerialPort>

SerialComponent::SerialComponent(QObject *parent) : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialComponent::handleReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialComponent::handleError);
}

SerialComponent::~SerialComponent() = default;

void SerialComponent::setCommPort(int portNumber)
{
    m_portNumber = portNumber;
}

bool SerialComponent::open()
{
    const QString device = portDeviceName(m_portNumber);
    if (device.isEmpty()) {
        m_error = tr("Invalid port number %1: ports are numbered 1 to 255.").arg(m_portNumber);
        return false;
    }
    m_port->setPortName(device);
    m_port->setBaudRate(QSerialPort::Baud9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    m_port->setReadBufferSize(0);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = tr("COM %1 (%2): %3").arg(m_portNumber).arg(device, m_port->errorString());
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
    const QString reason = m_port->errorString();
    m_port->clearError();
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            m_closePending = false;
            m_port->close();
            emit portLost(reason);
        },
        Qt::QueuedConnection);
}
