// Fuzzes the serial receive path: text arriving in arbitrary chunks, with poll steps and port
// losses between them, as the main window drives the device link. After every step the
// readings must be those of a model written here from the link's documented rules, with its
// own frame decoder: a reading is valid only when it comes from a piece of exactly the frame's
// shape, and its value is that piece's independent decoding.
//
// Input: an optional calibration, then steps.
//   byte 0, bit 0 set: the next 20 bytes are five floats (TempZero, CalZero[0], CalRange[0],
//                      CalZero[1], CalRange[1]); clear: the default calibration.
//   then each step is one byte:
//     0xFF  a poll step (the scan tick)
//     0xFE  the port is lost (as the main window handles portLost)
//     0xFD  the port is back
//     n     (0..0xFC) the next n bytes arrive, as Latin-1 text (while the port is lost,
//           nothing arrives: they are dropped)
#include "app/sharedstate.h"
#include "device/commoutput.h"
#include "device/devicelink.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

constexpr uint8_t kPoll = 0xFF;
constexpr uint8_t kLosePort = 0xFE;
constexpr uint8_t kPortBack = 0xFD;

[[noreturn]] void fail(const char *what, const std::string &detail = {})
{
    std::fprintf(stderr, "fuzz_devicelink: %s %s\n", what, detail.c_str());
    std::abort();
}

class CountingOutput final : public CommOutput {
public:
    void output(const QString &text) override
    {
        if (text != kPollCommand)
            fail("the poll step sent", text.toStdString());
        ++sent;
    }
    int sent = 0;
};

/// One channel as the model expects it.
struct Expected {
    int16_t raw = 0;
    float value = 0;
    bool valid = false;
};

/// A field: blanks, then [sign] digits [. digits] or [sign] . digits, then an optional
/// exponent e/E [sign] digits, then blanks; nothing else. The number's value, by strtod.
std::optional<double> fieldNumber(const std::string &field)
{
    std::size_t begin = field.find_first_not_of(' ');
    if (begin == std::string::npos)
        return std::nullopt;
    const std::size_t end = field.find_last_not_of(' ') + 1;
    const std::string number = field.substr(begin, end - begin);
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < number.size() && number[i] >= '0' && number[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < number.size() && (number[i] == '+' || number[i] == '-'))
        ++i;
    std::size_t mantissa = digits();
    if (i < number.size() && number[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        if (i < number.size() && (number[i] == '+' || number[i] == '-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != number.size())
        return std::nullopt;
    return std::strtod(number.c_str(), nullptr);
}

/// A channel from its field's number: rounded half to even to a 16-bit count (the nearest
/// bound when beyond), valid when the count is in range, not negative, and the conversion
/// gives a finite float.
template <typename Convert> Expected channel(double number, Convert convert)
{
    const double rounded = std::nearbyint(number);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return {static_cast<int16_t>(rounded < 0 ? -32768 : 32767), 0, false};
    const auto raw = static_cast<int16_t>(rounded);
    if (raw < 0)
        return {raw, 0, false};
    const double converted = convert(raw);
    if (!std::isfinite(converted) || std::fabs(converted) > std::numeric_limits<float>::max())
        return {raw, 0, false};
    return {raw, static_cast<float>(converted), true};
}

/// The three channels of a piece (the text before its CR), when it has the frame's shape:
/// 20 characters, numbers in the six-character fields at 1, 8 and 15.
std::optional<std::array<Expected, 3>> decode(const std::string &piece,
                                              const CalibrationConstants &c)
{
    if (piece.size() != 20)
        return std::nullopt;
    std::array<double, 3> numbers{};
    for (std::size_t f = 0; f < 3; ++f) {
        const auto number = fieldNumber(piece.substr(f * 7, 6));
        if (!number)
            return std::nullopt;
        numbers[f] = *number;
    }
    auto pressure = [](int16_t raw, float zero, float range) {
        return double(float(raw) - zero) * double(range) / 10000.0;
    };
    return std::array<Expected, 3>{
        channel(numbers[0], [&](int16_t raw) { return double(float(raw) - c.TempZero) / 10.0; }),
        channel(numbers[1],
                [&](int16_t raw) { return pressure(raw, c.CalZero[0], c.CalRange[0]); }),
        channel(numbers[2],
                [&](int16_t raw) { return pressure(raw, c.CalZero[1], c.CalRange[1]); }),
    };
}

/// The link as its header describes it.
struct Model {
    std::string buffer; // text received since the last poll
    bool taken = false; // a frame was decoded since the last poll
    int pollsSinceFrame = 0;
    bool portReady = true;
    std::array<Expected, 3> channels{};

    void invalidate()
    {
        for (Expected &e : channels) {
            e.value = 0;
            e.valid = false;
        }
    }

    void poll()
    {
        if (!portReady)
            return;
        buffer.clear();
        taken = false;
        if (pollsSinceFrame >= kStalePolls)
            invalidate();
        else
            ++pollsSinceFrame;
    }

    void receive(const std::string &text, const CalibrationConstants &c)
    {
        std::size_t pieceStart = buffer.rfind('\r');
        pieceStart = pieceStart == std::string::npos ? 0 : pieceStart + 1;
        buffer += text;
        if (taken)
            return;
        for (std::size_t end = buffer.find('\r', pieceStart); end != std::string::npos;
             end = buffer.find('\r', pieceStart)) {
            if (const auto frame = decode(buffer.substr(pieceStart, end - pieceStart), c)) {
                channels = *frame;
                taken = true;
                pollsSinceFrame = 0;
                return;
            }
            pieceStart = end + 1;
        }
    }
};

void compare(const char *name, int16_t raw, float value, bool valid, const Expected &e)
{
    // Bit for bit: 0 and -0 are different readings of a field.
    if (valid != e.valid || raw != e.raw || std::memcmp(&value, &e.value, sizeof value) != 0)
        fail(name, "raw " + std::to_string(raw) + " value " + std::to_string(value) + " valid " +
                       std::to_string(valid) + ", expected raw " + std::to_string(e.raw) +
                       " value " + std::to_string(e.value) + " valid " + std::to_string(e.valid));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CalibrationConstants calibration;
    calibration.CalRange[0] = calibration.CalRange[1] = 1000;
    calibration.CalSpan[0] = calibration.CalSpan[1] = 1000;
    calibration.TempSpan = 100;
    size_t at = 0;
    if (size > 0 && (data[at++] & 1) && size - at >= 5 * sizeof(float)) {
        float *targets[] = {&calibration.TempZero, &calibration.CalZero[0],
                            &calibration.CalRange[0], &calibration.CalZero[1],
                            &calibration.CalRange[1]};
        for (float *target : targets) {
            std::memcpy(target, data + at, sizeof(float));
            at += sizeof(float);
        }
    }

    Readings readings;
    Model model;
    CountingOutput port;
    while (at < size) {
        const uint8_t step = data[at++];
        if (step == kPoll) {
            const int before = port.sent;
            pollStep(readings, model.portReady, port, kPollCommand);
            if (port.sent != before + (model.portReady ? 1 : 0))
                fail("a poll step sent the command", model.portReady ? "not" : "without a port");
            model.poll();
            if (model.portReady && !readings.RxBuffer.isEmpty())
                fail("a poll left text in the buffer");
        } else if (step == kLosePort) {
            model.portReady = false;
            invalidateReadings(readings);
            model.invalidate();
        } else if (step == kPortBack) {
            model.portReady = true;
        } else {
            const size_t n = std::min<size_t>(step, size - at);
            const std::string text(reinterpret_cast<const char *>(data + at), n);
            at += n;
            if (!model.portReady)
                continue;
            receiveText(readings, calibration, QString::fromLatin1(text.data(), qsizetype(n)));
            model.receive(text, calibration);
        }
        compare("temperature", readings.RawTemp, readings.BathTemp, readings.BathTempValid,
                model.channels[0]);
        compare("pressure 1", readings.RawPressure1, readings.Pressure1, readings.Pressure1Valid,
                model.channels[1]);
        compare("pressure 2", readings.RawPressure2, readings.Pressure2, readings.Pressure2Valid,
                model.channels[2]);
    }
    return 0;
}
