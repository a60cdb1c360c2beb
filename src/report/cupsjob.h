#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

/// Hands a PDF document to a printer queue of the printing system as one job, asking for A4
/// paper in monochrome. Fails with the system's reason when it did not accept the job (queue
/// gone, not accepting jobs, server unreachable).
[[nodiscard]] MaybeFailure submitPdfJob(const QString &printer, const QString &title,
                                        const QByteArray &pdf);
