#include "app/config.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "app/textrules.h"

#include <QFile>
#include <QStringList>

#include <functional>
#include <type_traits>
#include <vector>

namespace {

constexpr int kValueCount = 16;

/// One numeric line of the file (lines 2 to 16): where its value lives and its default.
struct ConfigLine {
    bool isInteger;
    std::function<void(SharedState &, double)> store;
    std::function<double(const SharedState &)> value;
    double fallback;
};

ConfigLine lineFor(int16_t SharedState::*member, double fallback)
{
    return {true, [member](SharedState &s, double v) { s.*member = static_cast<int16_t>(v); },
            [member](const SharedState &s) { return static_cast<double>(s.*member); }, fallback};
}

/// A line whose value is a field of one of the state's groups.
template <typename Group, typename T>
ConfigLine lineFor(Group SharedState::*group, T Group::*member, double fallback)
{
    return {std::is_same_v<T, int16_t>,
            [=](SharedState &s, double v) { (s.*group).*member = static_cast<T>(v); },
            [=](const SharedState &s) { return static_cast<double>((s.*group).*member); },
            fallback};
}

/// A line whose value is one station's element of a calibration array.
ConfigLine lineFor(PerStation<float> CalibrationConstants::*member, int index, double fallback)
{
    return {false, [=](SharedState &s, double v) { (s.calibration.*member)[index] = float(v); },
            [=](const SharedState &s) { return double((s.calibration.*member)[index]); }, fallback};
}

const std::vector<ConfigLine> &configLines()
{
    using P = TestParameters;
    using C = CalibrationConstants;
    constexpr auto parameters = &SharedState::parameters;
    static const std::vector<ConfigLine> lines = {
        lineFor(&SharedState::CommPort, 1),
        lineFor(parameters, &P::StartPressureLimit, 600),
        lineFor(parameters, &P::LeakFallLimit, 7),
        lineFor(parameters, &P::LeakTestDuration, 600),
        lineFor(parameters, &P::BathFallLimit, 14),
        lineFor(parameters, &P::MainTestDuration, 900),
        lineFor(parameters, &P::MinBathTemp, 100),
        lineFor(&C::CalRange, 0, 1000),
        lineFor(&C::CalRange, 1, 1000),
        lineFor(&C::CalZero, 0, 0),
        lineFor(&C::CalZero, 1, 0),
        lineFor(&C::CalSpan, 0, 1000),
        lineFor(&C::CalSpan, 1, 1000),
        lineFor(&SharedState::calibration, &C::TempZero, 0),
        lineFor(&SharedState::calibration, &C::TempSpan, 100),
    };
    return lines;
}

/// The file's values in order: each line is one value, or several where commas divide it.
QStringList readValues(const QByteArray &content)
{
    QString text = QString::fromLatin1(content);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    QStringList values;
    for (const QString &line : lines) {
        for (const QString &value : line.split(u','))
            values.append(value.trimmed());
        if (values.size() >= kValueCount)
            break;
    }
    return values;
}

/// Converts a value for its line; empty when the text or the number does not fit the line.
std::optional<double> convert(const QString &text, bool isInteger)
{
    if (!isDecimalNumber(text))
        return std::nullopt;
    const double number = leadingNumber(text);
    if (isInteger) {
        if (const auto whole = toInteger(number))
            return *whole;
        return std::nullopt;
    }
    if (const auto single = toSingle(number))
        return *single;
    return std::nullopt;
}

} // namespace

QString configPath(const SharedState &state)
{
    return pathInFolder(state.AppPath, kConfigFileName);
}

void applyConfigDefaults(SharedState &state)
{
    for (const ConfigLine &line : configLines())
        line.store(state, line.fallback);
}

void loadConfig(SharedState &state)
{
    QFile file(configPath(state));
    if (!file.open(QIODevice::ReadOnly)) {
        applyConfigDefaults(state);
        return;
    }
    const QStringList values = readValues(file.readAll());
    if (!values.isEmpty())
        state.ConfigTitle = values.first();
    if (values.size() < kValueCount || file.error() != QFileDevice::NoError) {
        applyConfigDefaults(state);
        return;
    }
    // Convert everything first: a partly good file gives no partial result.
    std::vector<double> numbers;
    for (int i = 1; i < kValueCount; ++i) {
        const auto number = convert(values[i], configLines()[i - 1].isInteger);
        if (!number) {
            applyConfigDefaults(state);
            return;
        }
        numbers.push_back(*number);
    }
    for (int i = 0; i < kValueCount - 1; ++i)
        configLines()[i].store(state, numbers[i]);
}

QByteArray configText(const SharedState &state)
{
    QString text = kConfigHeader + QStringLiteral("\r\n");
    for (const ConfigLine &line : configLines()) {
        const double value = line.value(state);
        text += line.isInteger ? printFormInteger(static_cast<int>(value))
                               : printForm(static_cast<float>(value));
        text += QStringLiteral("\r\n");
    }
    return text.toLatin1();
}

MaybeFailure saveConfig(const SharedState &state)
{
    // Settings are not lost to a folder that is read-only while the file itself is writable.
    return writeFileAtomically(configPath(state), configText(state),
                               WhenNoTemporaryFile::WriteInPlace);
}
