#include "app/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

/// Writes all of content to fd, going on after a partial write; false with errno set when a
/// write fails (a full disk, the file size limit).
bool writeAll(int fd, const QByteArray &content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

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
        return Failure{systemError(errno), path};
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Failure{file.errorString(), path};
    return std::nullopt;
}

/// The file that the new content replaces: a symbolic link to a regular file is followed, so
/// the file it names gets the content and the link stays; any other path is replaced itself.
QString finalPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && info.isFile())
        return info.canonicalFilePath();
    return path;
}

/// A new, empty file beside target, created exclusively (an existing file of that name is
/// never opened) with mode 0666 less the umask. Returns its descriptor and name, or -1 with
/// errno set.
int createTemporaryFile(const QByteArray &target, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target + '.' +
               QByteArray::number(QRandomGenerator::global()->generate() & 0xffffff, 36) + ".new";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

MaybeFailure writeFileAtomically(const QString &path, const QByteArray &content,
                                 WhenNoTemporaryFile noTemporaryFile)
{
    const QString targetPath = finalPath(path);
    const QByteArray target = QFile::encodeName(targetPath);
    QByteArray temporary;
    const int fd = createTemporaryFile(target, temporary);
    if (fd < 0) {
        const int error = errno;
        const QFileInfo info(targetPath);
        const bool folderRefusesNewFiles = !QFileInfo(info.absolutePath()).isWritable();
        if (noTemporaryFile == WhenNoTemporaryFile::WriteInPlace && folderRefusesNewFiles &&
            info.isFile() && info.isWritable())
            return writeInPlace(targetPath, content);
        return Failure{systemError(error), path};
    }

    // Every step until the rename is checked; on the first failure the temporary file goes
    // and the old file stays as it was.
    auto fail = [&](int error, bool open) -> MaybeFailure {
        if (open)
            ::close(fd);
        ::unlink(temporary.constData());
        return Failure{systemError(error), path};
    };
    // The new file keeps the permissions of the one it replaces.
    struct stat old {};
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno, true);
    if (!writeAll(fd, content) || ::fsync(fd) != 0)
        return fail(errno, true);
    if (::close(fd) != 0)
        return fail(errno, false);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno, false);

    // Makes the rename itself durable. The new file is in place by now, so a failure here
    // is not reported: at worst a crash brings back the old file whole.
    const QByteArray folder = QFile::encodeName(QFileInfo(targetPath).absolutePath());
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return std::nullopt;
}

QString pathInFolder(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}
