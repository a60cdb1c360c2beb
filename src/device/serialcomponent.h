#pragma once

#include "device/commoutput.h"

#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

/// The serial port of the instrument: 9600 baud, 8 data bits, no parity, 1 stop bit, bytes
/// taken as Latin-1 text, a receive buffer of 1024 bytes. Raises onComm on the user-interface
/// thread when characters arrive; one event brings at most a buffer's worth, and more that
/// waited at the port comes with the events after the buffer has been read. So the receiver
/// reads at every event: a full buffer left unread takes nothing more from the port.
///
/// An open port that fails (a read, write or device error, or a hang-up, as when the adapter is
/// pulled out) is closed at the first error and portLost is raised once. From then on the same
/// device is tried again every kReconnectIntervalMs; when it opens, reconnected is raised. A
/// port that open() could not open is not retried: the caller reports that failure.
class SerialComponent final : public QObject, public CommOutput {
    Q_OBJECT

public:
    /// Event code of onComm for received characters.
    static constexpr int kEventReceive = 2;
    /// Milliseconds between attempts to reopen a lost port.
    static constexpr int kReconnectIntervalMs = 2000;
    /// Bytes the receive buffer holds: about five seconds of the instrument's replies.
    static constexpr qint64 kReceiveBufferBytes = 1024;

    explicit SerialComponent(QObject *parent = nullptr);
    ~SerialComponent() override;

    /// The port number taken by the next open.
    void setCommPort(int portNumber);
    int commPort() const { return m_portNumber; }

    /// Opens the port, ending any reconnection under way. On failure returns false and
    /// errorString() tells why: what the system said ("No such file or directory"), or that
    /// the number has no port.
    bool open();
    bool isOpen() const;
    QString errorString() const { return m_error; }

    void output(const QString &text) override;
    /// The code of the event being reported by onComm.
    int commEvent() const { return m_event; }
    /// All characters received and not yet read; reading removes them.
    QString input();

signals:
    void onComm();
    /// The open port failed and has been closed. The reason names the error and what the
    /// system said, or "hung up" when the device or its other end is gone: "read error: hung
    /// up", "write error: Operation not supported".
    void portLost(const QString &reason);
    /// A lost port has been opened again.
    void reconnected();

private:
    bool openDevice(const QString &device);
    void handleReadyRead();
    void handleError();
    void onRetryTick();

    QSerialPort *m_port;
    QTimer *m_retryTimer;
    QString m_device; ///< the device last opened, which a reconnection opens again
    int m_portNumber = 0;
    int m_event = 0;
    bool m_closePending = false;
    QString m_error;
};
