#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct ReportHeader;
struct SharedState;
class QPagedPaintDevice;
class QPrinter;
class QWidget;

/// The device names of the installed printers, in the printing system's order: position i
/// of this list is printer i.
QStringList installedPrinterNames();

/// The page setup 9, 2, 1 of the report: A4 paper, landscape, monochrome (grayscale).
void applyReportPageSetup(QPrinter &printer);

/// Draws the report page of ReportStation on the device and ends the document. Returns an
/// empty text, or the reason the device did not take the page.
QString renderReportPage(QPagedPaintDevice &device, const SharedState &state,
                         const ReportHeader &header);

/// The report page as a PDF document in memory (A4, landscape, the printed page's margins).
/// On failure the result is empty and the reason is in *error.
QByteArray reportPdf(const SharedState &state, const ReportHeader &header, QString *error);

/// Prints the report page on installed printer `index`, which becomes the application's
/// current printer (CurrentPrinter). Returns an empty text, or the reason nothing was printed.
QString printOnPrinter(SharedState &state, int index, const ReportHeader &header);

/// The click of cmdPrint: PrinterIndex := -1, the "Print" dialog owned by the report window,
/// then the page on the chosen printer, or nothing when none was chosen. A failure shows a
/// "Print Error" warning box with the reason.
void printReport(QWidget *owner, SharedState &state, const ReportHeader &header);
