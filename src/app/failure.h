#pragma once

#include <QString>

#include <optional>

/// Why something could not be done, in words fit for the message box that reports it, and
/// the file it concerns where there is one.
struct Failure {
    QString reason;
    QString path;
};

/// The result of a routine that can fail: nothing on success, otherwise why not.
using MaybeFailure = std::optional<Failure>;
