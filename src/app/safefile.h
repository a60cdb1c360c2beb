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
/// the old file or the new one, and on any failure (a short write on a full disk, a failed
/// sync, a refused rename) the old file stays untouched and no temporary file is left. The
/// content goes to a new file beside the target (created exclusively, with the old file's
/// permissions, or 0666 less the umask), which is synced, closed and renamed over the target;
/// then the folder is synced. A symbolic link to a regular file is followed. Only a write in
/// place, when asked for and needed, can leave a partly written file behind.
[[nodiscard]] MaybeFailure
writeFileAtomically(const QString &path, const QByteArray &content,
                    WhenNoTemporaryFile noTemporaryFile = WhenNoTemporaryFile::Fail);

/// The path of a file in the start-up folder: the folder, the platform's separator, the name.
QString pathInFolder(const QString &folder, const QString &name);
