#include "report/reportprint.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/printerpage.h"
#include "report/cupsjob.h"
#include "report/printerdialog.h"

#include <QBuffer>
#include <QMessageBox>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinterInfo>

namespace {

/// Margins of the report page where the printer allows them.
const QMarginsF kPageMargins(10, 10, 10, 10);

} // namespace

QStringList installedPrinterNames()
{
    QStringList names;
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo &printer : printers)
        names << printer.printerName();
    return names;
}

MaybeFailure renderReportPage(QPagedPaintDevice &device, const ChartSamples &samples,
                              const ReportHeader &header)
{
    PrinterPage page(device);
    if (!page.isActive())
        return Failure{QStringLiteral("The page could not be started."), {}};
    drawReportPage(page, samples, header);
    if (!page.endDoc())
        return Failure{QStringLiteral("The page could not be completed."), {}};
    return std::nullopt;
}

MaybeFailure renderReportPdf(const ChartSamples &samples, const ReportHeader &header,
                             const QString &title, QByteArray &pdf)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Kestrava"));
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         kPageMargins, QPageLayout::Millimeter));
        if (MaybeFailure failure = renderReportPage(writer, samples, header))
            return failure;
    }
    pdf = buffer.data();
    return std::nullopt;
}

MaybeFailure printOnPrinter(QString &currentPrinter, const QString &printer,
                            const ChartSamples &samples, const ReportHeader &header,
                            const QString &title)
{
    currentPrinter = printer;
    if (!installedPrinterNames().contains(printer))
        return Failure{QStringLiteral("The printer \"%1\" is no longer installed.").arg(printer),
                       {}};
    QByteArray pdf;
    if (MaybeFailure failure = renderReportPdf(samples, header, title, pdf))
        return failure;
    if (MaybeFailure refused = submitPdfJob(printer, title, pdf))
        return Failure{QStringLiteral("The printer \"%1\" did not accept the report: %2")
                           .arg(printer, refused->reason),
                       {}};
    return std::nullopt;
}

bool printReport(QWidget *owner, WindowHandover &handover,
                 const std::function<ChartSamples()> &samples, const ReportHeader &header,
                 const QString &title)
{
    handover.PrinterIndex = -1;
    // Positions are those of the list the dialog showed, whatever changes meanwhile.
    const QStringList printers = installedPrinterNames();
    if (const std::optional<int> chosen = PrinterDialog::choose(printers, owner))
        handover.PrinterIndex = static_cast<int16_t>(*chosen);
    if (handover.PrinterIndex < 0 || handover.PrinterIndex >= printers.size())
        return false;
    const QString printer = printers.at(handover.PrinterIndex);
    if (MaybeFailure failure =
            printOnPrinter(handover.CurrentPrinter, printer, samples(), header, title)) {
        QMessageBox::warning(owner, QStringLiteral("Print Error"), failure->reason);
        return false;
    }
    return true;
}
