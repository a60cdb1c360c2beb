#pragma once

#include "app/failure.h"

#include <QString>

#include <optional>

/// The shared database a rig copies its records to: section [shared] of the working folder's
/// kestrava.ini, keys `url` (empty: no shared database) and `rig` (the rig's name there, the
/// host name when not set).
struct SharedSettings {
    QString url;
    QString rig;
    bool operator==(const SharedSettings &) const = default;
};

/// The settings file's name in the working folder.
inline const QString kSettingsFileName = QStringLiteral("kestrava.ini");

/// Whether a database's name is a shared database's URL rather than a file.
bool isSharedUrl(const QString &database);
/// The rig's name when none is set: the host name (up to its first dot), or "rig" when it has
/// none that can serve.
QString defaultRigName();
/// Why the text cannot name a rig: a rig name is 1 to 64 letters, digits, dots, hyphens or
/// underscores. Empty when it can.
std::optional<QString> rigNameProblem(const QString &name);

/// The settings in the ini file at path; a file or section that is missing gives no URL and
/// the default rig name.
SharedSettings readSharedSettings(const QString &iniPath);
/// Stores them in that file (written whole, other sections kept).
[[nodiscard]] MaybeFailure writeSharedSettings(const QString &iniPath,
                                               const SharedSettings &settings);
