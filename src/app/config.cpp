#include "app/config.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "app/textrules.h"

#include <QFile>
#include <QScopeGuard>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
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

/// The first bytes of a regular file, at most kConfigReadLimit of them, and whether the file
/// goes on beyond them.
struct FileStart {
    QByteArray bytes;
    bool cut = false;
};

/// Reads the start of the file at path. Nothing when it is not a regular file (a FIFO, a
/// device, a folder) or cannot be read. The file is opened without blocking and examined
/// through the open descriptor, so a FIFO never holds up the start-up and nothing can be
/// swapped in between a check and the open; a symbolic link to a regular file is followed.
std::optional<FileStart> readFileStart(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    // One byte more than the limit tells whether the file goes on.
    QByteArray bytes(kConfigReadLimit + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    const bool cut = got > kConfigReadLimit;
    bytes.truncate(cut ? kConfigReadLimit : got);
    return FileStart{bytes, cut};
}

/// The file's first sixteen values in order, in one pass: each line is one value, or several
/// where commas divide it; CR LF, CR and LF end lines. The piece after the last line end is a
/// value unless it is empty; when the file was cut, that piece may be incomplete and is never
/// a value.
QStringList readValues(const FileStart &start)
{
    const QByteArray &bytes = start.bytes;
    QStringList values;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; values.size() < kValueCount; ++i) {
        const bool atEnd = i == bytes.size();
        const char c = atEnd ? '\0' : bytes[i];
        if (!atEnd && c != ',' && c != '\r' && c != '\n')
            continue;
        if (atEnd && (start.cut || bytes.isEmpty() || bytes.back() == '\r' || bytes.back() == '\n'))
            break;
        values.append(QString::fromLatin1(bytes.sliced(pieceStart, i - pieceStart)).trimmed());
        if (atEnd)
            break;
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i; // CR LF is one line end
        pieceStart = i + 1;
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

ConfigSource loadConfig(SharedState &state)
{
    const std::optional<FileStart> start = readFileStart(configPath(state));
    if (!start) {
        applyConfigDefaults(state);
        return ConfigSource::Defaults;
    }
    const QStringList values = readValues(*start);
    if (!values.isEmpty())
        state.ConfigTitle = values.first();
    if (values.size() < kValueCount) {
        applyConfigDefaults(state);
        return ConfigSource::Defaults;
    }
    // Convert everything first: a partly good file gives no partial result.
    std::vector<double> numbers;
    for (int i = 1; i < kValueCount; ++i) {
        const auto number = convert(values[i], configLines()[i - 1].isInteger);
        if (!number) {
            applyConfigDefaults(state);
            return ConfigSource::Defaults;
        }
        numbers.push_back(*number);
    }
    for (int i = 0; i < kValueCount - 1; ++i)
        configLines()[i].store(state, numbers[i]);
    return ConfigSource::File;
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
