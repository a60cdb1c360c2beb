#include "report/reportprint.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/printerpage.h"
#include "report/cupsjob.h"
#include "report/frmprint.h"

#include <QBuffer>
#include <QMessageBox>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinterInfo>

namespace {

/// Margins of the report page where the printer allows them.
const QMarginsF kPageMargins(10, 10, 10, 10);

QString documentName(const SharedState &state)
{
    return QStringLiteral("Kestrava report - Test ") + QString::number(state.ReportStation + 1);
}

} // namespace

QStringList installedPrinterNames()
{
    QStringList names;
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    for (const QPrinterInfo &printer : printers)
        names << printer.printerName();
    return names;
}

QString renderReportPage(QPagedPaintDevice &device, const SharedState &state,
                         const ReportHeader &header)
{
    PrinterPage page(device);
    if (!page.isActive())
        return QStringLiteral("The page could not be started.");
    drawReportPage(page, state, header);
    if (!page.endDoc())
        return QStringLiteral("The page could not be completed.");
    return {};
}

QByteArray reportPdf(const SharedState &state, const ReportHeader &header, QString *error)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(documentName(state));
        writer.setCreator(QStringLiteral("Kestrava"));
        writer.setResolution(1200);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         kPageMargins, QPageLayout::Millimeter));
        const QString reason = renderReportPage(writer, state, header);
        if (!reason.isEmpty()) {
            if (error)
                *error = reason;
            return {};
        }
    }
    return buffer.data();
}

QString printOnPrinter(SharedState &state, const QString &printer, const ReportHeader &header)
{
    state.CurrentPrinter = printer;
    if (!installedPrinterNames().contains(printer))
        return QStringLiteral("The printer \"%1\" is no longer installed.").arg(printer);
    QString reason;
    const QByteArray pdf = reportPdf(state, header, &reason);
    if (pdf.isEmpty())
        return reason;
    reason = submitPdfJob(printer, documentName(state), pdf);
    if (!reason.isEmpty())
        return QStringLiteral("The printer \"%1\" did not accept the report: %2").arg(printer, reason);
    return {};
}

void printReport(QWidget *owner, SharedState &state, const ReportHeader &header)
{
    state.PrinterIndex = -1;
    // Positions are those of the list the dialog showed, whatever changes meanwhile.
    const QStringList printers = installedPrinterNames();
    {
        FrmPrint dialog(state, printers, owner);
        dialog.exec();
    }
    if (state.PrinterIndex < 0 || state.PrinterIndex >= printers.size())
        return;
    const QString reason = printOnPrinter(state, printers.at(state.PrinterIndex), header);
    if (!reason.isEmpty())
        QMessageBox::warning(owner, QStringLiteral("Print Error"), reason);
}
