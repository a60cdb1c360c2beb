#include "records/partmodels.h"

#include "app/textrules.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>

Fallible<PartModel> partModelFrom(int64_t id, const QString &name, const QString &volumeText,
                                  const QString &serialPattern, std::span<const PartModel> others)
{
    PartModel model;
    model.id = id;
    model.name = name.trimmed();
    model.serialPattern = serialPattern.trimmed();
    if (model.name.isEmpty())
        return Failure{QStringLiteral("A part model needs a name."), {}};
    for (const PartModel &other : others)
        if (other.id != id && other.name.compare(model.name, Qt::CaseInsensitive) == 0)
            return Failure{
                QStringLiteral("There is already a part model named %1.").arg(other.name), {}};
    bool ok = false;
    model.volumeMl = QLocale::c().toDouble(volumeText.trimmed(), &ok);
    if (!ok || !(model.volumeMl > 0) || !std::isfinite(model.volumeMl))
        return Failure{QStringLiteral("The volume must be a number of millilitres above 0, not "
                                      "\"%1\".")
                           .arg(volumeText.trimmed()),
                       {}};
    if (!model.serialPattern.isEmpty()) {
        const QRegularExpression pattern(model.serialPattern);
        if (!pattern.isValid())
            return Failure{QStringLiteral("The serial pattern is not a valid regular expression: "
                                          "%1 at position %2.")
                               .arg(pattern.errorString())
                               .arg(pattern.patternErrorOffset()),
                           {}};
    }
    return model;
}

MaybeFailure checkSerial(const QString &serial, const std::optional<PartModel> &model)
{
    if (serial.trimmed().isEmpty())
        return Failure{QStringLiteral("Enter the part's serial."), {}};
    if (!model || model->serialPattern.isEmpty())
        return std::nullopt;
    const QRegularExpression pattern(QRegularExpression::anchoredPattern(model->serialPattern));
    if (pattern.match(serial.trimmed()).hasMatch())
        return std::nullopt;
    return Failure{QStringLiteral("Serial %1 does not match the pattern %2 of part model %3.")
                       .arg(serial.trimmed(), model->serialPattern, model->name),
                   {}};
}

QString retestText(const TestRecord &latest)
{
    return QStringLiteral("Serial %1 was tested on %2 %3: %4")
        .arg(latest.serial, formatDate(latest.start), formatTime(latest.start),
             latest.outcome ? outcomeText(*latest.outcome) : QStringLiteral("running"));
}

namespace partsettings {

namespace {

const QString kAskSerial = QStringLiteral("parts/ask_serial");

QString lastModelKey(int station)
{
    return QStringLiteral("parts/last_model_%1").arg(station + 1);
}

QString iniPath(const QString &appPath)
{
    return QDir(appPath.isEmpty() ? QDir::currentPath() : appPath).filePath(kFileName);
}

MaybeFailure store(const QString &appPath, const QString &key, const QVariant &value)
{
    QSettings settings(iniPath(appPath), QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return std::nullopt;
    return Failure{QStringLiteral("The settings cannot be written."), iniPath(appPath)};
}

} // namespace

bool askSerial(const QString &appPath)
{
    const QSettings settings(iniPath(appPath), QSettings::IniFormat);
    return settings.value(kAskSerial).toString() == QLatin1String("true");
}

MaybeFailure setAskSerial(const QString &appPath, bool ask)
{
    return store(appPath, kAskSerial, ask ? QStringLiteral("true") : QStringLiteral("false"));
}

QString lastModel(const QString &appPath, int station)
{
    const QSettings settings(iniPath(appPath), QSettings::IniFormat);
    return settings.value(lastModelKey(station)).toString();
}

MaybeFailure setLastModel(const QString &appPath, int station, const QString &name)
{
    return store(appPath, lastModelKey(station), name);
}

} // namespace partsettings
