#pragma once

#include <QString>
#include <QStringView>

struct CalibrationConstants;
struct Readings;
class CommOutput;

/// Polls that may go unanswered before the readings are taken as stale (one second).
inline constexpr int kStalePolls = 10;

/// A change in the link to the instrument. The serial component reports the port's changes;
/// pollStep() and receiveText() report the readings' changes, and None when nothing changed.
enum class LinkEvent {
    None,
    PortLost,      ///< the open port failed and was closed
    Reconnected,   ///< the lost port was opened again
    ReadingsStale, ///< ten polls went unanswered: the readings are invalid from now on
    ReadingsBack,  ///< a frame was decoded after the readings had gone stale or been invalidated
};

/// Poll step of a scan tick: when the port is ready, hands the command to the port and empties
/// RxBuffer, so the reply to this poll starts in an empty buffer. Also counts the polls since
/// the last decoded frame: once ten polls have gone by without one, this and every later poll
/// step make the three readings invalid until a frame is decoded again. Returns ReadingsStale
/// from the first of those poll steps, otherwise None.
LinkEvent pollStep(Readings &readings, bool portReady, CommOutput &port, const QString &command);

/// Receive handler: appends the received text to RxBuffer and decodes the first frame that a
/// CR completes since the last poll. Text is cut at each CR; a piece that is not a frame is
/// skipped and leaves the readings as they were. Later frames before the next poll are ignored.
/// Returns ReadingsBack when the decoded frame ended a staleness, otherwise None.
LinkEvent receiveText(Readings &readings, const CalibrationConstants &calibration,
                      const QString &input);

/// Decodes one reply piece (the text before its CR) into the raw values, readings and validity
/// flags. A frame is exactly 20 characters whose fields at positions 1-6, 8-13 and 15-20 each
/// hold a decimal number padded only with blanks, before or after it (never inside); the
/// separators are not examined. Returns false, changing nothing, for any other piece.
/// Also resets the staleness count and marks the frame as taken for this poll.
bool decodeFrame(Readings &readings, const CalibrationConstants &calibration, QStringView piece);

/// Sets all three readings to 0 and their validity flags to false. The readings count as
/// stale from then on: the next decoded frame is reported as ReadingsBack.
void invalidateReadings(Readings &readings);
