#pragma once

#include <QString>

#include <optional>
#include <utility>

/// Why something could not be done, in words fit for the message box that reports it, and
/// the file it concerns where there is one.
struct Failure {
    QString reason;
    QString path;
};

/// The result of a routine that can fail: nothing on success, otherwise why not.
using MaybeFailure = std::optional<Failure>;

/// The result of a routine that gives a value or fails: the value, or why there is none.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    /// The value; only when ok().
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }
    /// Why there is no value; empty when ok().
    const MaybeFailure &failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    MaybeFailure m_failure;
};
