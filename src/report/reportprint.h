#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct ReportHeader;
struct SharedState;
class QPagedPaintDevice;
class QWidget;

/// The device names of the installed printers, in the printing system's order: position i
/// of this list is printer i.
QStringList installedPrinterNames();

/// Draws the report page of ReportStation on the device and ends the document. Returns an
/// empty text, or the reason the device did not take the page.
QString renderReportPage(QPagedPaintDevice &device, const SharedState &state,
                         const ReportHeader &header);

/// The report page as a PDF document in memory: A4 paper, landscape, 10 mm margins; this is the
/// page setup 9, 2, 1 of a print (A4, landscape, monochrome, the last asked of the queue).
/// On failure the result is empty and the reason is in *error.
QByteArray reportPdf(const SharedState &state, const ReportHeader &header, QString *error);

/// Prints the report page on the named printer, which becomes the application's current
/// printer (CurrentPrinter). Returns an empty text, or the reason nothing was printed.
QString printOnPrinter(SharedState &state, const QString &printer, const ReportHeader &header);

/// The click of cmdPrint: PrinterIndex := -1, the "Print" dialog owned by the report window,
/// then the page on the chosen printer, or nothing when none was chosen. A failure shows a
/// "Print Error" warning box with the reason.
void printReport(QWidget *owner, SharedState &state, const ReportHeader &header);
