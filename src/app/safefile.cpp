#include "app/safefile.h"

#include <QDir>
#include <QSaveFile>

QString writeFileAtomically(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // QSaveFile::commit() can report success after a short write, so every step is checked
    // here and the temporary file is dropped on the first failure.
    if (file.write(content) != content.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting(); // the temporary file is removed when `file` goes
        return reason.isEmpty() ? QStringLiteral("The file could not be written completely.")
                                : reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QString pathInFolder(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}
