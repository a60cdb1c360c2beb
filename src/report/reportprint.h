#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

struct ChartSamples;
struct ReportHeader;
struct WindowHandover;
class QPagedPaintDevice;
class QWidget;

/// The device names of the installed printers, in the printing system's order: position i
/// of this list is printer i.
QStringList installedPrinterNames();

/// Draws the report page on the device and ends the document.
[[nodiscard]] MaybeFailure renderReportPage(QPagedPaintDevice &device, const ChartSamples &samples,
                                            const ReportHeader &header);

/// The report page as a PDF document titled `title`, into `pdf`: A4 paper, landscape, 10 mm
/// margins; this is the page setup 9, 2, 1 of a print (A4, landscape, monochrome, the last
/// asked of the queue).
[[nodiscard]] MaybeFailure renderReportPdf(const ChartSamples &samples, const ReportHeader &header,
                                           const QString &title, QByteArray &pdf);

/// Prints the report page on the named printer, which becomes the application's current
/// printer (`currentPrinter`).
[[nodiscard]] MaybeFailure printOnPrinter(QString &currentPrinter, const QString &printer,
                                          const ChartSamples &samples, const ReportHeader &header,
                                          const QString &title);

/// The click of cmdPrint: PrinterIndex := -1, the "Print" dialog owned by the report window,
/// then the page on the chosen printer, or nothing when none was chosen. The samples are
/// taken once the dialog has closed, as they stand then. A failure shows a "Print Error"
/// warning box with the reason. True when the page went to the printer.
bool printReport(QWidget *owner, WindowHandover &handover,
                 const std::function<ChartSamples()> &samples, const ReportHeader &header,
                 const QString &title);
