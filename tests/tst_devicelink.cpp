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

/// The raw values, readings and validity flags that a frame sets.
struct Values {
    int16_t rawTemp, rawP1, rawP2;
    float temp, p1, p2;
    bool tempValid, p1Valid, p2Valid;
    bool operator==(const Values &) const = default;
};

char *toString(const Values &v)
{
    return qstrdup(QString::asprintf("raw %d %d %d, readings %.9g %.9g %.9g, valid %d %d %d",
                                     v.rawTemp, v.rawP1, v.rawP2, double(v.temp), double(v.p1),
                                     double(v.p2), v.tempValid, v.p1Valid, v.p2Valid)
                       .toLatin1());
}

/// The device link as the main window drives it: the default calibration, an open port that
/// records what the poll step sends.
class Link final : public CommOutput {
public:
    Link()
    {
        SharedState defaults;
        applyConfigDefaults(defaults);
        calibration = defaults.calibration;
    }

    void output(const QString &text) override { sent.append(text); }
    void poll() { note(pollStep(readings, portReady, *this, kPollCommand)); }
    void receive(const QString &text) { note(receiveText(readings, calibration, text)); }
    Values values() const
    {
        const Readings &r = readings;
        return {r.RawTemp,   r.RawPressure1,  r.RawPressure2,   r.BathTemp,      r.Pressure1,
                r.Pressure2, r.BathTempValid, r.Pressure1Valid, r.Pressure2Valid};
    }

    Readings readings;
    CalibrationConstants calibration;
    bool portReady = true;
    QStringList sent;
    /// What the poll steps and received texts reported, leaving out None.
    QList<LinkEvent> events;

private:
    void note(LinkEvent event)
    {
        if (event != LinkEvent::None)
            events.append(event);
    }
};

const QString kFirstReply = QStringLiteral("000250 005000 006000\r");
const QString kSecondReply = QStringLiteral("000300 007000 008000\r");

} // namespace

Q_DECLARE_METATYPE(Values)

class TestDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void decodesFields_data();
    void decodesFields();
    void skipsPiecesThatAreNotFrames_data();
    void skipsPiecesThatAreNotFrames();
    void oneFramePerPollDecodedAtItsCr();
    void pollStepSendsWhenThePortIsReady();
    void staleAfterTenUnansweredPolls();
    void calibrationConstants();
    void differenceInSinglePrecision();
    void conversionOverflow_data();
    void conversionOverflow();
};

void TestDeviceLink::decodesFields_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Values>("expected");
    auto row = [](const char *name, const char *reply, Values expected) {
        QTest::newRow(name) << QString::fromLatin1(reply) << expected;
    };
    row("negative third field", "000250 005000 -00001",
        {250, 5000, -1, 25, 500, 0, true, true, false});
    row("negative first field", "-00001 005000 006000",
        {-1, 5000, 6000, 0, 500, 600, false, true, true});
    row("halves to even", "  12.5   13.5 000000", {12, 14, 0, 1.2f, 1.4f, 0, true, true, true});
    row("blanks after the number", "1050   7000   -1    ",
        {1050, 7000, -1, 105, 700, 0, true, true, false});
    row("signs and fractions", "+00105 0700.4 -000.4",
        {105, 700, 0, 10.5f, 70, 0, true, true, true});
    row("exponent", "1.5E+2 00010. 0.5e+1", {150, 10, 5, 15, 1, 0.5f, true, true, true});
    row("separators not examined", "001050x007000?007000",
        {1050, 7000, 7000, 105, 700, 700, true, true, true});
    row("largest in range", "032767 -32768 000000",
        {32767, -32768, 0, 3276.7f, 0, 0, true, false, true});
    row("out of range saturates", "040000 -40000 999999",
        {32767, -32768, 32767, 0, 0, 0, false, false, false});
}

void TestDeviceLink::decodesFields()
{
    QFETCH(QString, reply);
    QCOMPARE(reply.size(), 20);
    Link link;
    link.receive(reply + u'\r');
    QVERIFY(link.readings.FrameTakenSincePoll);
    QTEST(link.values(), "expected");
}

void TestDeviceLink::skipsPiecesThatAreNotFrames_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("lone CR") << "\r";
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
    Link link;
    link.receive(kFirstReply);
    const Values before = link.values();
    link.poll();

    link.receive(text);
    QCOMPARE(link.values(), before);
    QVERIFY(!link.readings.FrameTakenSincePoll);
    QCOMPARE(link.readings.PollsSinceFrame, 1);

    // A good frame after the skipped text, before the next poll, still counts.
    link.receive(kSecondReply);
    QCOMPARE(link.readings.RawPressure1, 7000);
    QCOMPARE(link.readings.Pressure2, 800.0f);
    QCOMPARE(link.readings.PollsSinceFrame, 0);
}

void TestDeviceLink::oneFramePerPollDecodedAtItsCr()
{
    Link link;
    link.receive(kFirstReply);
    const Values first = link.values();

    // A reply that comes in pieces is decoded when its CR arrives, without waiting for the
    // text after it.
    link.poll();
    link.receive(QStringLiteral("000300 00"));
    link.receive(QStringLiteral("7000 -000"));
    QCOMPARE(link.values(), first);
    QVERIFY(!link.readings.FrameTakenSincePoll);
    link.receive(QStringLiteral("01\r0003"));
    QCOMPARE(link.readings.RxBuffer, QStringLiteral("000300 007000 -00001\r0003"));
    QCOMPARE(link.values(), (Values{300, 7000, -1, 30, 700, 0, true, true, false}));
    // Later frames before the next poll are ignored, whether they came with it or after it.
    link.receive(QStringLiteral("00 007000 008000\r") + kSecondReply);
    QCOMPARE(link.readings.RawPressure2, -1);

    // The head of a late reply is dropped at the next poll, so its tail is not read as a
    // frame shifted by nine.
    link.poll();
    link.receive(QStringLiteral("000300 00"));
    link.poll();
    QVERIFY(link.readings.RxBuffer.isEmpty());
    link.receive(QStringLiteral("7000 008000\r000250 0"));
    QCOMPARE(link.readings.RawPressure2, -1);
    QVERIFY(!link.readings.FrameTakenSincePoll);
    link.receive(QStringLiteral("05000 006000\r"));
    QCOMPARE(link.values(), (Values{250, 5000, 6000, 25, 500, 600, true, true, true}));
}

void TestDeviceLink::pollStepSendsWhenThePortIsReady()
{
    Link link;
    link.receive(kFirstReply);
    const Values valid = link.values();

    // A port that is not ready is not polled: the buffer, the count and the readings stay.
    link.portReady = false;
    link.readings.RxBuffer = QStringLiteral("partial");
    for (int i = 0; i < 3 * kStalePolls; ++i)
        link.poll();
    QVERIFY(link.sent.isEmpty());
    QCOMPARE(link.readings.RxBuffer, QStringLiteral("partial"));
    QCOMPARE(link.readings.PollsSinceFrame, 0);
    QCOMPARE(link.values(), valid);

    link.portReady = true;
    link.poll();
    pollStep(link.readings, true, link, link.readings.CalCommand);
    QCOMPARE(link.sent, (QStringList{QStringLiteral("?Z\r"), QStringLiteral("?Z\r")}));
    QVERIFY(link.readings.RxBuffer.isEmpty());
    QVERIFY(!link.readings.FrameTakenSincePoll);
    QCOMPARE(link.readings.PollsSinceFrame, 2);
}

void TestDeviceLink::staleAfterTenUnansweredPolls()
{
    using enum LinkEvent;
    Link link;
    link.poll();
    link.receive(kFirstReply);
    const Values valid = link.values();

    // Ten polls go out unanswered (one noisy answer does not count as a reply).
    for (int i = 0; i < kStalePolls; ++i) {
        link.poll();
        if (i == 4)
            link.receive(QStringLiteral("\r"));
    }
    QCOMPARE(link.values(), valid);
    QCOMPARE(link.events, QList<LinkEvent>());

    // At the eleventh, a second has gone by without a frame: reported once, however long the
    // silence lasts.
    link.poll();
    QCOMPARE(link.values(), (Values{250, 5000, 6000, 0, 0, 0, false, false, false}));
    for (int i = 0; i < 3 * kStalePolls; ++i)
        link.poll();
    link.receive(QStringLiteral("000300 00\r"));
    QVERIFY(!link.readings.BathTempValid);
    QCOMPARE(link.sent.size(), 1 + kStalePolls + 1 + 3 * kStalePolls);
    QCOMPARE(link.events, QList<LinkEvent>{ReadingsStale});

    // The next good frame brings the readings back and restarts the count.
    link.poll();
    link.receive(kSecondReply);
    QCOMPARE(link.values(), (Values{300, 7000, 8000, 30, 700, 800, true, true, true}));
    link.poll();
    link.receive(kFirstReply);
    QCOMPARE(link.events, (QList<LinkEvent>{ReadingsStale, ReadingsBack}));
    for (int i = 0; i < kStalePolls; ++i)
        link.poll();
    QVERIFY(link.readings.Pressure1Valid);
    link.poll();
    QVERIFY(!link.readings.Pressure1Valid);
    QCOMPARE(link.events, (QList<LinkEvent>{ReadingsStale, ReadingsBack, ReadingsStale}));

    // Readings invalidated for a lost port count as stale: the first frame after it is back.
    link.poll();
    link.receive(kSecondReply);
    link.events.clear();
    invalidateReadings(link.readings);
    QVERIFY(!link.readings.Pressure2Valid);
    link.poll();
    link.receive(kFirstReply);
    QCOMPARE(link.values(), valid);
    QCOMPARE(link.events, QList<LinkEvent>{ReadingsBack});
}

void TestDeviceLink::calibrationConstants()
{
    Link link;
    link.calibration.TempZero = 123;
    link.calibration.CalZero = {100, 200};
    link.calibration.CalRange = {2000, 500};
    // The span captures take no part in the conversions.
    link.calibration.CalSpan = {-5, 1e30f};
    link.calibration.TempSpan = 0;
    link.receive(QStringLiteral("001050 005000 005000\r"));
    QCOMPARE(link.values(), (Values{1050, 5000, 5000, 92.7f, 980, 240, true, true, true}));

    // Below the zero capture the reading is negative but valid: only the raw sign counts.
    link.poll();
    link.receive(QStringLiteral("000023 000050 000000\r"));
    QCOMPARE(link.values(), (Values{23, 50, 0, -10, -10, -10, true, true, true}));
}

void TestDeviceLink::differenceInSinglePrecision()
{
    // (7000 - 0.3) in single precision is 6999.7001953125; times 1000 / 10000 in double and
    // stored as float gives 699.970032, where double arithmetic throughout would give the
    // float next to it, 699.969971.
    Link link;
    link.calibration.CalZero = {0.3f, 0.3f};
    link.receive(QStringLiteral("000000 007000 007000\r"));
    QCOMPARE(std::bit_cast<uint32_t>(link.readings.Pressure1),
             std::bit_cast<uint32_t>(699.970032f));
    QVERIFY(link.readings.Pressure1 != 699.969971f);
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
    Link link;
    link.calibration.CalRange[1] = range;
    link.receive(QStringLiteral("001050 007000 020000\r"));
    QCOMPARE(link.values(), (Values{1050, 7000, 20000, 105, 700, 0, true, true, false}));
}

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
