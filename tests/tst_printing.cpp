#include "app/sharedstate.h"
#include "report/printerdialog.h"
#include "report/reportwindow.h"
#include "report/reportprint.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

/// The folder of the private CUPS server the test fixture started (empty without one).
QString g_cupsDir;

const QString kFirstQueue = QStringLiteral("kestrava_pdf_1");
const QString kSecondQueue = QStringLiteral("kestrava_pdf_2");

QString outputPath(const QString &queue)
{
    return g_cupsDir + QStringLiteral("/out/") + queue + QStringLiteral(".prn");
}

/// Runs a tool to its end and gives its standard output.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        qWarning() << program << "did not finish";
    return process.readAllStandardOutput();
}

/// The number of jobs the server has had for the queue, finished or not.
int jobCount(const QString &queue)
{
    const QByteArray list = run(QStringLiteral("lpstat"), {"-W", "all", "-o", queue});
    return int(list.count('\n'));
}

/// Waits for the queue's output to be complete and gives the PDF in it, cut from its %PDF
/// mark (the driver puts a job header in front).
QByteArray waitForPdf(const QString &queue)
{
    QByteArray data;
    const bool complete = QTest::qWaitFor(
        [&] {
            QFile file(outputPath(queue));
            if (!file.open(QIODevice::ReadOnly))
                return false;
            data = file.readAll();
            return data.contains("%%EOF") && jobCount(queue) > 0 &&
                   run(QStringLiteral("lpstat"), {"-o", queue}).isEmpty();
        },
        60000);
    if (!complete)
        return {};
    const qsizetype start = data.indexOf("%PDF");
    return start >= 0 ? data.mid(start) : QByteArray();
}

/// Runs a poppler tool on a PDF held in memory; `output` names a file the tool writes (its
/// content is returned) or is empty for the tool's standard output.
QByteArray onPdf(const QString &tool, const QByteArray &pdf, const QStringList &arguments,
                 const QString &output = {})
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size())
        return {};
    file.close();
    if (output.isEmpty())
        return run(tool, QStringList(arguments) << path);
    run(tool, QStringList(arguments) << path << dir.filePath(QStringLiteral("page")));
    QFile result(dir.filePath(output));
    return result.open(QIODevice::ReadOnly) ? result.readAll() : QByteArray();
}

QByteArray pdfText(const QByteArray &pdf)
{
    return onPdf(QStringLiteral("pdftotext"), pdf, {"-layout"}, QStringLiteral("page"));
}

QByteArray pdfInfo(const QByteArray &pdf)
{
    return onPdf(QStringLiteral("pdfinfo"), pdf, {});
}

/// The page as a small grey image, for comparing two pages.
QByteArray pdfRaster(const QByteArray &pdf)
{
    return onPdf(QStringLiteral("pdftoppm"), pdf, {"-gray", "-r", "30", "-singlefile"},
                 QStringLiteral("page.pgm"));
}

/// Calls the action on the first modal window of type T once it is up.
template <typename T> void whenModal(std::function<void(T *)> action)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            action(window);
        }
    });
    poll->start();
}

/// Answers the "Print" dialog with the named printer (or Cancel when the name is empty).
void answerPrintDialog(const QString &printer, QStringList *listed = nullptr)
{
    whenModal<PrinterDialog>([printer, listed](PrinterDialog *dialog) {
        QStringList names;
        for (int i = 0; i < dialog->ListPrinters->count(); ++i)
            names << dialog->ListPrinters->item(i)->text();
        if (listed)
            *listed = names;
        if (printer.isEmpty()) {
            dialog->cmdCancel->click();
            return;
        }
        dialog->ListPrinters->setCurrentRow(int(names.indexOf(printer)));
        dialog->cmdPrint->click();
    });
}

/// Answers the next message box with OK, keeping its title and text.
void answerMessageBox(QString *title, QString *text)
{
    whenModal<QMessageBox>([title, text](QMessageBox *box) {
        *title = box->windowTitle();
        *text = box->text();
        box->accept();
    });
}

std::unique_ptr<SharedState> stateWithTest()
{
    auto state = std::make_unique<SharedState>();
    state->stations[0].TestStartDate = QStringLiteral("07-12-2026");
    state->stations[0].TestStartTime = QStringLiteral("22:48:33");
    for (int k = 0; k <= 600; ++k)
        state->stations[0].Samples[size_t(k)] = 700.0f - float(k) / 20.0f;
    state->stations[0].SampleCount = 600;
    return state;
}

void removeOutputs()
{
    QFile::remove(outputPath(kFirstQueue));
    QFile::remove(outputPath(kSecondQueue));
}

} // namespace

class TstPrinting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void printsOnePageOnTheChosenPrinter();
    void twoPrintsOfAnIdleStationGiveTheSamePage();
    void cancelPrintsNothing();
    void printerGoneShowsPrintError();
    void refusedJobShowsPrintError();
    void saveWritesThePrintedPageAsPdf();
    void saveButtonAsksForTheFileAndReportsFailure();
};

void TstPrinting::initTestCase()
{
    if (g_cupsDir.isEmpty())
        QSKIP("no private CUPS server: the fixture was skipped");
    QVERIFY(QFile::exists(g_cupsDir + QStringLiteral("/cups.sock")));
    const QStringList printers = installedPrinterNames();
    QVERIFY2(printers.contains(kFirstQueue) && printers.contains(kSecondQueue),
             qPrintable(printers.join(u',')));
}

void TstPrinting::init()
{
    removeOutputs();
}

void TstPrinting::printsOnePageOnTheChosenPrinter()
{
    auto state = stateWithTest();
    const int firstJobs = jobCount(kFirstQueue);
    QStringList listed;
    {
        ReportWindow report(*state, nullptr);
        report.txtOperator->setText(QStringLiteral("Jane Smith"));
        report.txtTestName->setText(QStringLiteral("Vessel 7 leak test"));
        answerPrintDialog(kSecondQueue, &listed);
        report.cmdPrint->click();
    }
    // The dialog listed the printing system's printers in its order.
    QCOMPARE(listed, installedPrinterNames());
    QCOMPARE(state->handover.PrinterIndex, int16_t(listed.indexOf(kSecondQueue)));
    QCOMPARE(state->handover.CurrentPrinter, kSecondQueue); // still current after the window has gone

    const QByteArray pdf = waitForPdf(kSecondQueue);
    QVERIFY2(pdf.startsWith("%PDF"), "no PDF arrived on the second queue");
    const QByteArray info = pdfInfo(pdf);
    QVERIFY2(info.contains("Pages:           1\n"), info.constData());
    QVERIFY2(info.contains("(A4)"), info.constData());
    const QByteArray text = pdfText(pdf);
    for (const char *expected : {"Vessel 7 leak test", "Operator: Jane Smith", "07-12-2026",
                                 "22:48:33", "Pressure", "KPa", "Time", "00:10:00", "1000"})
        QVERIFY2(text.contains(expected),
                 qPrintable(QStringLiteral("%1 missing from:\n%2").arg(expected, QString(text))));
    QCOMPARE(jobCount(kFirstQueue), firstJobs);
    QVERIFY(!QFile::exists(outputPath(kFirstQueue)));
}

void TstPrinting::twoPrintsOfAnIdleStationGiveTheSamePage()
{
    auto state = stateWithTest();
    ReportWindow report(*state, nullptr);
    QByteArray pages[2];
    for (QByteArray &page : pages) {
        removeOutputs();
        answerPrintDialog(kSecondQueue);
        report.cmdPrint->click();
        page = waitForPdf(kSecondQueue);
        QVERIFY(page.startsWith("%PDF"));
    }
    QCOMPARE(pdfText(pages[1]), pdfText(pages[0]));
    const QByteArray raster = pdfRaster(pages[0]);
    QVERIFY(raster.size() > 1000);
    QCOMPARE(pdfRaster(pages[1]), raster);
}

void TstPrinting::cancelPrintsNothing()
{
    auto state = stateWithTest();
    state->handover.CurrentPrinter = kFirstQueue;
    const int jobs[2] = {jobCount(kFirstQueue), jobCount(kSecondQueue)};
    ReportWindow report(*state, nullptr);
    answerPrintDialog(QString());
    report.cmdPrint->click();
    QCOMPARE(state->handover.PrinterIndex, int16_t(-1));
    QCOMPARE(state->handover.CurrentPrinter, kFirstQueue);
    // Submitting a job ends before the click returns, so none was made.
    QCOMPARE(jobCount(kFirstQueue), jobs[0]);
    QCOMPARE(jobCount(kSecondQueue), jobs[1]);
}

void TstPrinting::printerGoneShowsPrintError()
{
    const QString queue = QStringLiteral("kestrava_zz_gone");
    run(QStringLiteral("lpadmin"), {"-p", queue, "-E", "-v", "file:///dev/null"});
    QTRY_VERIFY(installedPrinterNames().contains(queue));

    auto state = stateWithTest();
    ReportWindow report(*state, nullptr);
    // The printer is removed while the dialog is open, after it listed it.
    whenModal<PrinterDialog>([queue](PrinterDialog *dialog) {
        const auto found = dialog->ListPrinters->findItems(queue, Qt::MatchExactly);
        dialog->ListPrinters->setCurrentItem(found.value(0));
        run(QStringLiteral("lpadmin"), {"-x", queue});
        dialog->cmdPrint->click();
    });
    QString title;
    QString text;
    answerMessageBox(&title, &text);
    report.cmdPrint->click();
    QCOMPARE(title, QStringLiteral("Print Error"));
    QVERIFY2(text.contains(QStringLiteral("no longer installed")), qPrintable(text));
    QVERIFY(state->handover.PrinterIndex >= 0);
}

void TstPrinting::refusedJobShowsPrintError()
{
    run(QStringLiteral("cupsreject"), {kFirstQueue});
    auto state = stateWithTest();
    const int jobs = jobCount(kFirstQueue);
    QString title;
    QString text;
    {
        ReportWindow report(*state, nullptr);
        answerPrintDialog(kFirstQueue);
        answerMessageBox(&title, &text);
        report.cmdPrint->click();
    }
    run(QStringLiteral("cupsaccept"), {kFirstQueue});
    QCOMPARE(title, QStringLiteral("Print Error"));
    QVERIFY2(text.contains(kFirstQueue) && text.contains(QStringLiteral("accepting")),
             qPrintable(text));
    QCOMPARE(jobCount(kFirstQueue), jobs);
    QCOMPARE(state->handover.CurrentPrinter, kFirstQueue);
}

void TstPrinting::saveWritesThePrintedPageAsPdf()
{
    auto state = stateWithTest();
    ReportWindow report(*state, nullptr);
    report.txtOperator->setText(QStringLiteral("Jane Smith"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QCOMPARE(report.saveReport(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    QVERIFY(saved.startsWith("%PDF"));
    const QByteArray info = pdfInfo(saved);
    QVERIFY2(info.contains("Pages:           1\n"), info.constData());
    QVERIFY2(info.contains("(A4)"), info.constData());

    answerPrintDialog(kSecondQueue);
    report.cmdPrint->click();
    const QByteArray printed = waitForPdf(kSecondQueue);
    QVERIFY(printed.startsWith("%PDF"));
    // The same texts in the same places as the printed page.
    QCOMPARE(pdfText(saved), pdfText(printed));
}

void TstPrinting::saveButtonAsksForTheFileAndReportsFailure()
{
    auto state = stateWithTest();
    QTemporaryDir dir;
    state->AppPath = dir.path();
    ReportWindow report(*state, nullptr);

    QString suggested;
    whenModal<QFileDialog>([&suggested](QFileDialog *dialog) {
        suggested = dialog->selectedFiles().value(0);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
    });
    report.cmdSave->click();
    QCOMPARE(QFileInfo(suggested).fileName(),
             QStringLiteral("Kestrava test 1 07-12-2026 22-48-33.pdf"));
    QFile saved(suggested);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.read(4) == "%PDF");

    // A folder that does not exist: a warning with the reason, and no file.
    const QString missing = dir.filePath(QStringLiteral("gone/report.pdf"));
    QString title;
    QString text;
    answerMessageBox(&title, &text);
    report.saveTo(missing);
    QCOMPARE(title, QStringLiteral("Save Error"));
    QVERIFY2(text.contains(QStringLiteral("gone")), qPrintable(text));
    QVERIFY(!QFile::exists(missing));
}

int main(int argc, char *argv[])
{
    // The fixture names the server's folder; clients reach it through CUPS_SERVER, which
    // must be set before the printing support first asks for printers.
    QFile info(qEnvironmentVariable("KESTRAVA_CUPS_INFO"));
    if (info.open(QIODevice::ReadOnly)) {
        g_cupsDir = QString::fromLocal8Bit(info.readAll()).trimmed();
        qputenv("CUPS_SERVER", (g_cupsDir + QStringLiteral("/cups.sock")).toLocal8Bit());
    }
    QApplication app(argc, argv);
    TstPrinting test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printing.moc"
