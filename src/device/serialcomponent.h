#pragma once

#include "device/commoutput.h"

#include <QObject>
#include <QString>

class QSerialPort;

/// The serial port of the instrument: 9600 baud, 8 data bits, no parity, 1 stop bit, bytes
/// taken as Latin-1 text. Raises onComm on the user-interface thread when characters arrive;
/// on the first read, write or device error it closes the port and raises portLost once.
class SerialComponent final : public QObject, public CommOutput {
    Q_OBJECT

public:
    /// Event code of onComm for received characters.
    static constexpr int kEventReceive = 2;

    explicit SerialComponent(QObject *parent = nullptr);
    ~SerialComponent() override;

    /// The port number taken by the next open.
    void setCommPort(int portNumber);
    int commPort() const { return m_portNumber; }

    /// Opens the port. On failure returns false and errorString() tells why.
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
    /// The open port failed (unplugged, vanished); it has been closed.
    void portLost(const QString &reason);

private:
    void handleReadyRead();
    void handleError();

    QSerialPort *m_port;
    int m_portNumber = 0;
    int m_event = 0;
    bool m_closePending = false;
    QString m_error;
};
