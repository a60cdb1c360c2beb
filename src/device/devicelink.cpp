#include "device/devicelink.h"

#include "app/sharedstate.h"
#include "app/textrules.h"
#include "device/commoutput.h"

#include <array>
#include <optional>

namespace {

constexpr QChar kFrameEnd = u'\r';
constexpr qsizetype kFrameLength = 20; // without its CR
constexpr qsizetype kFieldLength = 6;
constexpr std::array<qsizetype, 3> kFieldStarts = {0, 7, 14};
/// PollsSinceFrame of stale readings: the count stops one past the limit.
constexpr int kStale = kStalePolls + 1;

/// A field is a decimal number with blanks before or after it, nothing else: no tabs or line
/// feeds, no blanks inside the number, at least one digit.
bool isPaddedNumber(QStringView field)
{
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && field[begin] == u' ')
        ++begin;
    while (end > begin && field[end - 1] == u' ')
        --end;
    const QStringView number = field.sliced(begin, end - begin);
    // isDecimalNumber trims every kind of white space; only blanks are padding here.
    return !number.isEmpty() && !number.front().isSpace() && !number.back().isSpace() &&
           isDecimalNumber(number);
}

/// One channel of a frame: the raw count, and the reading when it is valid.
struct Channel {
    int16_t raw = 0;
    std::optional<float> reading;
};

/// Rounds the field to its raw count (saturated when out of range) and converts it. A negative
/// or out-of-range count, or a conversion that is not a finite float, gives no reading.
template <typename Convert> Channel readChannel(QStringView field, Convert convert)
{
    const double number = leadingNumber(field);
    const std::optional<int16_t> raw = toInteger(number);
    if (!raw)
        return {clampToInteger(number), std::nullopt};
    if (*raw < 0)
        return {*raw, std::nullopt};
    return {*raw, toSingle(convert(*raw))};
}

void store(const Channel &channel, int16_t &raw, float &reading, bool &valid)
{
    raw = channel.raw;
    reading = channel.reading.value_or(0.0f);
    valid = channel.reading.has_value();
}

/// (raw - zero) in single precision, then times range / 10000 in double precision.
double pressure(int16_t raw, float zero, float range)
{
    const float difference = static_cast<float>(raw) - zero;
    return static_cast<double>(difference) * static_cast<double>(range) / 10000.0;
}

} // namespace

LinkEvent pollStep(Readings &readings, bool portReady, CommOutput &port, const QString &command)
{
    if (!portReady)
        return LinkEvent::None;
    port.output(command);
    readings.RxBuffer.clear();
    readings.FrameTakenSincePoll = false;
    if (readings.PollsSinceFrame < kStalePolls) {
        ++readings.PollsSinceFrame;
        return LinkEvent::None;
    }
    // From the limit on, every poll keeps the readings invalid; only the first one reports.
    const bool alreadyStale = readings.PollsSinceFrame >= kStale;
    invalidateReadings(readings);
    return alreadyStale ? LinkEvent::None : LinkEvent::ReadingsStale;
}

LinkEvent receiveText(Readings &readings, const CalibrationConstants &calibration,
                      const QString &input)
{
    // Pieces completed before this text were examined when their CR arrived.
    qsizetype pieceStart = readings.RxBuffer.lastIndexOf(kFrameEnd) + 1;
    readings.RxBuffer += input;
    if (readings.FrameTakenSincePoll)
        return LinkEvent::None;
    const bool stale = readings.PollsSinceFrame >= kStale;
    const QStringView buffer(readings.RxBuffer);
    for (qsizetype end = buffer.indexOf(kFrameEnd, pieceStart); end >= 0;
         end = buffer.indexOf(kFrameEnd, pieceStart)) {
        if (decodeFrame(readings, calibration, buffer.sliced(pieceStart, end - pieceStart)))
            return stale ? LinkEvent::ReadingsBack : LinkEvent::None;
        pieceStart = end + 1;
    }
    return LinkEvent::None;
}

bool decodeFrame(Readings &readings, const CalibrationConstants &calibration, QStringView piece)
{
    if (piece.size() != kFrameLength)
        return false;
    std::array<QStringView, 3> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fields[i] = piece.sliced(kFieldStarts[i], kFieldLength);
        if (!isPaddedNumber(fields[i]))
            return false;
    }

    const Channel temp = readChannel(fields[0], [&](int16_t raw) {
        const float difference = static_cast<float>(raw) - calibration.TempZero;
        return static_cast<double>(difference) / 10.0;
    });
    const Channel p1 = readChannel(fields[1], [&](int16_t raw) {
        return pressure(raw, calibration.CalZero[0], calibration.CalRange[0]);
    });
    const Channel p2 = readChannel(fields[2], [&](int16_t raw) {
        return pressure(raw, calibration.CalZero[1], calibration.CalRange[1]);
    });
    store(temp, readings.RawTemp, readings.BathTemp, readings.BathTempValid);
    store(p1, readings.RawPressure1, readings.Pressure1, readings.Pressure1Valid);
    store(p2, readings.RawPressure2, readings.Pressure2, readings.Pressure2Valid);

    readings.FrameTakenSincePoll = true;
    readings.PollsSinceFrame = 0;
    return true;
}

void invalidateReadings(Readings &readings)
{
    readings.BathTemp = 0;
    readings.Pressure1 = 0;
    readings.Pressure2 = 0;
    readings.BathTempValid = false;
    readings.Pressure1Valid = false;
    readings.Pressure2Valid = false;
    readings.PollsSinceFrame = kStale;
}
