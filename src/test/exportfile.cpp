#include "test/exportfile.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "app/textrules.h"

#include <QDir>

#include <algorithm>

QString exportPath(const SharedState &state)
{
    return pathInFolder(state.AppPath, kExportFileName);
}

QByteArray exportText(const SharedState &state, int16_t Index)
{
    const int last = state.SampleCount[Index];
    const auto &samples = state.Samples[Index];
    QByteArray text;
    text.reserve(32 + 16 * std::max(0, last + 1));
    text += kExportHeader.toLatin1() + "\r\n";
    text += printFormInteger(last).toLatin1() + "\r\n";
    for (int k = 0; k <= last; ++k)
        text += printForm(samples[k]).toLatin1() + "\r\n";
    return text;
}

std::optional<ExportFailure> GenerateData(const SharedState &state, int16_t Index)
{
    const QString path = exportPath(state);
    const QString reason = writeFileAtomically(path, exportText(state, Index));
    if (reason.isEmpty())
        return std::nullopt;
    return ExportFailure{path, reason};
}

QString exportErrorText(const ExportFailure &failure)
{
    return QStringLiteral("The test data could not be written to %1: %2")
        .arg(QDir::toNativeSeparators(failure.path), failure.reason);
}
