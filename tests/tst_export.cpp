#include "stationrig.h"

#include "station/exportfile.h"
#include "support/diskfaults.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void init();
    void fileHoldsHeaderCountAndSamples();
    void completionWritesTheRecordedSamples();
    void failedExportComesBackWithTheTick();
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
    StationRecord &record = m_rig->record(0);
    const float firsts[] = {101.5f, 0.5f, -0.25f, 1234567.f, 1e-5f, 0.f, 700.1f};
    for (size_t k = 0; k < 1200; ++k)
        record.Samples[k] = k < 7 ? firsts[k] : 650.f + float(k % 10) / 4;
    record.Samples[1200] = 999.f; // beyond SampleCount: not exported
    record.SampleCount = 1199;

    QVERIFY(!writeExportFile(m_rig->dir.path(), record));
    const QByteArray content = readAll(m_rig->dir.filePath(QStringLiteral("test1.kvr")));
    QVERIFY(content.endsWith("\r\n"));
    QCOMPARE(content.count('\n'), 1202); // every line ends in CR LF, no bare LF or CR
    QCOMPARE(content.count('\r'), 1202);
    QCOMPARE(content.count("\r\n"), 1202);
    QList<QByteArray> lines = content.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
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
    QVERIFY(!QFile::exists(exportPath(rig.state.AppPath)));
    rig.setPressure(1, 680.5f);
    QVERIFY(rig.run(1).exportFailures.empty());
    QCOMPARE(rig.record(1).MsgCaption, QStringLiteral("Test Complete"));

    const QByteArray expected = "Kestrava Test 1\r\n 8 \r\n 700 \r\n 699.5 \r\n 699.25 \r\n"
                                " 700 \r\n 698 \r\n 697 \r\n 696 \r\n 695 \r\n 680.5 \r\n";
    QCOMPARE(readAll(exportPath(rig.state.AppPath)), expected);
}

void TestExport::failedExportComesBackWithTheTick()
{
    StationRig &rig = *m_rig;
    rig.state.AppPath = rig.dir.filePath(QStringLiteral("no/such/folder"));
    rig.reach(0, QStringLiteral("post"));
    rig.start(1);
    rig.run(10);
    rig.setPressure(0, 100);
    rig.setPressure(1, 100);

    // Station 0 completes to an unwritable file and station 1 fails, in the same tick: the
    // failure is handed back and station 1 is still sequenced.
    const SequencerResult result = rig.run(1);
    QCOMPARE(rig.record(0).MsgCaption, QStringLiteral("Test Complete"));
    QCOMPARE(rig.record(1).MsgCaption, QStringLiteral("Leak Test Fail. Restart"));
    QCOMPARE(int(result.stations.size()), 2);
    QCOMPARE(int(result.exportFailures.size()), 1);
    const Failure &failure = result.exportFailures[0];
    QCOMPARE(failure.path, rig.state.AppPath + QStringLiteral("/test1.kvr"));
    QVERIFY(!failure.reason.isEmpty());
    const QString text = exportErrorText(failure);
    QVERIFY2(text.contains(failure.path) && text.contains(failure.reason), qPrintable(text));
}

void TestExport::shortWriteKeepsThePreviousFile()
{
    StationRecord &record = m_rig->record(0);
    const QString folder = m_rig->dir.path();
    record.SampleCount = 0;
    QVERIFY(!writeExportFile(folder, record));
    const QByteArray previous = readAll(exportPath(folder));
    QCOMPARE(previous, QByteArray("Kestrava Test 1\r\n 0 \r\n 0 \r\n"));

    record.SampleCount = 2000;
    MaybeFailure failure;
    {
        FileSizeLimit limit(100);
        QVERIFY(limit.active());
        failure = writeExportFile(folder, record);
    }
    QVERIFY2(failure, "a short write must be reported");
    QVERIFY(!failure->reason.isEmpty());
    QCOMPARE(readAll(exportPath(folder)), previous);
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("test1.kvr")});
}

QTEST_APPLESS_MAIN(TestExport)
#include "tst_export.moc"
