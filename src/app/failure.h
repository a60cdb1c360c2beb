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

/// A value, or why it could not be had: what a routine that reads something returns.
template <typename T> class [[nodiscard]] Fallible {
public:
    Fallible(T value) : m_value(std::move(value)) {}
    Fallible(Failure failure) : m_failure(std::move(failure)) {}

    bool ok() const { return m_value.has_value(); }
    /// The failure; empty when there is a value.
    const MaybeFailure &failure() const { return m_failure; }
    /// The value; only when ok().
    T &value() { return *m_value; }
    const T &value() const { return *m_value; }
    T &operator*() { return *m_value; }
    const T &operator*() const { return *m_value; }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }

private:
    std::optional<T> m_value;
    MaybeFailure m_failure;
};
