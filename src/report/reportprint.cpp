#include "report/reportprint.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/printerpage.h"
#include "report/frmprint.h"

#include <QBuffer>
#include <QMessageBox>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrinter>
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

void applyReportPageSetup(QPrinter &printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setColorMode(QPrinter::GrayScale);
    // Below the printer's least margins the request is refused and its own margins stay.
    printer.setPageMargins(kPageMargins, QPageLayout::Millimeter);
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

QString printOnPrinter(SharedState &state, int index, const ReportHeader &header)
{
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (index < 0 || index >= printers.size())
        return QStringLiteral("The chosen printer is no longer installed.");
    const QString name = printers.at(index).printerName();
    // Asked again by name: the printer may have gone since the list was read.
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull())
        return QStringLiteral("The printer \"%1\" is no longer installed.").arg(name);
    state.CurrentPrinter = name;
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid())
        return QStringLiteral("The printer \"%1\" cannot be used.").arg(name);
    printer.setDocName(documentName(state));
    applyReportPageSetup(printer);

    const QString reason = renderReportPage(printer, state, header);
    if (!reason.isEmpty() || printer.printerState() == QPrinter::Error ||
        printer.printerState() == QPrinter::Aborted)
        return QStringLiteral("The printer \"%1\" did not accept the report. %2")
            .arg(name, reason)
            .trimmed();
    return {};
}

void printReport(QWidget *owner, SharedState &state, const ReportHeader &header)
{
    state.PrinterIndex = -1;
    {
        FrmPrint dialog(state, installedPrinterNames(), owner);
        dialog.exec();
    }
    if (state.PrinterIndex < 0)
        return;
    const QString reason = printOnPrinter(state, state.PrinterIndex, header);
    if (!reason.isEmpty())
        QMessageBox::warning(owner, QStringLiteral("Print Error"), reason);
}
