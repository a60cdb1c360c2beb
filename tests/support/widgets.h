#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

/// The control named `name` (its design name, such as "cmdTestStart(1)" or "txtRange(0)")
/// among the children of `root`. A name that is not there stops the test program at once with
/// the name in the message: it means the test and the window disagree.
template <typename T> T *named(const QObject *root, const QString &name)
{
    T *found = root->findChild<T *>(name);
    if (!found)
        qFatal("No %s named \"%s\" in %s", T::staticMetaObject.className(), qPrintable(name),
               qPrintable(root->objectName()));
    return found;
}

/// A control of a control array: named<T>(root, "lblMeter(2)") as named<T>(root, "lblMeter", 2).
template <typename T> T *named(const QObject *root, const char *name, int index)
{
    return named<T>(root, QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index));
}
