#include "app/config.h"
#include "app/sharedstate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kDefaultFile = "Tarnwell DAQ Config. File Ver.1.0\r\n"
                                " 1 \r\n"
                                " 600 \r\n"
                                " 7 \r\n"
                                " 600 \r\n"
                                " 14 \r\n"
                                " 900 \r\n"
                                " 100 \r\n"
                                " 1000 \r\n"
                                " 1000 \r\n"
                                " 0 \r\n"
                                " 0 \r\n"
                                " 1000 \r\n"
                                " 1000 \r\n"
                                " 0 \r\n"
                                " 100 \r\n";

/// A file whose every value differs from its default.
QList<QByteArray> customLines()
{
    return {"My rig", "3",   "650.5", "8",    "120", "15",  "30",  "101.25",
            "1600",   "900", "12",    "-3.5", "990", "995", "-20", "980"};
}

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray text;
    for (const QByteArray &line : lines)
        text += line + "\r\n";
    return text;
}

void expectDefaults(const SharedState &s)
{
    QCOMPARE(s.CommPort, int16_t(1));
    QCOMPARE(s.parameters.StartPressureLimit, 600.0f);
    QCOMPARE(s.parameters.LeakFallLimit, 7.0f);
    QCOMPARE(s.parameters.LeakTestDuration, int16_t(600));
    QCOMPARE(s.parameters.BathFallLimit, 14.0f);
    QCOMPARE(s.parameters.MainTestDuration, int16_t(900));
    QCOMPARE(s.parameters.MinBathTemp, 100.0f);
    QCOMPARE(s.calibration.CalRange[0], 1000.0f);
    QCOMPARE(s.calibration.CalRange[1], 1000.0f);
    QCOMPARE(s.calibration.CalZero[0], 0.0f);
    QCOMPARE(s.calibration.CalZero[1], 0.0f);
    QCOMPARE(s.calibration.CalSpan[0], 1000.0f);
    QCOMPARE(s.calibration.CalSpan[1], 1000.0f);
    QCOMPARE(s.calibration.TempZero, 0.0f);
    QCOMPARE(s.calibration.TempSpan, 100.0f);
}

void expectCustom(const SharedState &s)
{
    QCOMPARE(s.CommPort, int16_t(3));
    QCOMPARE(s.parameters.StartPressureLimit, 650.5f);
    QCOMPARE(s.parameters.LeakFallLimit, 8.0f);
    QCOMPARE(s.parameters.LeakTestDuration, int16_t(120));
    QCOMPARE(s.parameters.BathFallLimit, 15.0f);
    QCOMPARE(s.parameters.MainTestDuration, int16_t(30));
    QCOMPARE(s.parameters.MinBathTemp, 101.25f);
    QCOMPARE(s.calibration.CalRange[0], 1600.0f);
    QCOMPARE(s.calibration.CalRange[1], 900.0f);
    QCOMPARE(s.calibration.CalZero[0], 12.0f);
    QCOMPARE(s.calibration.CalZero[1], -3.5f);
    QCOMPARE(s.calibration.CalSpan[0], 990.0f);
    QCOMPARE(s.calibration.CalSpan[1], 995.0f);
    QCOMPARE(s.calibration.TempZero, -20.0f);
    QCOMPARE(s.calibration.TempSpan, 980.0f);
}

} // namespace

class TestConfig : public QObject {
    Q_OBJECT

private slots:
    void init();
    void noFileGivesDefaults();
    void savedDefaultsAreTheSixteenLines();
    void goodFileIsRead();
    void otherHeaderIsAcceptedAndRewritten();
    void badFilesGiveEveryDefault_data();
    void badFilesGiveEveryDefault();
    void commaEndsAValue();
    void blanksAndLineEndsAreTolerated();
    void linesAfterTheSixteenthAreIgnored();
    void roundTripKeepsSevenDigits();
    void unwritableFolderKeepsTheOldFile();

private:
    void writeConfig(const QByteArray &content);
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
    QFile file(m_dir->filePath(QStringLiteral("twdaq.cfg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestConfig::noFileGivesDefaults()
{
    loadConfig(*m_state);
    expectDefaults(*m_state);
    QVERIFY(m_state->ConfigTitle.isEmpty());
}

void TestConfig::savedDefaultsAreTheSixteenLines()
{
    loadConfig(*m_state);
    QCOMPARE(saveConfig(*m_state), QString());
    QFile file(m_dir->filePath(QStringLiteral("twdaq.cfg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), kDefaultFile);
}

void TestConfig::goodFileIsRead()
{
    writeConfig(joined(customLines()));
    loadConfig(*m_state);
    expectCustom(*m_state);
    QCOMPARE(m_state->ConfigTitle, QStringLiteral("My rig"));
}

void TestConfig::otherHeaderIsAcceptedAndRewritten()
{
    writeConfig(joined(customLines()));
    loadConfig(*m_state);
    QCOMPARE(saveConfig(*m_state), QString());
    QFile file(m_dir->filePath(QStringLiteral("twdaq.cfg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("Tarnwell DAQ Config. File Ver.1.0\r\n"));
}

void TestConfig::badFilesGiveEveryDefault_data()
{
    QTest::addColumn<QByteArray>("content");
    QList<QByteArray> fifteen = customLines();
    fifteen.removeLast();
    QTest::newRow("fifteen lines") << joined(fifteen);
    QList<QByteArray> big = customLines();
    big[4] = "40000"; // line 5, an Integer
    QTest::newRow("40000 on line 5") << joined(big);
    QList<QByteArray> text = customLines();
    text[7] = "hot";
    QTest::newRow("text for a number") << joined(text);
    QList<QByteArray> trailing = customLines();
    trailing[2] = "650abc";
    QTest::newRow("letters after a number") << joined(trailing);
    QList<QByteArray> empty = customLines();
    empty[9] = "";
    QTest::newRow("empty value") << joined(empty);
    QList<QByteArray> huge = customLines();
    huge[8] = "1E+39";
    QTest::newRow("beyond a float") << joined(huge);
    QList<QByteArray> port = customLines();
    port[1] = "-32769";
    QTest::newRow("integer below range") << joined(port);
    QTest::newRow("empty file") << QByteArray();
}

void TestConfig::badFilesGiveEveryDefault()
{
    QFETCH(QByteArray, content);
    // Start from non-default values so that a partial load would show.
    m_state->CommPort = 9;
    m_state->parameters.StartPressureLimit = 1;
    writeConfig(content);
    loadConfig(*m_state);
    expectDefaults(*m_state);
}

void TestConfig::commaEndsAValue()
{
    // "650.5,8" holds lines 3 and 4 on one line, so the last line's value is not needed.
    QList<QByteArray> lines = customLines();
    lines[2] = "650.5,8";
    lines.removeAt(3);
    writeConfig(joined(lines));
    loadConfig(*m_state);
    expectCustom(*m_state);

    // A comma inside a value shifts every later value: "1,500" reads as 1 and 500.
    QList<QByteArray> shifted = customLines();
    shifted[8] = "1,500";
    writeConfig(joined(shifted));
    loadConfig(*m_state);
    QCOMPARE(m_state->calibration.CalRange[0], 1.0f);
    QCOMPARE(m_state->calibration.CalRange[1], 500.0f);
    QCOMPARE(m_state->calibration.CalZero[0], 900.0f);
    QCOMPARE(m_state->calibration.TempSpan, -20.0f);
}

void TestConfig::blanksAndLineEndsAreTolerated()
{
    QByteArray content = joined(customLines());
    content.replace("\r\n", "\n");
    content.replace("\n650.5\n", "\n   650.5\t \n");
    writeConfig(content);
    loadConfig(*m_state);
    expectCustom(*m_state);

    writeConfig(joined(customLines()).chopped(2)); // no line end after the last value
    loadConfig(*m_state);
    expectCustom(*m_state);
}

void TestConfig::linesAfterTheSixteenthAreIgnored()
{
    writeConfig(joined(customLines()) + "garbage\r\n40000\r\n");
    loadConfig(*m_state);
    expectCustom(*m_state);
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
    QCOMPARE(saveConfig(*m_state), QString());

    SharedState read;
    read.AppPath = m_state->AppPath;
    loadConfig(read);
    QCOMPARE(read.CommPort, int16_t(255));
    QCOMPARE(read.LeakTestDuration, int16_t(-32768));
    QCOMPARE(read.MainTestDuration, int16_t(32767));
    QCOMPARE(read.TempSpan, 16384.0f);
    auto sevenDigits = [](float a, float b) { return std::fabs(a - b) <= std::fabs(b) * 5e-7; };
    QVERIFY(sevenDigits(read.StartPressureLimit, 1234.567f));
    QVERIFY(sevenDigits(read.LeakFallLimit, 0.1234567f));
    QVERIFY(sevenDigits(read.MinBathTemp, -98.76543f));
    QVERIFY(sevenDigits(read.CalRange[0], 3.4e38f));
    QVERIFY(sevenDigits(read.CalZero[1], 1e-20f));
}

void TestConfig::unwritableFolderKeepsTheOldFile()
{
    // A folder that does not exist cannot take the file.
    SharedState missing;
    missing.AppPath = m_dir->filePath(QStringLiteral("no/such/folder"));
    QVERIFY(!saveConfig(missing).isEmpty());

    // A full disk: the file size limit makes the write come up short, as ENOSPC would.
    const QByteArray old = joined(customLines());
    writeConfig(old);
    loadConfig(*m_state);
    m_state->CommPort = 7;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 40;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = saveConfig(*m_state);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    QVERIFY2(!error.isEmpty(), "a short write must be reported");

    QFile file(m_dir->filePath(QStringLiteral("twdaq.cfg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("twdaq.cfg")});
}

QTEST_APPLESS_MAIN(TestConfig)
#include "tst_config.moc"
