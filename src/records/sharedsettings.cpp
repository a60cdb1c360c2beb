#include "records/sharedsettings.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>

namespace {

const QString kUrlKey = QStringLiteral("shared/url");
const QString kRigKey = QStringLiteral("shared/rig");

} // namespace

bool isSharedUrl(const QString &database)
{
    return database.startsWith(QLatin1String("postgresql://"));
}

QString defaultRigName()
{
    const QString host = QSysInfo::machineHostName().section(u'.', 0, 0);
    return rigNameProblem(host) ? QStringLiteral("rig") : host;
}

std::optional<QString> rigNameProblem(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9._-]{1,64}$"));
    if (form.match(name).hasMatch())
        return std::nullopt;
    return QStringLiteral("a rig name is 1 to 64 letters, digits, dots, hyphens or underscores");
}

SharedSettings readSharedSettings(const QString &iniPath)
{
    const QSettings ini(iniPath, QSettings::IniFormat);
    SharedSettings settings{ini.value(kUrlKey).toString().trimmed(),
                            ini.value(kRigKey).toString().trimmed()};
    if (settings.rig.isEmpty())
        settings.rig = defaultRigName();
    return settings;
}

MaybeFailure writeSharedSettings(const QString &iniPath, const SharedSettings &settings)
{
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.setValue(kUrlKey, settings.url);
    ini.setValue(kRigKey, settings.rig);
    // QSettings writes the file whole through a temporary file.
    ini.sync();
    if (ini.status() == QSettings::NoError)
        return std::nullopt;
    return Failure{QStringLiteral("The settings cannot be written."), iniPath};
}
