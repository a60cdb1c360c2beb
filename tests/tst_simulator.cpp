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

/// The program's end of the link: the serial component on port 1, recording what arrives.
class Client {
public:
    Client()
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
    void poll() { cm.output(kPollCommand); }

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
    void ignoresAnythingButPolls();
    void setRampAndVent();
    void replyFaults_data();
    void replyFaults();
    void lateReply();
    void splitReply();
    void negativeAndOutOfRangeFields();
    void sendWritesEscapedText();
    void commandErrors();
    void unplugAndReplug();
    void scenarioFile();
    void badScenarioStopsBeforeStarting();
    void endsOnSignalsAndRemovesTheLink_data();
    void endsOnSignalsAndRemovesTheLink();

private:
    /// Starts a simulator with the given options and opens the client on its link.
    bool startWithClient(SimulatorProcess &sim, Client &client, const QStringList &options = {});
};

bool TestSimulator::startWithClient(SimulatorProcess &sim, Client &client,
                                    const QStringList &options)
{
    if (!sim.start(QStringLiteral("COM1"), options)) {
        qWarning("%s", qPrintable(sim.errorString()));
        return false;
    }
    sim.usePortDirectory();
    if (!client.cm.open()) {
        qWarning("%s", qPrintable(client.cm.errorString()));
        return false;
    }
    return true;
}

void TestSimulator::answersPollWithFrame_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("frame");
    QTest::newRow("demo rig") << QStringList{} << kDefaultFrame;
    QTest::newRow("given values") << QStringList{"--temp", "250", "--p1", "5000", "--p2", "-1"}
                                  << QStringLiteral("000250 005000 -00001\r");
}

void TestSimulator::answersPollWithFrame()
{
    QFETCH(QStringList, options);
    QFETCH(QString, frame);
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client, options));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, frame, 10000);
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, frame + frame, 10000);
}

void TestSimulator::ignoresAnythingButPolls()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    client.cm.output(QStringLiteral("hello\r?Y\rZ\r?Z\n"));
    // Noise before a poll on the same line does not hide the poll.
    client.cm.output(QStringLiteral("\r~~?Z\r"));
    QTRY_COMPARE_WITH_TIMEOUT(client.received, kDefaultFrame, 10000);
    QCOMPARE(polls(sim), 1);
}

void TestSimulator::setRampAndVent()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(QStringLiteral("set p1 1234")));
    QVERIFY(sim.run(QStringLiteral("set temp 999")));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, QStringLiteral("000999 001234 007000\r"), 10000);

    // Decay at 1000 counts per second for (at least) one second.
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(sim.run(QStringLiteral("ramp p2 -1000")));
    QVERIFY(sim.run(QStringLiteral("wait 1000")));
    QVERIFY(sim.run(QStringLiteral("ramp p2 0")));
    const double seconds = double(elapsed.elapsed()) / 1000.0;
    const int decayed = statusValue(sim, QStringLiteral("p2"));
    QVERIFY2(decayed <= 6000 + 30 && decayed >= 7000 - 1000 * seconds - 30,
             qPrintable(QStringLiteral("%1 after %2 s").arg(decayed).arg(seconds)));
    // Stopped: it stays where it is.
    QVERIFY(sim.run(QStringLiteral("wait 200")));
    QCOMPARE(statusValue(sim, QStringLiteral("p2")), decayed);

    // A rising ramp, then venting stops it at 0.
    QVERIFY(sim.run(QStringLiteral("ramp p1 5000")));
    QTRY_VERIFY_WITH_TIMEOUT(statusValue(sim, QStringLiteral("p1")) > 1500, 10000);
    QVERIFY(sim.run(QStringLiteral("vent p1")));
    QCOMPARE(statusValue(sim, QStringLiteral("p1")), 0);
    QVERIFY(sim.run(QStringLiteral("wait 200")));
    QCOMPARE(statusValue(sim, QStringLiteral("p1")), 0);

    client.received.clear();
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received,
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
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(fault));
    client.poll();
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(polls(sim), 2, 10000);
    QVERIFY(sim.run(QStringLiteral("normal")));
    client.poll();
    // The pseudo-terminal keeps the order: whatever the faulty polls got comes first.
    QTRY_VERIFY_WITH_TIMEOUT(client.received.endsWith(kDefaultFrame), 10000);
    QCOMPARE(client.received, reply + reply + kDefaultFrame);
}

void TestSimulator::lateReply()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(QStringLiteral("delay 2000")));
    QElapsedTimer elapsed;
    elapsed.start();
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(polls(sim), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(client.received, kDefaultFrame, 10000);
    // Qt may fire a long timer up to 5 % early.
    QVERIFY2(elapsed.elapsed() >= 1800, qPrintable(QString::number(elapsed.elapsed())));

    QVERIFY(sim.run(QStringLiteral("normal")));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, kDefaultFrame + kDefaultFrame, 10000);
}

void TestSimulator::splitReply()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(QStringLiteral("split 3 300")));
    QElapsedTimer elapsed;
    client.poll();
    QTRY_VERIFY_WITH_TIMEOUT(!client.chunks.isEmpty(), 10000);
    elapsed.start();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, kDefaultFrame, 10000);
    QVERIFY2(client.chunks.size() >= 2, qPrintable(client.chunks.join(u'|')));
    QVERIFY(!client.chunks.constFirst().endsWith(u'\r'));
    QVERIFY2(elapsed.elapsed() >= 450, qPrintable(QString::number(elapsed.elapsed())));
}

void TestSimulator::negativeAndOutOfRangeFields()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(QStringLiteral("set temp -99999")));
    QVERIFY(sim.run(QStringLiteral("set p1 40000")));
    QVERIFY(sim.run(QStringLiteral("set p2 -1")));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, QStringLiteral("-99999 040000 -00001\r"), 10000);
    QVERIFY(sim.run(QStringLiteral("set p1 999999")));
    client.poll();
    QTRY_VERIFY_WITH_TIMEOUT(client.received.endsWith(QStringLiteral("-99999 999999 -00001\r")),
                             10000);
}

void TestSimulator::sendWritesEscapedText()
{
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    QVERIFY(sim.run(QStringLiteral("send 00 a\\x20\\t\\\\\\r\\n\\xff")));
    QTRY_COMPARE_WITH_TIMEOUT(client.received, QStringLiteral("00 a \t\\\r\n\u00ff"), 10000);
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
    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client));
    const QString firstTarget = QFileInfo(sim.linkPath()).symLinkTarget();
    QVERIFY(!firstTarget.isEmpty());
    QSignalSpy lost(&client.cm, &SerialComponent::portLost);

    // The answer is awaited with the event loop running, so the loss may come before it.
    QVERIFY(sim.run(QStringLiteral("unplug")));
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QVERIFY(!client.cm.isOpen());
    QVERIFY(!QFileInfo(sim.linkPath()).isSymLink());
    QVERIFY(!client.cm.open());

    QVERIFY(sim.run(QStringLiteral("replug")));
    QVERIFY(QFileInfo(sim.linkPath()).isSymLink());
    QVERIFY(QFileInfo(sim.linkPath()).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
    QVERIFY2(client.cm.open(), qPrintable(client.cm.errorString()));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, kDefaultFrame, 10000);
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

    SimulatorProcess sim;
    Client client;
    QVERIFY(startWithClient(sim, client, {QStringLiteral("--scenario"), scenario.fileName()}));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(client.received, QStringLiteral("001050 001234 -00001\r"), 10000);
    // The scenario's own answers are not printed, so commands on standard input still match.
    QCOMPARE(statusValue(sim, QStringLiteral("p2")), -1);
    QTRY_COMPARE_WITH_TIMEOUT(statusValue(sim, QStringLiteral("p1")), 4321, 10000);
    const int before = polls(sim);
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(polls(sim), before + 1, 10000);
    QVERIFY(sim.run(QStringLiteral("normal")));
    client.poll();
    QTRY_COMPARE_WITH_TIMEOUT(
        client.received, QStringLiteral("001050 001234 -00001\r001050 004321 -00001\r"), 10000);
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
