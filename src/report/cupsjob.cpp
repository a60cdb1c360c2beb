#include "report/cupsjob.h"

#include <cups/cups.h>

namespace {
Failure lastError()
{
    return Failure{QString::fromUtf8(cupsLastErrorString()), {}};
}
} // namespace

MaybeFailure submitPdfJob(const QString &printer, const QString &title, const QByteArray &pdf)
{
    // Submitted through libcups rather than QPrinter, whose CUPS back end drops the answer to
    // the job request: a refused job would pass for a printed one.
    const QByteArray name = printer.toUtf8();
    const QByteArray jobTitle = title.toUtf8();
    cups_option_t *options = nullptr;
    int optionCount = cupsAddOption("media", "iso_a4_210x297mm", 0, &options);
    optionCount = cupsAddOption("print-color-mode", "monochrome", optionCount, &options);
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(),
                                  optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (job == 0)
        return lastError();

    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(),
                          CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE ||
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), size_t(pdf.size())) !=
            HTTP_STATUS_CONTINUE) {
        const Failure reason = lastError();
        cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return reason;
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return lastError();
    return std::nullopt;
}
