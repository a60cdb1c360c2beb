#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

class QDateTime;

/// The number at the start of a text: blanks, tabs and line feeds are skipped wherever they
/// stand, then an optional sign, digits with an optional "." and fraction, and an optional
/// exponent are taken. "." is always the decimal separator. No number gives 0; a number
/// beyond the range of a double gives an infinity of its sign.
double leadingNumber(QStringView text);

/// Whether the text, without blanks around it, is a whole decimal number and nothing else.
bool isDecimalNumber(QStringView text);

/// Rounds to the nearest whole number, a half to the even neighbour; empty when the result
/// lies outside -32768..32767 or the value is not a number.
std::optional<int16_t> toInteger(double value);

/// Like toInteger, but a result outside the range is the nearest bound (not a number gives 0).
int16_t clampToInteger(double value);

/// The value as a 32-bit float; empty when it is not finite or beyond the float range.
std::optional<float> toSingle(double value);

/// The value as a 32-bit float, a value beyond the range being the largest finite float of its
/// sign (not a number gives 0).
float clampToSingle(double value);

/// Shortest general text of a float with up to 7 significant digits ("600", "7.5", "0.5",
/// "1.5E+07"), as shown in text fields.
QString generalText(float value);

/// Print form of a float, as written to files and charts: " 101.5 ", " .5 ", "-.25 ", " 1E-05 ".
QString printForm(float value);

/// Print form of a whole number: " 1199 ", "-7 ".
QString printFormInteger(int value);

/// The "0.0" display format: "25.0", "1234.6", "-3.5"; a negative value keeps its sign even
/// when it rounds to zero ("-0.0" for -0.04).
QString formatOneDecimal(float value);

/// "dd-mm-yyyy".
QString formatDate(const QDateTime &time);

/// "hh:mm:ss", 24-hour clock.
QString formatTime(const QDateTime &time);

/// Clock text of n seconds: "01:02:05" for 3725, "00:00:-07" for -7. Each part is truncated
/// toward zero, written with at least two digits, a negative part as "-" and two digits.
QString clockText(int seconds);
