#include "app/clock.h"

#include <QTime>

namespace {
QDateTime wholeSeconds(QDateTime time)
{
    const QTime t = time.time();
    time.setTime(QTime(t.hour(), t.minute(), t.second()));
    return time;
}
} // namespace

QDateTime SystemClock::now() const
{
    return wholeSeconds(QDateTime::currentDateTime());
}

ManualClock::ManualClock(QDateTime start) : m_now(wholeSeconds(std::move(start))) {}

void ManualClock::set(const QDateTime &time)
{
    m_now = wholeSeconds(time);
}
