#pragma once

#include <QByteArray>
#include <QString>

/// A pseudo-terminal in raw mode whose slave side is reached through a symbolic link, the way a
/// serial adapter appears as a device file. The simulator keeps a slave descriptor open itself,
/// so reading the master never fails while no client has the port open.
class PseudoTerminal {
public:
    explicit PseudoTerminal(QString linkPath);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    /// Creates the pseudo-terminal and points the link at its slave. A symbolic link already at
    /// the path is replaced; any other file there is an error. On failure errorString() says why.
    bool open();
    /// Removes the link and closes both sides: a client holding the port sees it hang up.
    void close();
    bool isOpen() const { return m_master >= 0; }

    /// The master side, non-blocking: what clients write is read here.
    int masterDescriptor() const { return m_master; }
    QString linkPath() const { return m_linkPath; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    /// Writes to the master side without blocking; bytes that do not fit are dropped.
    void write(const QByteArray &bytes);

private:
    bool fail(const QString &what);

    QString m_linkPath;
    QString m_slavePath;
    QString m_error;
    int m_master = -1;
    int m_slave = -1;
};
