#include "station/exportfile.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "app/textrules.h"

#include <QDir>

#include <algorithm>

QString exportPath(const QString &appPath)
{
    return pathInFolder(appPath, kExportFileName);
}

QByteArray exportText(const StationRecord &record)
{
    const int last = record.SampleCount;
    QByteArray text;
    text.reserve(32 + 16 * std::max(0, last + 1));
    text += kExportHeader.toLatin1() + "\r\n";
    text += printFormInteger(last).toLatin1() + "\r\n";
    for (int k = 0; k <= last; ++k)
        text += printForm(record.Samples[size_t(k)]).toLatin1() + "\r\n";
    return text;
}

MaybeFailure writeExportFile(const QString &appPath, const StationRecord &record)
{
    return writeFileAtomically(exportPath(appPath), exportText(record));
}

QString exportErrorText(const Failure &failure)
{
    return QStringLiteral("The test data could not be written to %1: %2")
        .arg(QDir::toNativeSeparators(failure.path), failure.reason);
}
