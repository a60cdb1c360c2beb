#pragma once

#include <QString>
#include <QStringView>

struct CalibrationConstants;
struct Readings;
class CommOutput;

/// Polls that may go unanswered before the readings are taken as stale (one second).
inline constexpr int kStalePolls = 10;

/// Poll step of a scan tick: when the port is ready, hands the command to the port and empties
/// RxBuffer, so the reply to this poll starts in an empty buffer. Also counts the polls since
/// the last decoded frame: once ten polls have gone by without one, this and every later poll
/// step make the three readings invalid until a frame is decoded again.
void pollStep(Readings &readings, bool portReady, CommOutput &port, const QString &command);

/// Receive handler: appends the received text to RxBuffer and decodes the first frame that a
/// CR completes since the last poll. Text is cut at each CR; a piece that is not a frame is
/// skipped and leaves the readings as they were. Later frames before the next poll are ignored.
void receiveText(Readings &readings, const CalibrationConstants &calibration, const QString &input);

/// Decodes one reply piece (the text before its CR) into the raw values, readings and validity
/// flags. A frame is exactly 20 characters whose fields at positions 1-6, 8-13 and 15-20 each
/// hold a decimal number padded only with blanks, before or after it (never inside); the
/// separators are not examined. Returns false, changing nothing, for any other piece.
/// Also resets the staleness count and marks the frame as taken for this poll.
bool decodeFrame(Readings &readings, const CalibrationConstants &calibration, QStringView piece);

/// Sets all three readings to 0 and their validity flags to false.
void invalidateReadings(Readings &readings);
