#pragma once

#include "app/failure.h"

#include <QString>

struct SharedState;

/// Name of the configuration file in the start-up folder.
inline const QString kConfigFileName = QStringLiteral("twdaq.cfg");
/// Header line the configuration file is written with.
inline const QString kConfigHeader = QStringLiteral("Tarnwell DAQ Config. File Ver.1.0");

/// Sets the port number, the six test parameters and the calibration constants to their
/// defaults.
void applyConfigDefaults(SharedState &state);

/// Reads the configuration file from the start-up folder. A missing, short or malformed file
/// gives every value its default; no partial result, no message.
void loadConfig(SharedState &state);

/// The configuration file's text: sixteen lines ended by CR LF.
QByteArray configText(const SharedState &state);

/// Writes the configuration file atomically; on failure the old file is left as it was.
[[nodiscard]] MaybeFailure saveConfig(const SharedState &state);

/// Full path of the configuration file.
QString configPath(const SharedState &state);
