#include "stationrig.h"

#include "app/textrules.h"
#include "station/exportfile.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Makes the next writes come up short after `bytes`, as a full disk would, until destroyed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit small = m_saved;
        small.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    bool m_active = false;
};
} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void init();
    void fileHoldsHeaderCountAndSamples();
    void completionWritesTheRecordedSamples();
    void laterCompletionReplacesTheFile();
    void stopAndFailureWriteNothing_data();
    void stopAndFailureWriteNothing();
    void missingFolderIsReported();
    void shortWriteKeepsThePreviousFile();

private:
    std::unique_ptr<StationRig> m_rig;
};

void TestExport::init()
{
    m_rig = std::make_unique<StationRig>();
    QVERIFY(m_rig->dir.isValid());
}

void TestExport::fileHoldsHeaderCountAndSamples()
{
    SharedState &s = m_rig->state;
    const float firsts[] = {101.5f, 0.5f, -0.25f, 1234567.f, 1e-5f, 0.f, 700.1f};
    for (int k = 0; k < 1200; ++k)
        s.stations[0].Samples[k] = k < 7 ? firsts[k] : 650.f + float(k % 10) / 4;
    s.stations[0].Samples[1200] = 999.f; // beyond SampleCount: not exported
    s.stations[0].SampleCount = 1199;

    QVERIFY(!GenerateData(s, 0));
    const QByteArray content = readAll(m_rig->dir.filePath(QStringLiteral("test1.kvr")));
    QVERIFY(content.endsWith("\r\n"));
    QCOMPARE(content.count("\r\n"), 1202);
    QCOMPARE(content.count('\n'), 1202); // no bare LF
    QCOMPARE(content.count('\r'), 1202);
    QList<QByteArray> lines = content.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 1202);
    QCOMPARE(lines[0], QByteArray("Kestrava Test 1\r"));
    QCOMPARE(lines[1], QByteArray(" 1199 \r"));
    const QByteArray expected[] = {" 101.5 \r", " .5 \r", "-.25 \r",  " 1234567 \r",
                                   " 1E-05 \r", " 0 \r",  " 700.1 \r"};
    for (int k = 0; k < 7; ++k)
        QCOMPARE(lines[2 + k], expected[k]);
    QCOMPARE(lines[2 + 7], QByteArray(" 651.75 \r"));
    QCOMPARE(lines[1201], QByteArray(" 652.25 \r"));
}

void TestExport::completionWritesTheRecordedSamples()
{
    StationRig &rig = *m_rig;
    rig.state.parameters.LeakTestDuration = 3;
    rig.state.parameters.MainTestDuration = 4;
    rig.start(1);
    for (float p : {700.f, 699.5f, 699.25f}) {
        rig.setPressure(1, p);
        rig.run(1);
    }
    rig.start(1);
    for (float p : {700.f, 698.f, 697.f, 696.f, 695.f}) {
        rig.setPressure(1, p);
        rig.run(1);
    }
    QVERIFY(!QFile::exists(exportPath(rig.state)));
    rig.setPressure(1, 680.5f);
    QVERIFY(rig.run(1).exportFailures.empty());
    QCOMPARE(rig.state.stations[1].MsgCaption, QStringLiteral("Test Complete"));

    const QByteArray expected = "Kestrava Test 1\r\n 8 \r\n 700 \r\n 699.5 \r\n 699.25 \r\n"
                                " 700 \r\n 698 \r\n 697 \r\n 696 \r\n 695 \r\n 680.5 \r\n";
    QCOMPARE(readAll(exportPath(rig.state)), expected);
}

void TestExport::laterCompletionReplacesTheFile()
{
    StationRig &rig = *m_rig;
    rig.state.parameters.LeakTestDuration = 1;
    rig.state.parameters.MainTestDuration = 1;
    rig.reach(0, QStringLiteral("completed"));
    QCOMPARE(readAll(exportPath(rig.state)), exportText(rig.state, 0));
    const QByteArray first = exportText(rig.state, 0);

    rig.setPressure(1, 750);
    rig.reach(1, QStringLiteral("main"));
    rig.run(5);
    rig.setPressure(1, 735.5f);
    rig.run(1);
    const QByteArray second = readAll(exportPath(rig.state));
    QVERIFY(second != first);
    QCOMPARE(second, exportText(rig.state, 1));
    QVERIFY(second.startsWith("Kestrava Test 1\r\n 6 \r\n 750 \r\n"));
    QCOMPARE(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("test1.kvr")});
}

void TestExport::stopAndFailureWriteNothing_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<bool>("stop"); // Stop, then the fall
    QTest::newRow("stop in the post-test phase") << "post" << true;
    QTest::newRow("leak test failure") << "leak" << false;
    QTest::newRow("main test failure") << "main" << false;
}

void TestExport::stopAndFailureWriteNothing()
{
    QFETCH(QString, stage);
    QFETCH(bool, stop);
    StationRig &rig = *m_rig;
    QFile old(exportPath(rig.state));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an earlier test\r\n");
    old.close();

    rig.reach(0, stage);
    rig.run(2);
    if (stop)
        testStopPressed(rig.state, 0);
    rig.setPressure(0, 650);
    QVERIFY(rig.run(3).exportFailures.empty());
    QVERIFY(!rig.state.stations[0].TestRunning);
    QCOMPARE(readAll(exportPath(rig.state)), QByteArray("an earlier test\r\n"));
}

void TestExport::missingFolderIsReported()
{
    SharedState &s = m_rig->state;
    s.AppPath = m_rig->dir.filePath(QStringLiteral("no/such/folder"));
    s.stations[0].SampleCount = 5;
    const auto failure = GenerateData(s, 0);
    QVERIFY(failure);
    QCOMPARE(failure->path, s.AppPath + QStringLiteral("/test1.kvr"));
    QVERIFY(!failure->reason.isEmpty());
    const QString text = exportErrorText(*failure);
    QVERIFY2(text.contains(failure->path) && text.contains(failure->reason), qPrintable(text));
    QCOMPARE(kExportErrorTitle, QStringLiteral("Export Error"));
}

void TestExport::shortWriteKeepsThePreviousFile()
{
    SharedState &s = m_rig->state;
    s.stations[0].SampleCount = 0;
    QVERIFY(!GenerateData(s, 0));
    const QByteArray previous = readAll(exportPath(s));
    QCOMPARE(previous, QByteArray("Kestrava Test 1\r\n 0 \r\n 0 \r\n"));

    s.stations[0].SampleCount = 2000;
    std::optional<ExportFailure> failure;
    {
        FileSizeLimit limit(100);
        QVERIFY(limit.active());
        failure = GenerateData(s, 0);
    }
    QVERIFY2(failure, "a short write must be reported");
    QVERIFY(!failure->reason.isEmpty());
    QCOMPARE(readAll(exportPath(s)), previous);
    QCOMPARE(QDir(m_rig->dir.path()).entryList(QDir::Files),
             QStringList{QStringLiteral("test1.kvr")});
}

QTEST_APPLESS_MAIN(TestExport)
#include "tst_export.moc"
