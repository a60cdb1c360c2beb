#include "app/config.h"
#include "app/sharedstate.h"
#include "support/diskfaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kDefaultFile = "Tarnwell DAQ Config. File Ver.1.0\r\n 1 \r\n 600 \r\n 7 \r\n"
                                " 600 \r\n 14 \r\n 900 \r\n 100 \r\n 1000 \r\n 1000 \r\n 0 \r\n"
                                " 0 \r\n 1000 \r\n 1000 \r\n 0 \r\n 100 \r\n";

/// The fifteen values of the file, in its order.
QList<double> values(const SharedState &s)
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

const QList<double> kDefaults = {1,    600, 7, 600,  14,   900, 100, 1000,
                                 1000, 0,   0, 1000, 1000, 0,   100};

/// A file whose every value differs from its default, and its values.
QList<QByteArray> customLines()
{
    return {"My rig", "3",   "650.5", "8",    "120", "15",  "30",  "101.25",
            "1600",   "900", "12",    "-3.5", "990", "995", "-20", "980"};
}
const QList<double> kCustom = {3,   650.5, 8,    120, 15,  30,  101.25, 1600,
                               900, 12,    -3.5, 990, 995, -20, 980};

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    return text;
}

/// The permission bits of a file.
int modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void init();
    void noFileGivesDefaultsAndSavesThem();
    void goodFileIsReadAndRewritten();
    void filesAreReadWhole_data();
    void filesAreReadWhole();
    void roundTripKeepsSevenDigits();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();
    void readOnlyFolder_data();
    void readOnlyFolder();

private:
    void writeConfig(const QByteArray &content);
    QString path() const { return m_dir->filePath(kConfigFileName); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
};

void TestConfig::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
}

void TestConfig::writeConfig(const QByteArray &content)
{
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

void TestConfig::noFileGivesDefaultsAndSavesThem()
{
    QCOMPARE(loadConfig(*m_state), ConfigSource::Defaults);
    QCOMPARE(values(*m_state), kDefaults);
    QVERIFY(m_state->ConfigTitle.isEmpty());
    const mode_t mask = ::umask(022);
    const MaybeFailure failure = saveConfig(*m_state);
    ::umask(mask);
    QVERIFY(!failure);
    QCOMPARE(readAll(path()), kDefaultFile);
    QCOMPARE(modeOf(path()), 0644); // 0666 less the umask
}

void TestConfig::goodFileIsReadAndRewritten()
{
    writeConfig(joined(customLines()));
    loadConfig(*m_state);
    QCOMPARE(values(*m_state), kCustom);
    QCOMPARE(m_state->ConfigTitle, QStringLiteral("My rig"));

    // Any first line is accepted; the file is written back with the program's own, and
    // keeps its permissions.
    QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(!saveConfig(*m_state));
    QCOMPARE(modeOf(path()), 0640);
    QCOMPARE(readAll(path()), QByteArray("Tarnwell DAQ Config. File Ver.1.0\r\n 3 \r\n 650.5 \r\n"
                                         " 8 \r\n 120 \r\n 15 \r\n 30 \r\n 101.25 \r\n 1600 \r\n"
                                         " 900 \r\n 12 \r\n-3.5 \r\n 990 \r\n 995 \r\n-20 \r\n"
                                         " 980 \r\n"));
}

void TestConfig::filesAreReadWhole_data()
{
    QTest::addColumn<QString>("kind"); // what stands at twdaq.cfg: see filesAreReadWhole()
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<double>>("expected");
    const QString file = QStringLiteral("file");
    const QByteArray plain = joined(customLines());
    QByteArray bare = plain;
    bare.replace("\r\n", "\n").replace("\n650.5\n", "\n   650.5\t \n");
    QTest::newRow("LF line ends, blanks and tabs around a value") << file << bare << kCustom;
    QTest::newRow("no line end after the last value") << file << plain.chopped(2) << kCustom;
    QTest::newRow("lines after the sixteenth") << file << plain + "garbage\r\n40000\r\n" << kCustom;
    QList<QByteArray> comma = customLines();
    comma[2] = "650.5,8"; // lines 3 and 4 on one line
    comma.removeAt(3);
    QTest::newRow("a comma divides two values") << file << joined(comma) << kCustom;
    QTest::newRow("a symbolic link to the file") << QStringLiteral("link") << plain << kCustom;
    // Lines after the sixteenth are never read: a huge tail costs nothing.
    QTest::newRow("100 MB of CR LF lines after the sixteenth")
        << QStringLiteral("huge tail") << plain << kCustom;

    // A file that does not fit in every value gives every default, no partial result.
    auto with = [](int line, const QByteArray &value) {
        QList<QByteArray> lines = customLines();
        lines[line] = value;
        return joined(lines);
    };
    QTest::newRow("fifteen lines") << file << joined(customLines().mid(0, 15)) << kDefaults;
    QTest::newRow("40000 on line 5, an Integer") << file << with(4, "40000") << kDefaults;
    QTest::newRow("integer below range") << file << with(1, "-32769") << kDefaults;
    QTest::newRow("text for a number") << file << with(7, "hot") << kDefaults;
    QTest::newRow("letters after a number") << file << with(2, "650abc") << kDefaults;
    QTest::newRow("empty value") << file << with(9, "") << kDefaults;
    QTest::newRow("beyond a float") << file << with(8, "1E+39") << kDefaults;
    QTest::newRow("empty file") << file << QByteArray() << kDefaults;

    // Only the first kConfigReadLimit bytes are read: values beyond them are not there, and
    // a value that the limit cuts is not taken for its first digits.
    QTest::newRow("values beyond the bytes read")
        << QStringLiteral("huge tail") << with(0, QByteArray(kConfigReadLimit, 'T')) << kDefaults;
    // A title that puts the limit between "98" and "0" of the last value, 980.
    const qsizetype rest = joined(customLines().mid(1)).size(); // after the title's line end
    const QByteArray title(kConfigReadLimit - 2 - 2 - rest + 5, 'T');
    QTest::newRow("last value cut by the limit") << file << with(0, title) << kDefaults;

    // Anything but a regular file gives the defaults at once.
    QTest::newRow("FIFO") << QStringLiteral("fifo") << QByteArray() << kDefaults;
    QTest::newRow("link to /dev/zero") << QStringLiteral("/dev/zero") << QByteArray() << kDefaults;
    QTest::newRow("folder") << QStringLiteral("folder") << QByteArray() << kDefaults;
}

void TestConfig::filesAreReadWhole()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(QList<double>, expected);
    // Start from other values so that a partial load would show.
    m_state->CommPort = 9;
    m_state->parameters.StartPressureLimit = 1;
    m_state->calibration.TempSpan = 5;
    const QByteArray target = QFile::encodeName(path());
    if (kind == QStringLiteral("file")) {
        writeConfig(content);
    } else if (kind == QStringLiteral("link")) {
        const QString real = m_dir->filePath(QStringLiteral("settings.txt"));
        QFile file(real);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QVERIFY(QFile::link(real, path()));
    } else if (kind == QStringLiteral("huge tail")) {
        writeConfig(content);
        QFile file(path());
        QVERIFY(file.open(QIODevice::Append));
        const QByteArray block = QByteArray("1,2\r\n").repeated(1 << 16);
        for (qint64 written = 0; written < 100 * 1024 * 1024; written += block.size())
            QCOMPARE(file.write(block), block.size());
    } else if (kind == QStringLiteral("fifo")) {
        // Opened for reading, a FIFO without a writer would block the start-up for ever.
        QCOMPARE(::mkfifo(target.constData(), 0644), 0);
    } else if (kind == QStringLiteral("/dev/zero")) {
        // Read whole, an endless file would take every byte of memory.
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path()));
    } else {
        QVERIFY(QDir(m_dir->path()).mkdir(kConfigFileName));
    }
    const ConfigSource source = loadConfig(*m_state);
    QCOMPARE(values(*m_state), expected);
    QCOMPARE(source, expected == kDefaults ? ConfigSource::Defaults : ConfigSource::File);
}

void TestConfig::roundTripKeepsSevenDigits()
{
    loadConfig(*m_state);
    m_state->CommPort = 255;
    m_state->parameters.LeakTestDuration = -32768;
    m_state->parameters.MainTestDuration = 32767;
    m_state->parameters.StartPressureLimit = 1234.567f;
    m_state->parameters.LeakFallLimit = 0.1234567f;
    m_state->parameters.MinBathTemp = -98.76543f;
    m_state->calibration.CalRange[0] = 3.4e38f;
    m_state->calibration.CalZero[1] = 1e-20f;
    m_state->calibration.TempSpan = 16384.0f;
    // 1.00117551E-35 (found by fuzzing): rounded, not cut, to 1.001176E-35; read back it is
    // just over 5E-7 of itself away, within half a unit of the seventh digit and a float step.
    m_state->calibration.TempZero = 1001.175494E-38f;
    QVERIFY(!saveConfig(*m_state));

    SharedState read;
    read.AppPath = m_state->AppPath;
    loadConfig(read);
    QCOMPARE(read.CommPort, int16_t(255));
    QCOMPARE(read.parameters.LeakTestDuration, int16_t(-32768));
    QCOMPARE(read.parameters.MainTestDuration, int16_t(32767));
    QCOMPARE(read.calibration.TempSpan, 16384.0f);
    // Half a unit of the seventh significant digit of b, and half a float step.
    auto sevenDigits = [](float a, float b) {
        const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(double(b)))) - 6);
        return std::fabs(double(a) - double(b)) <= unit / 2 + std::fabs(double(a)) * 0x1p-24;
    };
    QVERIFY(sevenDigits(read.parameters.StartPressureLimit, 1234.567f));
    QVERIFY(sevenDigits(read.parameters.LeakFallLimit, 0.1234567f));
    QVERIFY(sevenDigits(read.parameters.MinBathTemp, -98.76543f));
    QVERIFY(sevenDigits(read.calibration.CalRange[0], 3.4e38f));
    QVERIFY(sevenDigits(read.calibration.CalZero[1], 1e-20f));
    QVERIFY(sevenDigits(read.calibration.TempZero, 1001.175494E-38f));
}

void TestConfig::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("no folder for the file") << "no folder";
    QTest::newRow("full disk: a short write") << "short write";
    QTest::newRow("the final rename refused") << "rename";
}

void TestConfig::failedSaveKeepsTheOldFile()
{
    QFETCH(QString, fault);
    const QByteArray old = joined(customLines());
    writeConfig(old);
    loadConfig(*m_state);
    m_state->CommPort = 7;

    MaybeFailure failure;
    if (fault == QStringLiteral("no folder")) {
        m_state->AppPath = m_dir->filePath(QStringLiteral("no/such/folder"));
        failure = saveConfig(*m_state);
        m_state->AppPath = m_dir->path();
    } else if (fault == QStringLiteral("short write")) {
        // The file size limit makes the write come up short, as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 40;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        failure = saveConfig(*m_state);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    } else {
        // An immutable file cannot be replaced, while its folder takes the new file: every
        // step succeeds up to the rename, which fails.
        ImmutableGuard guard;
        if (!setImmutable(path(), true))
            QSKIP("The immutable flag cannot be set here (it needs root and a file system that "
                  "has it, such as ext4): no file that refuses its replacement.");
        guard.paths.append(path());
        QFile probe(m_dir->filePath(QStringLiteral("probe")));
        QVERIFY2(probe.open(QIODevice::WriteOnly) && probe.remove(),
                 "the folder must take new files");
        failure = saveConfig(*m_state);
    }
    QVERIFY2(failure, "the failure must be reported");
    QVERIFY(!failure->reason.isEmpty());
    QVERIFY(failure->path.endsWith(kConfigFileName));
    QCOMPARE(readAll(path()), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{kConfigFileName});
}

void TestConfig::readOnlyFolder_data()
{
    QTest::addColumn<bool>("fileReadOnly");
    QTest::newRow("the file is writable") << false;
    QTest::newRow("the file is read-only too") << true;
}

void TestConfig::readOnlyFolder()
{
    QFETCH(bool, fileReadOnly);
    // Lines after the sixteenth make the old file longer than the new one, so that a write in
    // place that is not cut to length would show.
    const QByteArray old = joined(customLines()) + QByteArray(300, '#') + "\r\n";
    writeConfig(old);
    loadConfig(*m_state);
    m_state->CommPort = 7;
    m_state->parameters.MinBathTemp = 95.5f;

    ImmutableGuard guard;
    for (const QString &marked :
         fileReadOnly ? QStringList{m_dir->path(), path()} : QStringList{m_dir->path()}) {
        if (!setImmutable(marked, true))
            QSKIP("The immutable flag cannot be set here (it needs root and a file system that "
                  "has it, such as ext4): no read-only folder to save into.");
        guard.paths.append(marked);
    }
    QVERIFY2(!QFile(m_dir->filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly),
             "the marked folder still takes new files");

    const MaybeFailure failure = saveConfig(*m_state);
    if (fileReadOnly) {
        QVERIFY2(failure, "saving into a read-only file must fail");
        QCOMPARE(failure->path, path());
        QVERIFY(!failure->reason.isEmpty());
        QCOMPARE(readAll(path()), old);
    } else {
        QVERIFY2(!failure, qPrintable(failure ? failure->reason : QString()));
        QCOMPARE(readAll(path()), configText(*m_state));
        SharedState read;
        read.AppPath = m_state->AppPath;
        loadConfig(read);
        QList<double> expected = kCustom;
        expected[0] = 7;
        expected[6] = 95.5;
        QCOMPARE(values(read), expected);
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{kConfigFileName});
}

QTEST_APPLESS_MAIN(TestConfig)
#include "tst_config.moc"
