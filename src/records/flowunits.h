#pragma once

#include <QString>

#include <optional>

/// The units a leak rate is shown in. A pressure-decay rate becomes a leak flow through the
/// part's internal volume:
///   Pa/s      = KPa/min × 1000 / 60
///   sccm      = Pa/s × volume in cm³ / 101 325 Pa × 60   (standard cm³ a minute, at the
///               standard pressure of 101.325 kPa)
///   mbar·l/s  = Pa/s × volume in litres × 0.01          (1 Pa = 0.01 mbar)
enum class RateUnit {
    KpaPerMinute,       ///< "KPa/min"
    PaPerSecond,        ///< "Pa/s"
    Sccm,               ///< "sccm"
    MbarLitrePerSecond, ///< "mbar·l/s"
};

inline constexpr int kRateUnits = 4;

/// The standard pressure the flow units are referred to, in Pa.
inline constexpr double kStandardPressurePa = 101325.0;

/// The unit's text as shown: "KPa/min", "Pa/s", "sccm", "mbar·l/s".
QString rateUnitText(RateUnit unit);
/// The unit of a text, in any case; "mbar.l/s" and "mbarl/s" stand for "mbar·l/s". Empty for
/// any other text.
std::optional<RateUnit> rateUnitFromText(const QString &text);
/// Whether the unit is a flow, which needs the part's volume.
bool needsVolume(RateUnit unit);

/// A rate in KPa/min expressed in the unit, for a part of `volumeMl` millilitres (cm³). Empty
/// for a flow unit without a volume above 0.
std::optional<double> convertRate(double kpaPerMinute, RateUnit unit,
                                  std::optional<double> volumeMl);

/// The number of decimals a rate in the unit is shown with.
int rateDecimals(RateUnit unit);

/// A rate as shown: its value with the unit's decimals, then the unit ("33.333 Pa/s"); "none"
/// without one.
QString rateText(std::optional<double> value, RateUnit unit);
