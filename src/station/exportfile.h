#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

struct StationRecord;

/// Name of the export file in the start-up folder; the same for every station.
inline const QString kExportFileName = QStringLiteral("test1.kvr");
/// First line of the export file.
inline const QString kExportHeader = QStringLiteral("Kestrava Test 1");
/// Title of the message box that reports an export failure.
inline const QString kExportErrorTitle = QStringLiteral("Export Error");

/// Full path of the export file: the start-up folder, the platform's separator, "test1.kvr".
QString exportPath(const QString &appPath);

/// The export file's text for a station: the header, SampleCount in print form, then samples
/// 0..SampleCount in print form, each line ended by CR LF.
QByteArray exportText(const StationRecord &record);

/// Writes the station's completed test to the export file in the start-up folder, replacing
/// any earlier one atomically; on failure the old file stays.
[[nodiscard]] MaybeFailure writeExportFile(const QString &appPath, const StationRecord &record);

/// Text of the "Export Error" box: names the file and the reason.
QString exportErrorText(const Failure &failure);
