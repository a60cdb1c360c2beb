#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "report/printerdialog.h"
#include "report/reportprint.h"
#include "report/reportwindow.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

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

/// The page as a grey image at the given resolution.
QImage pdfPage(const QByteArray &pdf, int dpi)
{
    return QImage::fromData(onPdf(QStringLiteral("pdftoppm"), pdf,
                                  {"-gray", "-r", QString::number(dpi), "-singlefile"},
                                  QStringLiteral("page.pgm")),
                            "PGM");
}

/// The dark pixels of the page within the rectangle.
int darkPixels(const QImage &page, const QRect &where)
{
    int count = 0;
    const QRect inside = where & page.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += qGray(page.pixel(x, y)) < 128;
    return count;
}

/// Answers the next "Print" dialog as a user: notes the listed printers, clicks the named one
/// and Print, or Cancel when the name is empty. `meanwhile` runs just before the button.
void answerPrintDialog(const QString &printer, QStringList *listed = nullptr,
                       const std::function<void()> &meanwhile = {})
{
    onNextModal([=](QWidget *modal) {
        if (!qobject_cast<PrinterDialog *>(modal)) {
            modal->close();
            return;
        }
        auto *list = named<QListWidget>(modal, "ListPrinters");
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        if (listed)
            *listed = names;
        if (const int row = int(names.indexOf(printer)); row >= 0)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
        if (meanwhile)
            meanwhile();
        named<QPushButton>(modal, printer.isEmpty() ? "cmdCancel" : "cmdPrint")->click();
    });
}

std::unique_ptr<SharedState> stateWithTest()
{
    auto state = std::make_unique<SharedState>();
    StationRecord &station = state->stations[0];
    station.TestStartDate = QStringLiteral("07-12-2026");
    station.TestStartTime = QStringLiteral("22:48:33");
    for (int k = 0; k <= 600; ++k)
        station.Samples[size_t(k)] = 700.0f - float(k) / 20.0f;
    station.SampleCount = 600;
    return state;
}

/// The report window of station ReportStation, as the report button opens it.
std::unique_ptr<ReportWindow> reportOf(SharedState &state)
{
    return std::make_unique<ReportWindow>(stationReport(state), state.handover, state.AppPath,
                                          nullptr);
}

} // namespace

class TstPrinting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void printAndSaveButtons();
    void printFailureShowsPrintError_data();
    void printFailureShowsPrintError();
    void printedPageLeavesTheMarginsBlank_data();
    void printedPageLeavesTheMarginsBlank();

private:
    ModalGuard m_guard;
};

void TstPrinting::initTestCase()
{
    // Without its server this test fails: printing must never go untested.
    QVERIFY2(!g_cupsDir.isEmpty(), "no private CUPS server: run the test through ctest, which "
                                   "starts one");
    QVERIFY(QFile::exists(g_cupsDir + QStringLiteral("/cups.sock")));
    const QStringList printers = installedPrinterNames();
    QVERIFY2(printers.contains(kFirstQueue) && printers.contains(kSecondQueue),
             qPrintable(printers.join(u',')));
}

void TstPrinting::init()
{
    QFile::remove(outputPath(kFirstQueue));
    QFile::remove(outputPath(kSecondQueue));
}

void TstPrinting::cleanup()
{
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TstPrinting::printAndSaveButtons()
{
    auto state = stateWithTest();
    QTemporaryDir dir;
    state->AppPath = dir.path();
    state->handover.CurrentPrinter = kFirstQueue;
    const int jobs[2] = {jobCount(kFirstQueue), jobCount(kSecondQueue)};
    auto report = reportOf(*state);
    named<QLineEdit>(report.get(), "txtOperator")->setText(QStringLiteral("Jane Smith"));
    named<QLineEdit>(report.get(), "txtTestName")->setText(QStringLiteral("Vessel 7 leak test"));
    // Cancel prints nothing; submitting a job ends before the click returns, so none was made.
    answerPrintDialog(QString());
    named<QPushButton>(report.get(), "cmdPrint")->click();
    QCOMPARE(state->handover.PrinterIndex, int16_t(-1));
    QCOMPARE(state->handover.CurrentPrinter, kFirstQueue);
    QCOMPARE(jobCount(kSecondQueue), jobs[1]);

    QStringList listed;
    answerPrintDialog(kSecondQueue, &listed);
    named<QPushButton>(report.get(), "cmdPrint")->click();
    // The dialog listed the printing system's printers in its order.
    QCOMPARE(listed, installedPrinterNames());
    QCOMPARE(state->handover.PrinterIndex, int16_t(listed.indexOf(kSecondQueue)));
    QCOMPARE(state->handover.CurrentPrinter, kSecondQueue);

    const QByteArray pdf = waitForPdf(kSecondQueue);
    QVERIFY2(pdf.startsWith("%PDF"), "no PDF arrived on the second queue");
    const QByteArray info = onPdf(QStringLiteral("pdfinfo"), pdf, {});
    QVERIFY2(info.contains("Pages:           1\n") && info.contains("(A4)"), info.constData());
    const QByteArray text = pdfText(pdf);
    for (const char *expected : {"Vessel 7 leak test", "Operator: Jane Smith", "07-12-2026",
                                 "22:48:33", "Pressure", "KPa", "Time", "00:10:00", "1000"})
        QVERIFY2(text.contains(expected),
                 qPrintable(QStringLiteral("%1 missing from:\n%2").arg(expected, QString(text))));
    QCOMPARE(jobCount(kFirstQueue), jobs[0]);
    QVERIFY(!QFile::exists(outputPath(kFirstQueue)));

    // Save asks for the file, in the program's folder under the test's name, and writes the
    // printed page: the same texts in the same places.
    QString suggested;
    onNextModal([&suggested](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return closeModal(modal);
        suggested = dialog->selectedFiles().value(0);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
    });
    named<QPushButton>(report.get(), "cmdSave")->click();
    QCOMPARE(QFileInfo(suggested).fileName(),
             QStringLiteral("Kestrava test 1 07-12-2026 22-48-33.pdf"));
    QCOMPARE(QFileInfo(suggested).absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    QFile saved(suggested);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(pdfText(saved.readAll()), text);

    // A folder that does not exist: a warning with the reason, and no file.
    const QString missing = dir.filePath(QStringLiteral("gone/report.pdf"));
    SeenMessage seen;
    acceptNextMessage(seen);
    report->saveTo(missing);
    QCOMPARE(seen.title, QStringLiteral("Save Error"));
    QVERIFY2(seen.text.contains(QStringLiteral("gone")), qPrintable(seen.text));
    QVERIFY(!QFile::exists(missing));
}

void TstPrinting::printFailureShowsPrintError_data()
{
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("printer removed while the dialog is open") << true << "no longer installed";
    QTest::newRow("queue refuses jobs") << false << "not accepting";
}

void TstPrinting::printFailureShowsPrintError()
{
    QFETCH(bool, removed);
    QFETCH(QString, reason);
    const QString queue = removed ? QStringLiteral("kestrava_zz_gone") : kFirstQueue;
    if (removed) {
        run(QStringLiteral("lpadmin"), {"-p", queue, "-E", "-v", "file:///dev/null"});
        QTRY_VERIFY(installedPrinterNames().contains(queue));
    } else {
        run(QStringLiteral("cupsreject"), {queue});
    }
    const int jobs = jobCount(queue);
    auto state = stateWithTest();
    auto report = reportOf(*state);
    SeenMessage seen;
    answerPrintDialog(queue, nullptr, [&seen, queue, removed] {
        if (removed) // after the dialog listed it
            run(QStringLiteral("lpadmin"), {"-x", queue});
        acceptNextMessage(seen);
    });
    named<QPushButton>(report.get(), "cmdPrint")->click();
    if (!removed)
        run(QStringLiteral("cupsaccept"), {queue});
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Print Error"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(queue) && seen.text.contains(reason), qPrintable(seen.text));
    QCOMPARE(jobCount(queue), jobs);
    QCOMPARE(state->handover.CurrentPrinter, queue);
}

void TstPrinting::printedPageLeavesTheMarginsBlank_data()
{
    QTest::addColumn<bool>("throughQueue");
    QTest::newRow("PDF") << false;
    QTest::newRow("printer queue") << true;
}

void TstPrinting::printedPageLeavesTheMarginsBlank()
{
    QFETCH(bool, throughQueue);
    // Pressures far off the chart and texts far longer than the page: what reaches past the
    // printable area is cut at its edge, and the paper's 10 mm margins stay blank.
    std::vector<float> store(41);
    for (size_t k = 0; k < store.size(); ++k)
        store[k] = k % 2 ? 5000.0f : -3000.0f;
    const ChartSamples samples{store, 40};
    const ReportHeader header{QString(300, u'W'), QString(300, u'M'), QStringLiteral("07-12-2026"),
                              QStringLiteral("22:48:33")};
    const QString title = QStringLiteral("Kestrava report - Test 1");
    QByteArray pdf;
    if (throughQueue) {
        QString current;
        QVERIFY(!printOnPrinter(current, kFirstQueue, samples, header, title));
        pdf = waitForPdf(kFirstQueue);
    } else {
        QVERIFY(!renderReportPdf(samples, header, title, pdf));
    }
    QVERIFY(pdf.startsWith("%PDF"));

    constexpr int dpi = 100;
    QImage page = pdfPage(pdf, dpi);
    QVERIFY(!page.isNull());
    // The queue's driver turns the landscape page a quarter clockwise onto portrait paper.
    if (page.height() > page.width())
        page = page.transformed(QTransform().rotate(90));
    // A4 across at 100 dpi: 1169 x 827 pixels, give or take one.
    QVERIFY2(std::abs(page.width() - 1169) <= 1 && std::abs(page.height() - 827) <= 1,
             qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
    const double margin = 10 / 25.4 * dpi;
    const int band = int(std::floor(margin)) - 1; // a pixel of rounding
    const QRect printable = page.rect().adjusted(band, band, -band, -band);
    QCOMPARE(darkPixels(page, page.rect()) - darkPixels(page, printable), 0); // in the margins
    // The curve (top and bottom) and the texts (right) do reach the printable area's edges:
    // they were cut there, not lost.
    const int inner = int(std::ceil(margin)) + 1;
    const int w = page.width();
    const int h = page.height();
    QVERIFY(darkPixels(page, {0, inner, w, 4}) > 0);
    QVERIFY(darkPixels(page, {0, h - inner - 4, w, 4}) > 0);
    QVERIFY(darkPixels(page, {w - inner - 4, 0, 4, h}) > 0);
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
    // What the file dialog keeps in the user's settings stays in the test.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QApplication app(argc, argv);
    TstPrinting test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printing.moc"
