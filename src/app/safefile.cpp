#include "app/safefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

/// Overwrites the file itself: truncated, written, flushed and synced to the disk.
MaybeFailure writeInPlace(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Failure{file.errorString(), path};
    if (file.write(content) != content.size() || !file.flush())
        return Failure{file.errorString().isEmpty()
                           ? QStringLiteral("The file could not be written completely.")
                           : file.errorString(),
                       path};
    if (::fsync(file.handle()) != 0)
        return Failure{QString::fromLocal8Bit(strerror(errno)), path};
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Failure{file.errorString(), path};
    return std::nullopt;
}

} // namespace

MaybeFailure writeFileAtomically(const QString &path, const QByteArray &content,
                                 WhenNoTemporaryFile noTemporaryFile)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const QFileInfo target(path);
        const bool folderRefusesNewFiles = !QFileInfo(target.absolutePath()).isWritable();
        if (noTemporaryFile == WhenNoTemporaryFile::WriteInPlace && folderRefusesNewFiles &&
            target.isFile() && target.isWritable())
            return writeInPlace(path, content);
        return Failure{file.errorString(), path};
    }
    // QSaveFile::commit() can report success after a short write, so every step is checked
    // here and the temporary file is dropped on the first failure.
    if (file.write(content) != content.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting(); // the temporary file is removed when `file` goes
        return Failure{
            reason.isEmpty() ? QStringLiteral("The file could not be written completely.") : reason,
            path};
    }
    if (!file.commit())
        return Failure{file.errorString(), path};
    return std::nullopt;
}

QString pathInFolder(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}
