// Fuzzes the number rules of src/app/textrules.h. The input is read as a text (Latin-1) and
// its first bytes as a double, a float and an int. Beside "no crash, no undefined behaviour",
// each rule must keep the invariants below, checked against the C library where one applies.
#include "app/textrules.h"

#include <QStringList>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

[[noreturn]] void fail(const char *what, const QString &text = {}, double a = 0, double b = 0)
{
    std::fprintf(stderr, "fuzz_textrules: %s \"%s\" %.17g %.17g\n", what, qPrintable(text), a, b);
    std::abort();
}

template <typename T> T take(const uint8_t *data, size_t size)
{
    T value{};
    std::memcpy(&value, data, std::min(size, sizeof value));
    return value;
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

/// A decimal number accepted by isDecimalNumber reads as the C library reads it. Numbers that
/// fall below the smallest normal double may read as 0.
void checkLeadingNumber(const QString &text)
{
    (void)leadingNumber(text); // any text: no crash, no undefined behaviour
    const QString trimmed = text.trimmed();
    if (!isDecimalNumber(trimmed))
        return;
    const std::string latin = trimmed.toStdString();
    const double expected = std::strtod(latin.c_str(), nullptr);
    const double read = leadingNumber(trimmed);
    if (read == expected)
        return;
    if (std::fabs(expected) < DBL_MIN && read == 0)
        return;
    fail("leadingNumber differs from strtod", trimmed, read, expected);
}

/// The print form: a sign place (" " or "-"), a number without its leading "0" before the
/// point, a blank; it reads back within seven significant digits.
void checkPrintForm(float value)
{
    const QString text = printForm(value);
    const QString general = generalText(value);
    if (!std::isfinite(value))
        return;
    if (text.size() < 3 || !(text.front() == u' ' || text.front() == u'-') || text.back() != u' ')
        fail("printForm shape", text, value);
    const QString number = text.mid(1, text.size() - 2);
    if (number.startsWith(QStringLiteral("0.")) || number.isEmpty())
        fail("printForm keeps a leading 0", text, value);
    int significant = 0;
    bool leading = true;
    for (QChar c : number) {
        if (c == u'E')
            break;
        if (!isDigit(c) && c != u'.')
            fail("printForm holds a stray character", text, value);
        if (isDigit(c) && !(leading && c == u'0')) {
            leading = false;
            ++significant;
        }
    }
    if (significant > 7)
        fail("printForm has more than seven digits", text, value);
    const double back = leadingNumber(text);
    if (std::fabs(back - double(value)) > std::fabs(double(value)) * 5.0000001e-7)
        fail("printForm does not read back", text, back, value);
    if (leadingNumber(general) != back)
        fail("generalText and printForm differ", general, leadingNumber(general), back);
}

void checkPrintFormInteger(int value)
{
    const QString text = printFormInteger(value);
    if (text.back() != u' ' || (value >= 0) != (text.front() == u' '))
        fail("printFormInteger shape", text, value);
    if (leadingNumber(text) != double(value))
        fail("printFormInteger does not read back", text, leadingNumber(text), value);
}

/// Rounding a half to the even neighbour, the range -32768..32767, the nearest bound.
void checkIntegers(double value)
{
    const std::optional<int16_t> whole = toInteger(value);
    const int16_t clamped = clampToInteger(value);
    if (std::isnan(value)) {
        if (whole || clamped != 0)
            fail("not a number gave a whole number", {}, value);
        return;
    }
    const bool inRange = value >= -32768.5 && value < 32767.5;
    if (whole.has_value() != inRange)
        fail("toInteger range", {}, value, whole.value_or(0));
    if (whole) {
        const double distance = std::fabs(double(*whole) - value);
        if (distance > 0.5 || (distance == 0.5 && *whole % 2 != 0))
            fail("toInteger rounding", {}, value, *whole);
        if (clamped != *whole)
            fail("clampToInteger differs in range", {}, value, clamped);
    } else if (clamped != (value < 0 ? -32768 : 32767)) {
        fail("clampToInteger bound", {}, value, clamped);
    }
}

void checkSingles(double value)
{
    const std::optional<float> single = toSingle(value);
    const float clamped = clampToSingle(value);
    const bool fits = std::isfinite(value) && std::fabs(value) <= FLT_MAX;
    if (single.has_value() != fits)
        fail("toSingle range", {}, value);
    if (single && (*single != static_cast<float>(value) || clamped != *single))
        fail("toSingle value", {}, value, *single);
    if (std::isnan(value) && clamped != 0)
        fail("clampToSingle of not a number", {}, value, clamped);
    if (!single && !std::isnan(value) && clamped != (value < 0 ? -FLT_MAX : FLT_MAX))
        fail("clampToSingle bound", {}, value, clamped);
}

/// "-?digits.digit", the value rounded to a tenth (a half away from zero), with a minus sign
/// exactly when the value is negative ("-0.0" for a negative value that rounds to zero).
void checkOneDecimal(float value)
{
    const QString text = formatOneDecimal(value);
    if (!std::isfinite(value))
        return;
    const double back = leadingNumber(text);
    if (std::fabs(value) >= 1e15) {
        if (float(back) != value)
            fail("formatOneDecimal of a large value", text, back, value);
        return;
    }
    const qsizetype point = text.indexOf(u'.');
    const qsizetype digitsFrom = text.startsWith(u'-') ? 1 : 0;
    if (point < digitsFrom + 1 || point != text.size() - 2 || !isDigit(text.back()))
        fail("formatOneDecimal shape", text, value);
    if (text.startsWith(u'-') != (value < 0))
        fail("formatOneDecimal sign", text, value);
    for (qsizetype i = digitsFrom; i < point; ++i)
        if (!isDigit(text[i]))
            fail("formatOneDecimal shape", text, value);
    if (std::fabs(back - double(value)) > 0.05 + std::fabs(double(value)) * 1e-15)
        fail("formatOneDecimal value", text, back, value);
}

/// Three parts, each "-" and two digits or at least two digits (hours) / exactly two
/// (minutes, seconds), truncated toward zero: together they give the seconds back.
void checkClockText(int seconds)
{
    const QString text = clockText(seconds);
    const QStringList parts = text.split(u':');
    if (parts.size() != 3)
        fail("clockText parts", text, seconds);
    long long total = 0;
    const long long weights[] = {3600, 60, 1};
    for (int i = 0; i < 3; ++i) {
        const QString &part = parts[i];
        const bool negative = part.startsWith(u'-');
        const QString digits = negative ? part.mid(1) : part;
        if (digits.size() < 2 || (i > 0 && digits.size() != 2))
            fail("clockText digits", text, seconds);
        for (QChar c : digits)
            if (!isDigit(c))
                fail("clockText character", text, seconds);
        const long long value = digits.toLongLong();
        if (negative && value == 0)
            fail("clockText negative zero", text, seconds);
        if (value != 0 && negative != (seconds < 0))
            fail("clockText sign", text, seconds);
        if (i > 0 && value >= 60)
            fail("clockText part beyond 59", text, seconds);
        total += (negative ? -value : value) * weights[i];
    }
    if (total != seconds)
        fail("clockText value", text, double(total), seconds);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    checkLeadingNumber(text);
    (void)isDecimalNumber(text);

    const auto asDouble = take<double>(data, size);
    const auto asFloat = take<float>(data, size);
    const auto asInt = take<int>(data, size);
    // The text's own number as well, so that values near the rules' edges are reached.
    const double parsed = leadingNumber(text);
    for (double value : {asDouble, parsed}) {
        checkIntegers(value);
        checkSingles(value);
    }
    for (float value : {asFloat, clampToSingle(parsed)}) {
        checkPrintForm(value);
        checkOneDecimal(value);
    }
    checkPrintFormInteger(asInt);
    checkClockText(asInt);
    if (const auto whole = toInteger(parsed))
        checkClockText(*whole);
    return 0;
}
