#include "records/flowunits.h"

#include <array>

namespace {

const std::array<QString, kRateUnits> kTexts{QStringLiteral("KPa/min"), QStringLiteral("Pa/s"),
                                             QStringLiteral("sccm"),
                                             QStringLiteral("mbar\u00b7l/s")};

} // namespace

QString rateUnitText(RateUnit unit)
{
    return kTexts[size_t(unit)];
}

std::optional<RateUnit> rateUnitFromText(const QString &text)
{
    QString unit = text.trimmed().toLower();
    unit.replace(QLatin1Char('.'), QChar(0x00b7));
    if (unit == QLatin1String("mbarl/s"))
        unit = QStringLiteral("mbar\u00b7l/s");
    for (int i = 0; i < kRateUnits; ++i)
        if (unit == kTexts[size_t(i)].toLower())
            return RateUnit(i);
    return std::nullopt;
}

bool needsVolume(RateUnit unit)
{
    return unit == RateUnit::Sccm || unit == RateUnit::MbarLitrePerSecond;
}

std::optional<double> convertRate(double kpaPerMinute, RateUnit unit,
                                  std::optional<double> volumeMl)
{
    const double paPerSecond = kpaPerMinute * 1000.0 / 60.0;
    switch (unit) {
    case RateUnit::KpaPerMinute:
        return kpaPerMinute;
    case RateUnit::PaPerSecond:
        return paPerSecond;
    case RateUnit::Sccm:
    case RateUnit::MbarLitrePerSecond:
        break;
    }
    if (!volumeMl || !(*volumeMl > 0))
        return std::nullopt;
    if (unit == RateUnit::Sccm)
        return paPerSecond * *volumeMl / kStandardPressurePa * 60.0;
    return paPerSecond * (*volumeMl / 1000.0) * 0.01;
}

int rateDecimals(RateUnit unit)
{
    switch (unit) {
    case RateUnit::KpaPerMinute:
    case RateUnit::PaPerSecond:
    case RateUnit::Sccm:
        break;
    case RateUnit::MbarLitrePerSecond:
        return 5;
    }
    return 3;
}

QString rateText(std::optional<double> value, RateUnit unit)
{
    if (!value)
        return QStringLiteral("none");
    return QString::number(*value, 'f', rateDecimals(unit)) + QLatin1Char(' ') + rateUnitText(unit);
}
