#pragma once

#include <QString>

struct SharedState;
class CommOutput;

/// Poll step of a scan tick: when the port is ready, hands the command to the port and empties
/// RxBuffer, so the reply to this poll starts in an empty buffer. Also counts the polls since
/// the last decoded frame: after ten without one, the readings go invalid.
void pollStep(SharedState &state, CommOutput &port, const QString &command);

/// Receive handler: appends the received text to RxBuffer and decodes the first complete frame
/// after the poll into the readings.
void receiveText(SharedState &state, const QString &input);

/// The port was lost (device unplugged): no more polls, and the readings are invalid.
void markPortLost(SharedState &state);
