#include "device/portname.h"
#include "device/serialcomponent.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <linux/tty.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

/// Set in the environment of the helper run that holds a port until it is killed.
constexpr char kHoldPortVariable[] = "TST_SERIALCOMPONENT_HOLD_PORT";

/// The instrument's end of a pseudo-terminal, reached by the component through a link
/// COM<n> in the port folder.
class FakeInstrument {
public:
    FakeInstrument(const QString &folder, int port)
        : m_link(QDir(folder).filePath(QStringLiteral("COM%1").arg(port)))
    {
        plug();
    }
    ~FakeInstrument() { unplug(); }
    FakeInstrument(const FakeInstrument &) = delete;
    FakeInstrument &operator=(const FakeInstrument &) = delete;

    bool isValid() const { return m_master >= 0; }
    void write(const QByteArray &bytes)
    {
        QVERIFY(::write(m_master, bytes.constData(), bytes.size()) == bytes.size());
    }
    /// Everything received so far.
    QByteArray received()
    {
        char chunk[256];
        for (ssize_t n; (n = ::read(m_master, chunk, sizeof chunk)) > 0;)
            m_received.append(chunk, n);
        return m_received;
    }
    /// Hangs up and removes the link, as when the adapter is pulled out. (The number of the
    /// pseudo-terminal is soon given to another one, which the link must not lead to.)
    void unplug()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
        QFile::remove(m_link);
    }
    /// A new pseudo-terminal behind the same link, as when the adapter is plugged back in.
    void replug()
    {
        unplug();
        m_received.clear();
        plug();
    }
    /// The descriptor the component holds on the port, taken from the process's open files.
    int portDescriptor() const
    {
        for (int fd = 0; fd < 1024; ++fd) {
            char target[128];
            const QByteArray path = "/proc/self/fd/" + QByteArray::number(fd);
            const ssize_t n = readlink(path.constData(), target, sizeof target);
            if (n > 0 && QByteArray(target, n) == m_slave)
                return fd;
        }
        return -1;
    }

private:
    void plug()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        char name[128];
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0 ||
            symlink(name, QFile::encodeName(m_link).constData()) != 0)
            unplug();
        else
            m_slave = name;
    }

    QString m_link;
    QByteArray m_slave;
    QByteArray m_received;
    int m_master = -1;
};

/// Runs an action in the event-loop pass that finds the port's read or write due, before the
/// port gets to it: the device then fails just as the port uses it. It must be made before the
/// port opens, since the event dispatcher serves ready notifiers in the order they were made.
class BeforePortIo {
public:
    BeforePortIo()
    {
        if (pipe2(m_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            char byte;
            while (::read(m_pipe[0], &byte, 1) > 0) {
            }
            if (m_action)
                std::exchange(m_action, {})();
        });
    }
    ~BeforePortIo()
    {
        m_notifier.reset();
        for (int fd : m_pipe)
            if (fd >= 0)
                ::close(fd);
    }
    BeforePortIo(const BeforePortIo &) = delete;
    BeforePortIo &operator=(const BeforePortIo &) = delete;

    void arm(std::function<void()> action)
    {
        m_action = std::move(action);
        QVERIFY(::write(m_pipe[1], "x", 1) == 1);
    }

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_action;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// The helper run: opens the port and holds it until killed.
int holdPort(int port)
{
    SerialComponent cm;
    cm.setCommPort(port);
    if (!cm.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(cm.errorString()));
        return 1;
    }
    std::puts("open");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

enum class Loss {
    HangUp,             ///< the other end closes; the port's next read gets no bytes
    ReadFails,          ///< a read of waiting characters fails
    WriteFails,         ///< a write of the poll fails
    HangUpWhileWriting, ///< the other end closes just as the poll is written
    ReadAndWriteFail,   ///< a read and a write fail in the same pass, before the port closes
};

} // namespace

Q_DECLARE_METATYPE(Loss)

class TestSerialComponent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void textBothWays();
    void receiveBufferHolds1024Bytes_data();
    void receiveBufferHolds1024Bytes();
    void openFailures_data();
    void openFailures();
    void failedOpenIsNotRetried();
    void relativePortFolder();
    void lostPortIsReopened_data();
    void lostPortIsReopened();
    void lockOfAKilledRunIsCleared();

private:
    QTemporaryDir m_folder;
};

void TestSerialComponent::initTestCase()
{
    QVERIFY(m_folder.isValid());
    qputenv(kPortDirVariable, QFile::encodeName(m_folder.path()));
}

void TestSerialComponent::textBothWays()
{
    FakeInstrument instrument(m_folder.path(), 3);
    QVERIFY(instrument.isValid());
    SerialComponent cm;
    cm.setCommPort(3);
    QVERIFY2(cm.open(), qPrintable(cm.errorString()));

    // Text goes out as Latin-1; an empty text sends nothing.
    cm.output(QString());
    cm.output(QStringLiteral("?Z\r"));
    cm.output(QStringLiteral("\u00b0C"));
    QTRY_COMPARE_WITH_TIMEOUT(instrument.received(),
                              QByteArray("?Z\r\xb0"
                                         "C"),
                              10000);

    QString text;
    int otherEvents = 0;
    connect(&cm, &SerialComponent::onComm, this, [&] {
        if (cm.commEvent() == SerialComponent::kEventReceive)
            text += cm.input();
        else
            ++otherEvents;
    });
    instrument.write(QByteArray("000250 005000 -00001\r\xff"));
    QTRY_COMPARE_WITH_TIMEOUT(text, QStringLiteral("000250 005000 -00001\r\u00ff"), 10000);
    QCOMPARE(otherEvents, 0);
    // Reading took the characters out of the buffer.
    QCOMPARE(cm.input(), QString());
}

void TestSerialComponent::receiveBufferHolds1024Bytes_data()
{
    // Characters that arrived together, as after the program was held up for a while: each
    // event brings at most a buffer's worth, and every character comes, in order.
    QTest::addColumn<int>("arrived");
    QTest::addColumn<QList<int>>("eachRead");
    QTest::newRow("one reply") << 21 << QList<int>{21};
    QTest::newRow("a full buffer") << 1024 << QList<int>{1024};
    QTest::newRow("one reply more") << 1045 << QList<int>{1024, 21};
    QTest::newRow("about 14 s of replies") << 3000 << QList<int>{1024, 1024, 952};
}

void TestSerialComponent::receiveBufferHolds1024Bytes()
{
    QFETCH(int, arrived);
    QFETCH(QList<int>, eachRead);
    FakeInstrument instrument(m_folder.path(), 2);
    QVERIFY(instrument.isValid());
    SerialComponent cm;
    cm.setCommPort(2);
    QVERIFY2(cm.open(), qPrintable(cm.errorString()));
    QList<int> reads;
    QString text;
    connect(&cm, &SerialComponent::onComm, this, [&] {
        const QString input = cm.input();
        reads << int(input.size());
        text += input;
    });

    QByteArray replies;
    while (replies.size() < arrived)
        replies += "000250 005000 006000\r";
    replies.truncate(arrived);
    instrument.write(replies);
    // All of it waits at the port before the event loop lets the component read.
    const int port = instrument.portDescriptor();
    QVERIFY(port >= 0);
    QDeadlineTimer deadline(10000);
    int waiting = 0;
    while (ioctl(port, FIONREAD, &waiting) == 0 && waiting < arrived && !deadline.hasExpired())
        QThread::usleep(100);
    QCOMPARE(waiting, arrived);

    QTRY_COMPARE_WITH_TIMEOUT(text.size(), qsizetype(arrived), 10000);
    QCOMPARE(text, QString::fromLatin1(replies));
    QCOMPARE(reads, eachRead);
}

void TestSerialComponent::openFailures_data()
{
    // What the system said, alone; a number without a port says so.
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("reason");
    QTest::newRow("port 0") << 0 << "Invalid port number 0: ports are numbered 1 to 255.";
    QTest::newRow("port 256") << 256 << "Invalid port number 256: ports are numbered 1 to 255.";
    QTest::newRow("missing device") << 7 << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("not a terminal") << 8 << QString::fromLocal8Bit(std::strerror(ENOTTY));
}

void TestSerialComponent::openFailures()
{
    QFETCH(int, port);
    QFETCH(QString, reason);
    QFile plainFile(QDir(m_folder.path()).filePath(QStringLiteral("COM8")));
    QVERIFY(plainFile.open(QIODevice::WriteOnly));
    plainFile.close();

    SerialComponent cm;
    cm.setCommPort(port);
    QVERIFY(!cm.open());
    QVERIFY(!cm.isOpen());
    QCOMPARE(cm.errorString(), reason);
}

void TestSerialComponent::failedOpenIsNotRetried()
{
    SerialComponent cm;
    cm.setCommPort(9);
    QVERIFY(!cm.open());
    QSignalSpy reconnected(&cm, &SerialComponent::reconnected);
    // The device turns up after a failed open: the caller has reported the failure, and the
    // component leaves the port closed.
    FakeInstrument instrument(m_folder.path(), 9);
    QVERIFY(instrument.isValid());
    QVERIFY(!reconnected.wait(SerialComponent::kReconnectIntervalMs + 1000));
    QVERIFY(!cm.isOpen());
}

void TestSerialComponent::relativePortFolder()
{
    // A port folder given relative to the working folder, as an operator may type it: the
    // serial port would take the bare name to be under /dev.
    FakeInstrument instrument(m_folder.path(), 4);
    QVERIFY(instrument.isValid());
    const QString before = QDir::currentPath();
    QFileInfo folder(m_folder.path());
    QVERIFY(QDir::setCurrent(folder.absolutePath()));
    qputenv(kPortDirVariable, QFile::encodeName(folder.fileName()));
    SerialComponent cm;
    cm.setCommPort(4);
    const bool opened = cm.open();
    qputenv(kPortDirVariable, QFile::encodeName(m_folder.path()));
    QDir::setCurrent(before);
    QVERIFY2(opened, qPrintable(cm.errorString()));
}

void TestSerialComponent::lostPortIsReopened_data()
{
    // On Linux a terminal's read or write fails only with EIO (hung up) or EAGAIN, both of
    // which Qt reports as a resource error; a read after a hang-up gets no bytes, which Qt
    // reports as whatever error code an earlier call left. Switching the terminal to the null
    // line discipline makes its reads and writes fail with EOPNOTSUPP, which Qt reports as a
    // read or write error. The null discipline never reports the port ready, so the switch is
    // made between the event loop's wait and the port's read or write.
    QTest::addColumn<Loss>("loss");
    QTest::addColumn<QStringList>("reasons"); // one of these
    QTest::addColumn<bool>("awayForARetry");
    QTest::newRow("hang-up") << Loss::HangUp
                             << QStringList{"read error: hung up", "device unavailable: hung up"}
                             << true;
    QTest::newRow("read error") << Loss::ReadFails
                                << QStringList{"read error: Operation not supported"} << false;
    QTest::newRow("write error") << Loss::WriteFails
                                 << QStringList{"write error: Operation not supported"} << false;
    QTest::newRow("resource error")
        << Loss::HangUpWhileWriting << QStringList{"device unavailable: hung up"} << false;
    QTest::newRow("a second error before the close")
        << Loss::ReadAndWriteFail
        << QStringList{"read error: Operation not supported",
                       "write error: Operation not supported"}
        << false;
}

void TestSerialComponent::lostPortIsReopened()
{
    QFETCH(Loss, loss);
    QFETCH(QStringList, reasons);
    QFETCH(bool, awayForARetry);
    FakeInstrument instrument(m_folder.path(), 5);
    QVERIFY(instrument.isValid());
    BeforePortIo beforePortIo;
    SerialComponent cm;
    cm.setCommPort(5);
    QVERIFY2(cm.open(), qPrintable(cm.errorString()));
    QSignalSpy lost(&cm, &SerialComponent::portLost);
    QSignalSpy reconnected(&cm, &SerialComponent::reconnected);
    QString text;
    connect(&cm, &SerialComponent::onComm, this, [&] { text += cm.input(); });
    const int descriptor = instrument.portDescriptor();
    QVERIFY(descriptor >= 0);
    auto nullDiscipline = [descriptor] {
        const int discipline = N_NULL;
        QVERIFY(ioctl(descriptor, TIOCSETD, &discipline) == 0);
    };

    switch (loss) {
    case Loss::HangUp:
        instrument.unplug();
        break;
    case Loss::ReadFails:
    case Loss::ReadAndWriteFail: {
        instrument.write("000250 005000 006000\r");
        pollfd waiting{descriptor, POLLIN, 0};
        QCOMPARE(poll(&waiting, 1, 10000), 1);
        beforePortIo.arm(nullDiscipline);
        if (loss == Loss::ReadAndWriteFail)
            cm.output(QStringLiteral("?Z\r"));
        break;
    }
    case Loss::WriteFails:
        beforePortIo.arm(nullDiscipline);
        cm.output(QStringLiteral("?Z\r"));
        break;
    case Loss::HangUpWhileWriting:
        beforePortIo.arm([&] { instrument.unplug(); });
        cm.output(QStringLiteral("?Z\r"));
        break;
    }
    QVERIFY(lost.wait(10000));
    QElapsedTimer sinceLoss;
    sinceLoss.start();
    const double cpuAtLoss = cpuSeconds();
    QCOMPARE(lost.count(), 1);
    const QString reason = lost.constFirst().constFirst().toString();
    QVERIFY2(reasons.contains(reason), qPrintable(reason));
    QVERIFY(!cm.isOpen());
    QCOMPARE(text, QString());
    cm.output(QStringLiteral("?Z\r")); // harmless on the closed port
    QCOMPARE(cm.input(), QString());

    // The same device is tried every few seconds, without keeping the processor busy.
    if (awayForARetry)
        QVERIFY(!reconnected.wait(SerialComponent::kReconnectIntervalMs + 500));
    instrument.replug();
    QVERIFY(instrument.isValid());
    QVERIFY(reconnected.wait(2 * SerialComponent::kReconnectIntervalMs + 1000));
    const qint64 waited = sinceLoss.elapsed();
    const double used = cpuSeconds() - cpuAtLoss;
    qInfo("CPU time from the loss to the reconnection %lld ms later: %.3f s", waited, used);
    QVERIFY2(used < 0.1 * double(waited) / 1000, qPrintable(QString::number(used)));
    QVERIFY2(waited > SerialComponent::kReconnectIntervalMs * 3 / 4,
             qPrintable(QString::number(waited)));
    QVERIFY(cm.isOpen());
    QCOMPARE(lost.count(), 1);
    QCOMPARE(reconnected.count(), 1);

    cm.output(QStringLiteral("?Z\r"));
    QTRY_COMPARE_WITH_TIMEOUT(instrument.received(), QByteArray("?Z\r"), 10000);
    instrument.write("000300 007000 008000\r");
    QTRY_COMPARE_WITH_TIMEOUT(text, QStringLiteral("000300 007000 008000\r"), 10000);
}

void TestSerialComponent::lockOfAKilledRunIsCleared()
{
    FakeInstrument instrument(m_folder.path(), 6);
    QVERIFY(instrument.isValid());
    QProcess holder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kHoldPortVariable), QStringLiteral("6"));
    holder.setProcessEnvironment(environment);
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QCoreApplication::applicationFilePath(), {});
    QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() == QProcess::NotRunning, 10000);
    QCOMPARE(holder.readLine(), QByteArray("open\n"));

    // While the holder runs, its lock keeps this process out. Qt keeps the lock in /var/lock
    // when that folder may be written, as on Debian, named after the device's path.
    const QString lock = QStringLiteral("/var/lock/LCK..") + portDeviceName(6).replace(u'/', u'_');
    QVERIFY2(QFileInfo::exists(lock), qPrintable(lock));
    SerialComponent cm;
    cm.setCommPort(6);
    QVERIFY(!cm.open());
    QVERIFY2(cm.errorString().contains(QStringLiteral("lock")), qPrintable(cm.errorString()));

    // Killed, the holder leaves its lock file behind.
    holder.kill();
    QVERIFY(holder.waitForFinished(10000));
    QVERIFY(QFileInfo::exists(lock));
    // A pseudo-terminal keeps the holder's exclusive-use flag while its master is open, which
    // shuts out users other than root; a serial adapter's terminal is released at its last
    // close. A fresh pseudo-terminal behind the link stands for that.
    instrument.replug();
    // The next open finds the lock's owner gone and takes the lock over.
    QVERIFY2(cm.open(), qPrintable(cm.errorString()));
    QFile owner(lock);
    QVERIFY(owner.open(QIODevice::ReadOnly));
    QCOMPARE(owner.readLine().trimmed().toLongLong(), QCoreApplication::applicationPid());
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (const int port = qEnvironmentVariableIntValue(kHoldPortVariable))
        return holdPort(port);
    TestSerialComponent test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_serialcomponent.moc"
