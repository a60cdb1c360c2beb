#pragma once

#include <QDateTime>

/// The wall clock, to whole seconds. Everything that reads the time goes through one.
class Clock {
public:
    virtual ~Clock() = default;
    /// The current local date and time, milliseconds dropped.
    virtual QDateTime now() const = 0;
};

/// The system's clock.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

/// A clock that stands still until it is set or advanced; for tests and benchmarks.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start);
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &time);
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
