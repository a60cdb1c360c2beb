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

/// One numeric line of the file, in file order (lines 2 to 16).
struct ConfigLine {
    bool isInteger;
    std::function<void(SharedState &, double)> store;
    std::function<double(const SharedState &)> value;
    double fallback;
};

template <typename T> ConfigLine lineFor(T SharedState::*member, double fallback)
{
    return {std::is_same_v<T, int16_t>,
            [member](SharedState &s, double v) { s.*member = static_cast<T>(v); },
            [member](const SharedState &s) { return static_cast<double>(s.*member); }, fallback};
}

ConfigLine lineFor(PerStation<float> SharedState::*member, int index, double fallback)
{
    return {false, [member, index](SharedState &s, double v) { (s.*member)[index] = float(v); },
            [member, index](const SharedState &s) { return double((s.*member)[index]); },
            fallback};
}

const std::vector<ConfigLine> &configLines()
{
    static const std::vector<ConfigLine> lines = {
        lineFor(&SharedState::CommPort, 1),
        lineFor(&SharedState::StartPressureLimit, 600),
        lineFor(&SharedState::LeakFallLimit, 7),
        lineFor(&SharedState::LeakTestDuration, 600),
        lineFor(&SharedState::BathFallLimit, 14),
        lineFor(&SharedState::MainTestDuration, 900),
        lineFor(&SharedState::MinBathTemp, 100),
        lineFor(&SharedState::CalRange, 0, 1000),
        lineFor(&SharedState::CalRange, 1, 1000),
        lineFor(&SharedState::CalZero, 0, 0),
        lineFor(&SharedState::CalZero, 1, 0),
        lineFor(&SharedState::CalSpan, 0, 1000),
        lineFor(&SharedState::CalSpan, 1, 1000),
        lineFor(&SharedState::TempZero, 0),
        lineFor(&SharedState::TempSpan, 100),
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

QString saveConfig(const SharedState &state)
{
    return writeFileAtomically(configPath(state), configText(state));
}
