#pragma once

#include <QByteArray>
#include <QString>

/// Hands a PDF document to a printer queue of the printing system as one job, asking for A4
/// paper in monochrome. Returns an empty text when the system accepted the job, otherwise its
/// reason (queue gone, not accepting jobs, server unreachable).
QString submitPdfJob(const QString &printer, const QString &title, const QByteArray &pdf);
