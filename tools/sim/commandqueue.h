#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>

class Instrument;

/// Runs command lines in order against the instrument. A "wait MS" holds back the lines after
/// it for that long; "quit" ends the program. Each source (standard input, the scenario file)
/// has its own queue, so a wait in one does not hold back the other.
class CommandQueue final : public QObject {
    Q_OBJECT

public:
    /// answer receives the answer line of every command (blank lines and comments get none).
    CommandQueue(Instrument &instrument, std::function<void(const QString &)> answer,
                 QObject *parent = nullptr);

    void append(const QString &line);

signals:
    void quitRequested();

private:
    void runPending();

    Instrument &m_instrument;
    std::function<void(const QString &)> m_answer;
    std::deque<QString> m_lines;
    bool m_waiting = false;
};
