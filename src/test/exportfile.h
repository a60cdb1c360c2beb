#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

struct SharedState;

/// Name of the export file in the start-up folder; the same for every station.
inline const QString kExportFileName = QStringLiteral("test1.kvr");
/// First line of the export file.
inline const QString kExportHeader = QStringLiteral("Kestrava Test 1");
/// Title of the message box that reports an export failure.
inline const QString kExportErrorTitle = QStringLiteral("Export Error");

/// An export file that could not be written: the file's path and the reason.
struct ExportFailure {
    QString path;
    QString reason;
};

/// Full path of the export file: the start-up folder, the platform's separator, "test1.kvr".
QString exportPath(const SharedState &state);

/// The export file's text for a station: the header, SampleCount in print form, then samples
/// 0..SampleCount in print form, each line ended by CR LF.
QByteArray exportText(const SharedState &state, int16_t Index);

/// Writes the completed test of station Index to the export file, replacing any earlier one
/// atomically. Returns the failure, or nothing on success; on failure the old file stays.
std::optional<ExportFailure> GenerateData(const SharedState &state, int16_t Index);

/// Text of the "Export Error" box: names the file and the reason.
QString exportErrorText(const ExportFailure &failure);
