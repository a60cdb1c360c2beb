#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

/// Exit statuses of kestrava-records.
inline constexpr int kFailed = 1;
inline constexpr int kUsageError = 2;

/// Seconds a command that reads the shared database waits for an answer of the server before
/// it gives up: a server frozen after it took the connection answers nothing, and a blocked
/// driver call cannot be timed out from inside.
inline constexpr int kReadWatchdogSeconds = 25;

/// Writes the text to standard output; an error (exit status 1) when it cannot be written.
int print(const QString &text);
int print(const QByteArray &bytes);
/// "kestrava-records: TEXT" and the hint to --help on standard error; exit status 2.
int usageError(const QString &text);
/// "kestrava-records: PATH: REASON" on standard error; exit status 1.
int failed(const Failure &failure);

/// Ends the process with exit status 1 and the line "kestrava-records: the shared database did
/// not answer within N s" once `seconds` have passed, unless armed again or disarmed (0)
/// before.
void armWatchdog(int seconds);
