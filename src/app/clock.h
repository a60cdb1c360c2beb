#pragma once

#include <QDateTime>

/// The wall clock, to whole seconds for the test logic, and to the millisecond for the moment
/// a decision is recorded. Everything that reads the time goes through one.
class Clock {
public:
    virtual ~Clock() = default;
    /// The current local date and time, milliseconds dropped.
    virtual QDateTime now() const = 0;
    /// The current local date and time with its milliseconds.
    virtual QDateTime preciseNow() const = 0;
};

/// The system's clock.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    QDateTime preciseNow() const override;
};

/// A clock that stands still until it is set or advanced; for tests and benchmarks.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start);
    QDateTime now() const override;
    QDateTime preciseNow() const override { return m_now; }
    /// Sets the time, milliseconds included.
    void set(const QDateTime &time) { m_now = time; }
    void advance(int seconds) { m_now = m_now.addSecs(seconds); }
    void advanceMs(int milliseconds) { m_now = m_now.addMSecs(milliseconds); }

private:
    QDateTime m_now;
};
