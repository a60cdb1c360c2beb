#pragma once

#include "command.h"
#include "pseudoterminal.h"

#include <QElapsedTimer>
#include <QObject>

#include <array>

class QSocketNotifier;
class QTimer;

/// The simulated instrument behind a pseudo-terminal: answers every poll "?Z" CR with one frame
/// of its three raw values, changes the values and injects faults on command.
class Instrument final : public QObject {
    Q_OBJECT

public:
    /// What a poll is answered with.
    enum class Reply { Frame, Nothing, Garbage, Short, LoneCr };

    Instrument(const QString &linkPath, const std::array<double, 3> &values,
               QObject *parent = nullptr);
    ~Instrument() override;

    /// Opens the pseudo-terminal and makes the link. On failure errorString() says why.
    bool plug();
    QString errorString() const { return m_terminal.errorString(); }
    QString linkPath() const { return m_terminal.linkPath(); }

    /// Carries out a command other than wait and quit; returns its answer line ("ok",
    /// "ok temp ... " for status, or "error ...").
    QString execute(const Command &command);

    /// The reply to a poll in its normal form: three six-character fields and CR.
    QByteArray frame() const;

private:
    void readPolls();
    void answerPoll();
    void advanceRamps();
    int rawValue(int channel) const;

    PseudoTerminal m_terminal;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_rampTimer;
    QElapsedTimer m_rampClock;
    QByteArray m_received;

    std::array<double, 3> m_values;
    std::array<double, 3> m_rates{};
    Reply m_reply = Reply::Frame;
    int m_delay = 0;
    int m_pieces = 1;
    int m_pieceInterval = 0;
    long m_polls = 0;
};
