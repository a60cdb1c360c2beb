#pragma once

#include "app/failure.h"

#include <QByteArray>
#include <QString>

/// What to do when the temporary file beside the target cannot be created (a read-only folder
/// holding a writable file).
enum class WhenNoTemporaryFile {
    Fail,         ///< report the failure; the old file stays
    WriteInPlace, ///< overwrite the file itself, flushed and synced
};

/// Writes the whole content to the file at path, replacing it atomically: a reader sees either
/// the old file or the new one, and on any failure (including a short write on a full disk) the
/// old file stays untouched. Only a write in place, when asked for and needed, can leave a
/// partly written file behind.
[[nodiscard]] MaybeFailure
writeFileAtomically(const QString &path, const QByteArray &content,
                    WhenNoTemporaryFile noTemporaryFile = WhenNoTemporaryFile::Fail);

/// The path of a file in the start-up folder: the folder, the platform's separator, the name.
QString pathInFolder(const QString &folder, const QString &name);
