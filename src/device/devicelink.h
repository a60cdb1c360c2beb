#pragma once

#include <QString>

struct SharedState;
class CommOutput;

/// Poll step of a scan tick: when the port is ready, hands the command to the port and empties
/// RxBuffer, so the reply to this poll starts in an empty buffer. Also counts the polls since
/// the last decoded frame: after ten without one, the readings go invalid.
void pollStep(SharedState &state, CommOutput &port, const QString &command);
