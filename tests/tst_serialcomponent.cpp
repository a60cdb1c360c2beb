#include "device/portname.h"
#include "device/serialcomponent.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

/// The instrument's end of a pseudo-terminal, reached by the component through a link
/// COM<n> in the port folder.
class FakeInstrument {
public:
    FakeInstrument(const QString &folder, int port)
        : m_link(QDir(folder).filePath(QStringLiteral("COM%1").arg(port)))
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        char name[128];
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
            ptsname_r(m_master, name, sizeof name) != 0 ||
            symlink(name, QFile::encodeName(m_link).constData()) != 0)
            closeMaster();
    }
    ~FakeInstrument()
    {
        closeMaster();
        QFile::remove(m_link);
    }
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
    /// Hangs up, as when the adapter is pulled out.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    QString m_link;
    QByteArray m_received;
    int m_master = -1;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

class TestSerialComponent : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void textBothWays();
    void openFailures_data();
    void openFailures();
    void otherEndClosing();
    void relativePortFolder();

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
    QVERIFY(cm.isOpen());

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

void TestSerialComponent::openFailures_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("reason");
    QTest::newRow("port 0") << 0 << "Invalid port number 0";
    QTest::newRow("port 256") << 256 << "Invalid port number 256";
    QTest::newRow("missing device") << 7 << "COM7";
    QTest::newRow("not a terminal") << 8 << "COM8";
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
    QVERIFY2(cm.errorString().contains(reason), qPrintable(cm.errorString()));
    // The platform's reason follows the device name.
    if (port >= 1 && port <= 255)
        QVERIFY2(cm.errorString().section(QStringLiteral("): "), 1).size() > 3,
                 qPrintable(cm.errorString()));
    cm.output(QStringLiteral("?Z\r")); // harmless on a closed port
    QCOMPARE(cm.input(), QString());
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

void TestSerialComponent::otherEndClosing()
{
    FakeInstrument instrument(m_folder.path(), 5);
    QVERIFY(instrument.isValid());
    SerialComponent cm;
    cm.setCommPort(5);
    QVERIFY2(cm.open(), qPrintable(cm.errorString()));
    QSignalSpy lost(&cm, &SerialComponent::portLost);
    cm.output(QStringLiteral("?Z\r"));
    QTRY_COMPARE_WITH_TIMEOUT(instrument.received(), QByteArray("?Z\r"), 10000);

    // At the hang-up read() returns 0 and Qt reports whatever errno was left behind. Anything
    // but EAGAIN, EIO or EBADF leaves its read notifier firing without end.
    errno = 0;
    instrument.closeMaster();
    QVERIFY(lost.wait(10000));
    QCOMPARE(lost.count(), 1);
    QVERIFY(!cm.isOpen());
    QVERIFY(!lost.constFirst().constFirst().toString().isEmpty());

    // A vanished device must not leave the event loop spinning on its errors.
    const double before = cpuSeconds();
    QVERIFY(!lost.wait(1000));
    const double used = cpuSeconds() - before;
    qInfo("CPU time over the second after the hang-up: %.3f s", used);
    QVERIFY2(used < 0.25, qPrintable(QString::number(used)));
    QCOMPARE(lost.count(), 1);

    cm.output(QStringLiteral("?Z\r"));
    QCOMPARE(cm.input(), QString());
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(TestSerialComponent)
#include "tst_serialcomponent.moc"
