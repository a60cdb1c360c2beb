#pragma once

#include <QByteArray>
#include <QString>

/// Writes the whole content to the file at path, replacing it atomically: a reader sees either
/// the old file or the new one, and on any failure (including a short write on a full disk) the
/// old file stays untouched. Returns an empty text on success, otherwise the reason.
QString writeFileAtomically(const QString &path, const QByteArray &content);

/// The path of a file in the start-up folder: the folder, the platform's separator, the name.
QString pathInFolder(const QString &folder, const QString &name);
