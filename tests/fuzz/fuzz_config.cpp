// Fuzzes the configuration loader with the input as twdaq.cfg. A rejected file must give all
// fifteen defaults, whatever the state held before; an accepted file, saved and loaded again,
// must keep every value: whole numbers exactly, the others to seven significant digits
// (then rounded to a float).
#include "app/config.h"
#include "app/sharedstate.h"

#include <QByteArray>
#include <QFile>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

/// The folder of the input file, once made.
std::string g_folder;

void removeFolder()
{
    if (g_folder.empty())
        return;
    ::unlink((g_folder + "/twdaq.cfg").c_str());
    ::rmdir(g_folder.c_str());
}

[[noreturn]] void fail(const char *what, int line = -1, double got = 0, double expected = 0)
{
    std::fprintf(stderr, "fuzz_config: %s (value %d: %.9g, expected %.9g)\n", what, line + 1, got,
                 expected);
    removeFolder();
    std::abort();
}

/// The fifteen values of the file, in its order, and which are whole numbers.
std::array<double, 15> values(const SharedState &s)
{
    const TestParameters &p = s.parameters;
    const CalibrationConstants &c = s.calibration;
    return {double(s.CommPort), p.StartPressureLimit,
            p.LeakFallLimit,    double(p.LeakTestDuration),
            p.BathFallLimit,    double(p.MainTestDuration),
            p.MinBathTemp,      c.CalRange[0],
            c.CalRange[1],      c.CalZero[0],
            c.CalZero[1],       c.CalSpan[0],
            c.CalSpan[1],       c.TempZero,
            c.TempSpan};
}
constexpr std::array<bool, 15> kWhole = {true,  false, false, true,  false, true,  false, false,
                                         false, false, false, false, false, false, false};
constexpr std::array<double, 15> kDefaults = {1,    600, 7, 600,  14,   900, 100, 1000,
                                              1000, 0,   0, 1000, 1000, 0,   100};

/// The value kept to seven significant digits, then stored as a float: within half a unit of
/// its seventh digit and half a float step.
bool keptToSevenDigits(double after, double before)
{
    if (before == 0)
        return after == 0;
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(before))) - 6);
    return std::fabs(after - before) <= unit / 2 + std::fabs(after) * 0x1p-24;
}

/// Values no file gives by default, so that a load that leaves one in place shows.
void scramble(SharedState &s)
{
    s.CommPort = 77;
    s.parameters = {1.5f, 2.5f, 3, 4.5f, 5, 6.5f};
    s.calibration.CalRange = {7.5f, 8.5f};
    s.calibration.CalZero = {9.5f, 10.5f};
    s.calibration.CalSpan = {11.5f, 12.5f};
    s.calibration.TempZero = 13.5f;
    s.calibration.TempSpan = 14.5f;
}

/// A folder of its own for the file, on a memory file system where there is one (the save
/// syncs), removed when the fuzzer ends.
const QString &folder()
{
    static const QString path = [] {
        std::string name =
            (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
            "/kestrava-fuzz-config.XXXXXX";
        if (!mkdtemp(name.data()))
            fail("no temporary folder");
        g_folder = name;
        std::atexit(removeFolder);
        return QString::fromStdString(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SharedState first;
    static SharedState second;
    first.AppPath = second.AppPath = folder();
    {
        QFile file(configPath(first));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            fail("cannot write the input file");
    }

    scramble(first);
    if (loadConfig(first) == ConfigSource::Defaults) {
        const auto got = values(first);
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i] != kDefaults[i])
                fail("a rejected file did not give the default", int(i), got[i], kDefaults[i]);
        return 0;
    }

    if (saveConfig(first))
        fail("an accepted file could not be saved");
    scramble(second);
    if (loadConfig(second) != ConfigSource::File)
        fail("the saved file was rejected");
    const auto before = values(first);
    const auto after = values(second);
    for (std::size_t i = 0; i < before.size(); ++i) {
        const bool kept =
            kWhole[i] ? after[i] == before[i] : keptToSevenDigits(after[i], before[i]);
        if (!kept)
            fail("a value changed through a save", int(i), after[i], before[i]);
    }
    return 0;
}
