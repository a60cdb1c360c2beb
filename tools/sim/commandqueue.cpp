#include "commandqueue.h"

#include "command.h"
#include "instrument.h"

#include <QTimer>

CommandQueue::CommandQueue(Instrument &instrument, std::function<void(const QString &)> answer,
                           QObject *parent)
    : QObject(parent), m_instrument(instrument), m_answer(std::move(answer))
{
}

void CommandQueue::append(const QString &line)
{
    m_lines.push_back(line);
    runPending();
}

void CommandQueue::runPending()
{
    while (!m_waiting && !m_lines.empty()) {
        const QString line = m_lines.front();
        m_lines.pop_front();
        if (isBlankOrComment(line))
            continue;
        Command command;
        if (MaybeFailure failure = parseCommand(line, command)) {
            m_answer(QStringLiteral("error ") + failure->reason);
            continue;
        }
        if (command.verb == Command::Verb::Quit) {
            m_answer(QStringLiteral("ok"));
            m_lines.clear();
            emit quitRequested();
            return;
        }
        if (command.verb == Command::Verb::Wait) {
            m_waiting = true;
            QTimer::singleShot(static_cast<int>(command.number), this, [this] {
                m_waiting = false;
                m_answer(QStringLiteral("ok"));
                runPending();
            });
            return;
        }
        m_answer(m_instrument.execute(command));
    }
}
