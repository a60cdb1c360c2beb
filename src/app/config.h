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

/// The most the loader reads of the configuration file: sixteen lines of up to 256 characters.
/// A longer file is read this far; its values must all end within these bytes.
inline constexpr qsizetype kConfigReadLimit = 16 * 256;

/// Where loadConfig took the values from.
enum class ConfigSource {
    File,     ///< the file's sixteen values
    Defaults, ///< the defaults: no usable file
};

/// Reads the configuration file from the start-up folder. A missing, short or malformed file,
/// or anything that is not a regular file (a FIFO, a device, a folder), gives every value its
/// default; no partial result, no message. Reads at most kConfigReadLimit bytes, in time
/// linear in them, so no file can hold up the start-up.
ConfigSource loadConfig(SharedState &state);

/// The configuration file's text: sixteen lines ended by CR LF.
QByteArray configText(const SharedState &state);

/// Writes the configuration file atomically; on failure the old file is left as it was.
[[nodiscard]] MaybeFailure saveConfig(const SharedState &state);

/// Full path of the configuration file.
QString configPath(const SharedState &state);
