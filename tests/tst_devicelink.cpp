#include "app/config.h"
#include "app/sharedstate.h"
#include "device/commoutput.h"
#include "device/devicelink.h"

#include <QStringList>
#include <QTest>

#include <bit>
#include <cstdint>
#include <limits>

namespace {

/// Collects what the poll step sends.
class RecordingOutput final : public CommOutput {
public:
    void output(const QString &text) override { sent.append(text); }
    QStringList sent;
};

/// A state as after start-up with the default calibration and an open port.
std::unique_ptr<SharedState> readyState()
{
    auto state = std::make_unique<SharedState>();
    applyConfigDefaults(*state);
    state->PortReady = true;
    return state;
}

uint32_t bits(float value)
{
    return std::bit_cast<uint32_t>(value);
}

struct Readings {
    int16_t rawTemp, rawP1, rawP2;
    float temp, p1, p2;
    bool tempValid, p1Valid, p2Valid;
    bool operator==(const Readings &) const = default;
};

char *toString(const Readings &r)
{
    return QTest::toString(QStringLiteral("raw %1 %2 %3, readings %4 %5 %6, valid %7 %8 %9")
                               .arg(r.rawTemp)
                               .arg(r.rawP1)
                               .arg(r.rawP2)
                               .arg(double(r.temp))
                               .arg(double(r.p1))
                               .arg(double(r.p2))
                               .arg(int(r.tempValid))
                               .arg(int(r.p1Valid))
                               .arg(int(r.p2Valid)));
}

Readings readings(const SharedState &s)
{
    return {s.readings.RawTemp,   s.readings.RawPressure1,  s.readings.RawPressure2,   s.readings.BathTemp,      s.readings.Pressure1,
            s.readings.Pressure2, s.readings.BathTempValid, s.readings.Pressure1Valid, s.readings.Pressure2Valid};
}

const QString kFirstReply = QStringLiteral("000250 005000 006000\r");
const QString kSecondReply = QStringLiteral("000300 007000 008000\r");

} // namespace

class TestDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void decodesFields_data();
    void decodesFields();
    void skipsPiecesThatAreNotFrames_data();
    void skipsPiecesThatAreNotFrames();
    void decodesOnceWhenTheCrArrives();
    void decodesWithoutWaitingForTextAfterTheCr();
    void firstReplyOfAPollCounts();
    void partialReplyIsDiscardedAtThePoll();
    void pollStepSendsAndEmptiesTheBuffer();
    void noPollWhilePortNotReady();
    void staleAfterTenUnansweredPolls();
    void markPortLost();
    void calibrationConstants();
    void differenceInSinglePrecision();
    void conversionOverflow_data();
    void conversionOverflow();
};

void TestDeviceLink::decodesFields_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("rawTemp");
    QTest::addColumn<int>("rawP1");
    QTest::addColumn<int>("rawP2");
    QTest::addColumn<float>("temp");
    QTest::addColumn<float>("p1");
    QTest::addColumn<float>("p2");
    QTest::addColumn<bool>("tempValid");
    QTest::addColumn<bool>("p1Valid");
    QTest::addColumn<bool>("p2Valid");

    QTest::newRow("negative third field") << "000250 005000 -00001" << 250 << 5000 << -1 << 25.0f
                                          << 500.0f << 0.0f << true << true << false;
    QTest::newRow("negative first field") << "-00001 005000 006000" << -1 << 5000 << 6000 << 0.0f
                                          << 500.0f << 600.0f << false << true << true;
    QTest::newRow("halves to even")
        << "  12.5   13.5 000000" << 12 << 14 << 0 << 1.2f << 1.4f << 0.0f << true << true << true;
    QTest::newRow("blanks after the number") << "1050   7000   -1    " << 1050 << 7000 << -1
                                             << 105.0f << 700.0f << 0.0f << true << true << false;
    QTest::newRow("signs and fractions") << "+00105 0700.4 -000.4" << 105 << 700 << 0 << 10.5f
                                         << 70.0f << 0.0f << true << true << true;
    QTest::newRow("exponent") << "1.5E+2 00010. 0.5e+1" << 150 << 10 << 5 << 15.0f << 1.0f << 0.5f
                              << true << true << true;
    QTest::newRow("separators not examined") << "001050x007000?007000" << 1050 << 7000 << 7000
                                             << 105.0f << 700.0f << 700.0f << true << true << true;
    QTest::newRow("largest in range") << "032767 -32768 000000" << 32767 << -32768 << 0 << 3276.7f
                                      << 0.0f << 0.0f << true << false << true;
    QTest::newRow("out of range saturates") << "040000 -40000 999999" << 32767 << -32768 << 32767
                                            << 0.0f << 0.0f << 0.0f << false << false << false;
}

void TestDeviceLink::decodesFields()
{
    QFETCH(QString, reply);
    QFETCH(int, rawTemp);
    QFETCH(int, rawP1);
    QFETCH(int, rawP2);
    QFETCH(float, temp);
    QFETCH(float, p1);
    QFETCH(float, p2);
    QFETCH(bool, tempValid);
    QFETCH(bool, p1Valid);
    QFETCH(bool, p2Valid);

    QCOMPARE(reply.size(), 20);
    auto state = readyState();
    receiveText(*state, reply + u'\r');
    QVERIFY(state->readings.FrameTakenSincePoll);
    QCOMPARE(state->readings.RawTemp, rawTemp);
    QCOMPARE(state->readings.RawPressure1, rawP1);
    QCOMPARE(state->readings.RawPressure2, rawP2);
    QCOMPARE(state->readings.BathTemp, temp);
    QCOMPARE(state->readings.Pressure1, p1);
    QCOMPARE(state->readings.Pressure2, p2);
    QCOMPARE(state->readings.BathTempValid, tempValid);
    QCOMPARE(state->readings.Pressure1Valid, p1Valid);
    QCOMPARE(state->readings.Pressure2Valid, p2Valid);
}

void TestDeviceLink::skipsPiecesThatAreNotFrames_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("lone CR") << "\r";
    QTest::newRow("two lone CRs") << "\r\r";
    QTest::newRow("short reply") << "000300 007000\r";
    QTest::newRow("long reply") << "000300 007000 0080000\r";
    QTest::newRow("late tail of a reply") << "7000 008000\r";
    QTest::newRow("frame after noise") << "x000300 007000 008000\r";
    QTest::newRow("line feed before a frame") << "\n000300 007000 008000\r";
    QTest::newRow("garbage") << QString::fromLatin1("#@!~%^&*xq\x01\x7f\xfe\xff{}[]<>\r");
    QTest::newRow("field without digits") << "000300        008000\r";
    QTest::newRow("sign only") << "000300 -      008000\r";
    QTest::newRow("point only") << "000300   .    008000\r";
    QTest::newRow("blank inside a number") << "000300 00 700 008000\r";
    QTest::newRow("tab as padding") << "000300 \t07000 008000\r";
    QTest::newRow("tab after the number") << "000300 7000\t  008000\r";
    QTest::newRow("letter in a field") << "000300 00700a 008000\r";
    QTest::newRow("exponent without digits") << "000300 7000E  008000\r";
}

void TestDeviceLink::skipsPiecesThatAreNotFrames()
{
    QFETCH(QString, text);
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    const Readings before = readings(*state);
    pollStep(*state, port, kPollCommand);

    receiveText(*state, text);
    QCOMPARE(readings(*state), before);
    QVERIFY(!state->readings.FrameTakenSincePoll);
    QCOMPARE(state->readings.PollsSinceFrame, 1);

    // A good frame after the skipped text, before the next poll, still counts.
    receiveText(*state, kSecondReply);
    QCOMPARE(state->readings.RawPressure1, 7000);
    QCOMPARE(state->readings.Pressure2, 800.0f);
    QCOMPARE(state->readings.PollsSinceFrame, 0);
}

void TestDeviceLink::decodesOnceWhenTheCrArrives()
{
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    const Readings first = readings(*state);
    pollStep(*state, port, kPollCommand);

    receiveText(*state, QStringLiteral("000300 00"));
    QCOMPARE(readings(*state), first);
    receiveText(*state, QStringLiteral("7000 -000"));
    QCOMPARE(readings(*state), first);
    QVERIFY(!state->readings.FrameTakenSincePoll);
    receiveText(*state, QStringLiteral("01\r"));
    QCOMPARE(state->readings.RxBuffer, QStringLiteral("000300 007000 -00001\r"));
    QCOMPARE(readings(*state), (Readings{300, 7000, -1, 30.0f, 700.0f, 0.0f, true, true, false}));
}

void TestDeviceLink::decodesWithoutWaitingForTextAfterTheCr()
{
    auto state = readyState();
    receiveText(*state, QStringLiteral("000250 005000 -00001\r0003"));
    QCOMPARE(readings(*state), (Readings{250, 5000, -1, 25.0f, 500.0f, 0.0f, true, true, false}));
    // The text after the CR completes a second frame before the next poll: ignored.
    receiveText(*state, QStringLiteral("00 007000 008000\r"));
    QCOMPARE(readings(*state), (Readings{250, 5000, -1, 25.0f, 500.0f, 0.0f, true, true, false}));
}

void TestDeviceLink::firstReplyOfAPollCounts()
{
    auto state = readyState();
    RecordingOutput port;
    pollStep(*state, port, kPollCommand);
    receiveText(*state, kFirstReply + kSecondReply);
    QCOMPARE(state->readings.RawTemp, 250);
    receiveText(*state, kSecondReply);
    QCOMPARE(state->readings.RawTemp, 250);
    QCOMPARE(state->readings.Pressure2, 600.0f);

    pollStep(*state, port, kPollCommand);
    receiveText(*state, kSecondReply);
    QCOMPARE(state->readings.RawTemp, 300);
    QCOMPARE(state->readings.Pressure2, 800.0f);
}

void TestDeviceLink::partialReplyIsDiscardedAtThePoll()
{
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    pollStep(*state, port, kPollCommand);
    receiveText(*state, QStringLiteral("000300 00")); // the reply is late
    pollStep(*state, port, kPollCommand);
    QVERIFY(state->readings.RxBuffer.isEmpty());
    // Its tail arrives after the poll and must not be read as a frame shifted by nine.
    receiveText(*state, QStringLiteral("7000 008000\r000300 0"));
    QCOMPARE(state->readings.RawPressure1, 5000);
    QVERIFY(!state->readings.FrameTakenSincePoll);
    receiveText(*state, QStringLiteral("07000 008000\r"));
    QCOMPARE(state->readings.RawPressure1, 7000);
}

void TestDeviceLink::pollStepSendsAndEmptiesTheBuffer()
{
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    QVERIFY(state->readings.FrameTakenSincePoll);

    pollStep(*state, port, kPollCommand);
    pollStep(*state, port, state->readings.CalCommand);
    QCOMPARE(port.sent, (QStringList{QStringLiteral("?Z\r"), QStringLiteral("?Z\r")}));
    QVERIFY(state->readings.RxBuffer.isEmpty());
    QVERIFY(!state->readings.FrameTakenSincePoll);
    QCOMPARE(state->readings.PollsSinceFrame, 2);
}

void TestDeviceLink::noPollWhilePortNotReady()
{
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    const Readings valid = readings(*state);
    state->PortReady = false;
    state->readings.RxBuffer = QStringLiteral("partial");

    for (int i = 0; i < 3 * kStalePolls; ++i)
        pollStep(*state, port, kPollCommand);
    QVERIFY(port.sent.isEmpty());
    QCOMPARE(state->readings.RxBuffer, QStringLiteral("partial"));
    QCOMPARE(state->readings.PollsSinceFrame, 0);
    QCOMPARE(readings(*state), valid);
}

void TestDeviceLink::staleAfterTenUnansweredPolls()
{
    auto state = readyState();
    RecordingOutput port;
    pollStep(*state, port, kPollCommand);
    receiveText(*state, kFirstReply);
    const Readings valid = readings(*state);

    // Ten polls go out unanswered (one noisy answer does not count as a reply).
    for (int i = 0; i < kStalePolls; ++i) {
        pollStep(*state, port, kPollCommand);
        if (i == 4)
            receiveText(*state, QStringLiteral("\r"));
    }
    QCOMPARE(readings(*state), valid);

    // At the eleventh, a second has gone by without a frame.
    pollStep(*state, port, kPollCommand);
    QCOMPARE(readings(*state), (Readings{250, 5000, 6000, 0, 0, 0, false, false, false}));
    for (int i = 0; i < 3 * kStalePolls; ++i)
        pollStep(*state, port, kPollCommand);
    QVERIFY(!state->readings.BathTempValid);
    QCOMPARE(port.sent.size(), 1 + kStalePolls + 1 + 3 * kStalePolls);

    // The next good frame brings the readings back and restarts the count.
    receiveText(*state, kSecondReply);
    QCOMPARE(readings(*state), (Readings{300, 7000, 8000, 30, 700, 800, true, true, true}));
    for (int i = 0; i < kStalePolls; ++i)
        pollStep(*state, port, kPollCommand);
    QVERIFY(state->readings.Pressure1Valid);
    pollStep(*state, port, kPollCommand);
    QVERIFY(!state->readings.Pressure1Valid);
}

void TestDeviceLink::markPortLost()
{
    auto state = readyState();
    RecordingOutput port;
    receiveText(*state, kFirstReply);
    ::markPortLost(*state);
    QVERIFY(!state->PortReady);
    QCOMPARE(readings(*state), (Readings{250, 5000, 6000, 0, 0, 0, false, false, false}));
    pollStep(*state, port, kPollCommand);
    QVERIFY(port.sent.isEmpty());
}

void TestDeviceLink::calibrationConstants()
{
    auto state = readyState();
    state->calibration.TempZero = 123;
    state->calibration.CalZero = {100, 200};
    state->calibration.CalRange = {2000, 500};
    // The span captures take no part in the conversions.
    state->calibration.CalSpan = {-5, 1e30f};
    state->calibration.TempSpan = 0;
    receiveText(*state, QStringLiteral("001050 005000 005000\r"));
    QCOMPARE(state->readings.BathTemp, 92.7f);
    QCOMPARE(state->readings.Pressure1, 980.0f);
    QCOMPARE(state->readings.Pressure2, 240.0f);
    QVERIFY(state->readings.BathTempValid && state->readings.Pressure1Valid && state->readings.Pressure2Valid);

    // Below the zero capture the reading is negative but valid: only the raw sign counts.
    RecordingOutput port;
    pollStep(*state, port, kPollCommand);
    receiveText(*state, QStringLiteral("000023 000050 000000\r"));
    QCOMPARE(state->readings.BathTemp, -10.0f);
    QCOMPARE(state->readings.Pressure1, -10.0f);
    QCOMPARE(state->readings.Pressure2, -10.0f);
    QVERIFY(state->readings.BathTempValid && state->readings.Pressure1Valid && state->readings.Pressure2Valid);
}

void TestDeviceLink::differenceInSinglePrecision()
{
    // (7000 - 0.3) in single precision is 6999.7001953125; times 1000 / 10000 in double and
    // stored as float gives 699.970032, where double arithmetic throughout would give the
    // float next to it, 699.969971.
    auto state = readyState();
    state->calibration.CalZero = {0.3f, 0.3f};
    receiveText(*state, QStringLiteral("000000 007000 007000\r"));
    QCOMPARE(bits(state->readings.Pressure1), bits(699.970032f));
    QVERIFY(bits(state->readings.Pressure1) != bits(699.969971f));
}

void TestDeviceLink::conversionOverflow_data()
{
    QTest::addColumn<float>("range");
    const float largest = std::numeric_limits<float>::max();
    QTest::newRow("beyond the float range") << largest;
    QTest::newRow("beyond the float range, negative") << -largest;
    QTest::newRow("infinite range") << std::numeric_limits<float>::infinity();
    QTest::newRow("range not a number") << std::numeric_limits<float>::quiet_NaN();
}

void TestDeviceLink::conversionOverflow()
{
    QFETCH(float, range);
    auto state = readyState();
    state->calibration.CalRange[1] = range;
    receiveText(*state, QStringLiteral("001050 007000 020000\r"));
    QCOMPARE(state->readings.RawPressure2, 20000);
    QCOMPARE(state->readings.Pressure2, 0.0f);
    QVERIFY(!state->readings.Pressure2Valid);
    QCOMPARE(state->readings.Pressure1, 700.0f);
    QVERIFY(state->readings.Pressure1Valid && state->readings.BathTempValid);
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
