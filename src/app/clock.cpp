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

QDateTime SystemClock::preciseNow() const
{
    return QDateTime::currentDateTime();
}

ManualClock::ManualClock(QDateTime start) : m_now(std::move(start)) {}

QDateTime ManualClock::now() const
{
    return wholeSeconds(m_now);
}
