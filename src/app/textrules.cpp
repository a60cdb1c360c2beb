#include "app/textrules.h"

#include <QDateTime>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool isSkipped(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

/// Decimal exponent of the leading significant digit, or nothing when every digit is zero.
std::optional<long> magnitude(const std::string &intDigits, const std::string &fracDigits,
                              long exponent)
{
    const auto firstInt = intDigits.find_first_not_of('0');
    if (firstInt != std::string::npos)
        return static_cast<long>(intDigits.size() - firstInt) - 1 + exponent;
    const auto firstFrac = fracDigits.find_first_not_of('0');
    if (firstFrac != std::string::npos)
        return -static_cast<long>(firstFrac) - 1 + exponent;
    return std::nullopt;
}

QString twoDigitPart(int part)
{
    if (part < 0)
        return QStringLiteral("-") + QStringLiteral("%1").arg(-part, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1").arg(part, 2, 10, QLatin1Char('0'));
}

} // namespace

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    auto skip = [&] {
        while (i < size && isSkipped(text[i]))
            ++i;
    };
    auto takeDigits = [&](std::string &out) {
        for (skip(); i < size && isDigit(text[i]); skip())
            out.push_back(static_cast<char>(text[i++].unicode()));
    };

    skip();
    bool negative = false;
    if (i < size && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::string intDigits;
    std::string fracDigits;
    takeDigits(intDigits);
    skip();
    if (i < size && text[i] == u'.') {
        ++i;
        takeDigits(fracDigits);
    }
    if (intDigits.empty() && fracDigits.empty())
        return 0;

    long exponent = 0;
    skip();
    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        while (j < size && isSkipped(text[j]))
            ++j;
        bool expNegative = false;
        if (j < size && (text[j] == u'-' || text[j] == u'+')) {
            expNegative = text[j] == u'-';
            ++j;
        }
        std::string expDigits;
        i = j;
        takeDigits(expDigits);
        for (char d : expDigits)
            exponent = std::min(exponent * 10 + (d - '0'), 100000L);
        if (expNegative)
            exponent = -exponent;
    }

    const std::string literal = (intDigits.empty() ? std::string("0") : intDigits) + "." +
                                (fracDigits.empty() ? std::string("0") : fracDigits) + "e" +
                                std::to_string(exponent);
    double value = 0;
    const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const auto mag = magnitude(intDigits, fracDigits, exponent);
        value = (mag && *mag > 0) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

bool isDecimalNumber(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    qsizetype i = 0;
    const qsizetype size = trimmed.size();
    auto digits = [&] {
        const qsizetype start = i;
        while (i < size && isDigit(trimmed[i]))
            ++i;
        return i - start;
    };
    if (i < size && (trimmed[i] == u'-' || trimmed[i] == u'+'))
        ++i;
    qsizetype mantissa = digits();
    if (i < size && trimmed[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < size && (trimmed[i] == u'e' || trimmed[i] == u'E')) {
        ++i;
        if (i < size && (trimmed[i] == u'-' || trimmed[i] == u'+'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == size;
}

std::optional<int16_t> toInteger(double value)
{
    const double rounded = std::nearbyint(value); // default rounding: a half goes to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

int16_t clampToInteger(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded < -32768.0)
        return -32768;
    if (rounded > 32767.0)
        return 32767;
    return static_cast<int16_t>(rounded);
}

std::optional<float> toSingle(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

float clampToSingle(double value)
{
    if (std::isnan(value))
        return 0;
    const double largest = std::numeric_limits<float>::max();
    if (value > largest)
        return std::numeric_limits<float>::max();
    if (value < -largest)
        return std::numeric_limits<float>::lowest();
    return static_cast<float>(value);
}

QString generalText(float value)
{
    if (value == 0)
        return QStringLiteral("0"); // also for -0
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 7);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    return text.toUpper(); // "1.5e+07" -> "1.5E+07", "inf" -> "INF"
}

QString printForm(float value)
{
    QString text = generalText(value);
    const bool negative = text.startsWith(u'-');
    if (negative)
        text.remove(0, 1);
    if (text.startsWith(QStringLiteral("0.")))
        text.remove(0, 1);
    return (negative ? QStringLiteral("-") : QStringLiteral(" ")) + text + u' ';
}

QString printFormInteger(int value)
{
    return (value < 0 ? QString() : QStringLiteral(" ")) + QString::number(value) + u' ';
}

QString formatOneDecimal(float value)
{
    // A float times 10 is exact in a double, so this rounds the true value, a half away from
    // zero as a reader expects (0.25 shows 0.3). The sign is the value's own, so a negative
    // value that rounds to zero shows "-0.0".
    const double tenths = std::round(static_cast<double>(value) * 10.0);
    if (std::fabs(tenths) < 1e15) {
        const auto whole = static_cast<long long>(std::fabs(tenths));
        const QString text = QString::number(whole / 10) + u'.' + QString::number(whole % 10);
        return (value < 0 ? QStringLiteral("-") : QString()) + text;
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

QString formatDate(const QDateTime &time)
{
    return time.toString(QStringLiteral("dd-MM-yyyy"));
}

QString formatTime(const QDateTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString clockText(int seconds)
{
    const int hours = seconds / 3600;
    const int minutes = (seconds / 60) % 60;
    const int rest = seconds % 60;
    return twoDigitPart(hours) + u':' + twoDigitPart(minutes) + u':' + twoDigitPart(rest);
}
