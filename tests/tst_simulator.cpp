#include "app/sharedstate.h"
#include "device/serialcomponent.h"
#include "support/simulatorprocess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

namespace {

/// A simulator and the program's end of its link: the serial component on port 1, recording
/// what arrives.
class Link {
public:
    Link()
    {
        cm.setCommPort(1);
        QObject::connect(&cm, &SerialComponent::onComm, &cm, [this] {
            const QString text = cm.input();
            if (!text.isEmpty()) {
                chunks.append(text);
                received += text;
            }
        });
    }
    /// Starts the simulator with the given options and opens the component on its link.
    bool start(const QStringList &options = {})
    {
        if (!sim.start(QStringLiteral("COM1"), options)) {
            qWarning("%s", qPrintable(sim.errorString()));
            return false;
        }
        sim.usePortDirectory();
        if (!cm.open())
            qWarning("%s", qPrintable(cm.errorString()));
        return cm.isOpen();
    }
    void poll() { cm.output(kPollCommand); }

    SimulatorProcess sim;
    SerialComponent cm;
    QString received;
    QStringList chunks;
};

const QString kDefaultFrame = QStringLiteral("001050 007000 007000\r");

/// The raw value of one channel as the simulator reports it in its status line.
int statusValue(SimulatorProcess &sim, const QString &channel)
{
    const QStringList words = sim.command(QStringLiteral("status")).split(u' ');
    const qsizetype at = words.indexOf(channel);
    return at > 0 && at + 1 < words.size() ? words[at + 1].toInt() : -1000000;
}

int polls(SimulatorProcess &sim)
{
    return statusValue(sim, QStringLiteral("polls"));
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

private slots:
    void answersPollWithFrame_data();
    void answersPollWithFrame();
    void setRampAndVent();
    void replyFaults_data();
    void replyFaults();
    void lateOrSplitReply_data();
    void lateOrSplitReply();
    void sendWritesEscapedText();
    void commandErrors();
    void unplugAndReplug();
    void scenarioFile();
    void badScenarioStopsBeforeStarting();
    void endsOnSignalsAndRemovesTheLink_data();
    void endsOnSignalsAndRemovesTheLink();
};

void TestSimulator::answersPollWithFrame_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("frame");
    QTest::newRow("demo rig") << QStringList{} << kDefaultFrame;
    QTest::newRow("given values") << QStringList{"--temp", "250", "--p1", "5000", "--p2", "-1"}
                                  << QStringLiteral("000250 005000 -00001\r");
    QTest::newRow("fields beyond the instrument's range")
        << QStringList{"--temp", "-99999", "--p1", "999999", "--p2", "40000"}
        << QStringLiteral("-99999 999999 040000\r");
}

void TestSimulator::answersPollWithFrame()
{
    QFETCH(QStringList, options);
    QFETCH(QString, frame);
    Link link;
    QVERIFY(link.start(options));
    // Anything but a poll is ignored; noise before a poll on the same line does not hide it.
    link.cm.output(QStringLiteral("hello\r?Y\rZ\r?Z\n"));
    link.cm.output(QStringLiteral("\r~~?Z\r"));
    QTRY_COMPARE_WITH_TIMEOUT(link.received, frame, 10000);
    QCOMPARE(polls(link.sim), 1);
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, frame + frame, 10000);
}

void TestSimulator::setRampAndVent()
{
    Link link;
    QVERIFY(link.start());
    QVERIFY(link.sim.run(QStringLiteral("set p1 1234")));
    QVERIFY(link.sim.run(QStringLiteral("set temp 999")));
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, QStringLiteral("000999 001234 007000\r"), 10000);

    // Decay at 1000 counts per second for (at least) one second.
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(link.sim.run(QStringLiteral("ramp p2 -1000")));
    QVERIFY(link.sim.run(QStringLiteral("wait 1000")));
    QVERIFY(link.sim.run(QStringLiteral("ramp p2 0")));
    const double seconds = double(elapsed.elapsed()) / 1000.0;
    const int decayed = statusValue(link.sim, QStringLiteral("p2"));
    QVERIFY2(decayed <= 6000 + 30 && decayed >= 7000 - 1000 * seconds - 30,
             qPrintable(QStringLiteral("%1 after %2 s").arg(decayed).arg(seconds)));
    // Stopped: it stays where it is.
    QVERIFY(link.sim.run(QStringLiteral("wait 200")));
    QCOMPARE(statusValue(link.sim, QStringLiteral("p2")), decayed);

    // A rising ramp, then venting stops it at 0.
    QVERIFY(link.sim.run(QStringLiteral("ramp p1 5000")));
    QTRY_VERIFY_WITH_TIMEOUT(statusValue(link.sim, QStringLiteral("p1")) > 1500, 10000);
    QVERIFY(link.sim.run(QStringLiteral("vent p1")));
    QCOMPARE(statusValue(link.sim, QStringLiteral("p1")), 0);
    QVERIFY(link.sim.run(QStringLiteral("wait 200")));
    QCOMPARE(statusValue(link.sim, QStringLiteral("p1")), 0);

    link.received.clear();
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received,
                              QStringLiteral("000999 000000 %1\r").arg(decayed, 6, 10, QChar(u'0')),
                              10000);
}

void TestSimulator::replyFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reply");
    QTest::newRow("silent") << "silent" << QString();
    QTest::newRow("garbage") << "garbage"
                             << QString::fromLatin1("#@!~%^&*xq\x01\x7f\xfe\xff{}[]<>\r");
    QTest::newRow("short frame") << "short"
                                 << "001050 007000\r";
    QTest::newRow("lone CR") << "cr"
                             << "\r";
}

void TestSimulator::replyFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, reply);
    Link link;
    QVERIFY(link.start());
    QVERIFY(link.sim.run(fault));
    link.poll();
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(polls(link.sim), 2, 10000);
    QVERIFY(link.sim.run(QStringLiteral("normal")));
    link.poll();
    // The pseudo-terminal keeps the order: whatever the faulty polls got comes first.
    QTRY_VERIFY_WITH_TIMEOUT(link.received.endsWith(kDefaultFrame), 10000);
    QCOMPARE(link.received, reply + reply + kDefaultFrame);
}

void TestSimulator::lateOrSplitReply_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("atLeastMs"); // from the poll to the end of the reply
    QTest::addColumn<int>("pieces");    // at least
    // Qt may fire a timer up to 5 % early.
    QTest::newRow("delay") << "delay 1000" << 950 << 1;
    QTest::newRow("split") << "split 3 300" << 570 << 2;
}

void TestSimulator::lateOrSplitReply()
{
    QFETCH(QString, fault);
    QFETCH(int, atLeastMs);
    QFETCH(int, pieces);
    Link link;
    QVERIFY(link.start());
    QVERIFY(link.sim.run(fault));
    QElapsedTimer elapsed;
    elapsed.start();
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, kDefaultFrame, 10000);
    QVERIFY2(elapsed.elapsed() >= atLeastMs, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY2(link.chunks.size() >= pieces, qPrintable(link.chunks.join(u'|')));
    // "normal" undoes it.
    QVERIFY(link.sim.run(QStringLiteral("normal")));
    link.chunks.clear();
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, kDefaultFrame + kDefaultFrame, 10000);
    QCOMPARE(link.chunks.size(), 1);
}

void TestSimulator::sendWritesEscapedText()
{
    Link link;
    QVERIFY(link.start());
    QVERIFY(link.sim.run(QStringLiteral("send 00 a\\x20\\t\\\\\\r\\n\\xff")));
    QTRY_COMPARE_WITH_TIMEOUT(link.received, QStringLiteral("00 a \t\\\r\n\u00ff"), 10000);
}

void TestSimulator::commandErrors()
{
    SimulatorProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    const QStringList bad = {
        "set p3 5", "set p1 1000000", "set p1 12.5",   "ramp p1 fast", "vent temp",
        "delay -1", "split 0",        "split 22",      "split 2 x",    "send",
        "send \\q", "send \\x4",      "silent please", "fly",          "replug",
    };
    for (const QString &line : bad) {
        const QString answer = sim.command(line);
        QVERIFY2(answer.startsWith(QStringLiteral("error ")),
                 qPrintable(line + QStringLiteral(" -> ") + answer));
    }
    // Blank lines and comments get no answer; the next command's answer comes next.
    QCOMPARE(sim.command(QStringLiteral("# comment\n\nset p1 5")), QStringLiteral("ok"));
    QCOMPARE(statusValue(sim, QStringLiteral("p1")), 5);
    QVERIFY(sim.run(QStringLiteral("unplug")));
    QVERIFY(sim.command(QStringLiteral("unplug")).startsWith(QStringLiteral("error ")));
    QVERIFY(sim.command(QStringLiteral("send x")).startsWith(QStringLiteral("error ")));
    QVERIFY(sim.command(QStringLiteral("status")).endsWith(QStringLiteral(" unplugged")));
}

void TestSimulator::unplugAndReplug()
{
    Link link;
    QVERIFY(link.start());
    const QString firstTarget = QFileInfo(link.sim.linkPath()).symLinkTarget();
    QVERIFY(!firstTarget.isEmpty());
    QSignalSpy lost(&link.cm, &SerialComponent::portLost);

    // The answer is awaited with the event loop running, so the loss may come before it.
    QVERIFY(link.sim.run(QStringLiteral("unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QVERIFY(!link.cm.isOpen());
    QVERIFY(!QFileInfo(link.sim.linkPath()).isSymLink());
    QVERIFY(!link.cm.open());

    QVERIFY(link.sim.run(QStringLiteral("replug")));
    QVERIFY(QFileInfo(link.sim.linkPath()).isSymLink());
    QVERIFY(QFileInfo(link.sim.linkPath()).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    QVERIFY2(link.cm.open(), qPrintable(link.cm.errorString()));
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, kDefaultFrame, 10000);
    QCOMPARE(lost.count(), 1);
}

void TestSimulator::scenarioFile()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile scenario(folder.filePath(QStringLiteral("scenario.txt")));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    scenario.write("# a leak on vessel 1 after three seconds\n"
                   "set p1 1234\n"
                   "\n"
                   "  set p2 -1  \n"
                   "wait 3000\n"
                   "set p1 4321\n"
                   "silent\n");
    scenario.close();

    Link link;
    QVERIFY(link.start({QStringLiteral("--scenario"), scenario.fileName()}));
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(link.received, QStringLiteral("001050 001234 -00001\r"), 10000);
    // The scenario's own answers are not printed, so commands on standard input still match.
    QCOMPARE(statusValue(link.sim, QStringLiteral("p2")), -1);
    QTRY_COMPARE_WITH_TIMEOUT(statusValue(link.sim, QStringLiteral("p1")), 4321, 10000);
    const int before = polls(link.sim);
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(polls(link.sim), before + 1, 10000);
    QVERIFY(link.sim.run(QStringLiteral("normal")));
    link.poll();
    QTRY_COMPARE_WITH_TIMEOUT(
        link.received, QStringLiteral("001050 001234 -00001\r001050 004321 -00001\r"), 10000);
}

void TestSimulator::badScenarioStopsBeforeStarting()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("bad.txt"));
    QFile scenario(path);
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    scenario.write("set p1 5\nramp p9 1\n");
    scenario.close();

    QProcess process;
    process.start(qEnvironmentVariable("KESTRAVA_SIM"),
                  {"--link", folder.filePath(QStringLiteral("COM1")), "--scenario", path});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY2(process.readAllStandardError().contains("bad.txt:2:"), "line number missing");
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!QFileInfo(folder.filePath(QStringLiteral("COM1"))).isSymLink());
}

void TestSimulator::endsOnSignalsAndRemovesTheLink_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("quit command") << 0;
}

void TestSimulator::endsOnSignalsAndRemovesTheLink()
{
    QFETCH(int, signal);
    SimulatorProcess sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(QFileInfo(sim.linkPath()).isSymLink());
    if (signal == 0)
        QCOMPARE(sim.command(QStringLiteral("quit")), QStringLiteral("ok"));
    else
        QCOMPARE(::kill(pid_t(sim.processId()), signal), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!sim.isRunning(), 10000);
    QVERIFY(sim.stop());
    QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
