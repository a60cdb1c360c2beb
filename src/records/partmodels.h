#pragma once

#include "app/failure.h"
#include "records/testrecord.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

/// A kind of part the rig tests: its name, its internal volume (which turns a pressure-decay
/// rate into a leak flow) and, optionally, the regular expression its serials match.
struct PartModel {
    int64_t id = 0; ///< the store's key; 0 until stored
    QString name;
    double volumeMl = 0;
    QString serialPattern; ///< empty: any serial
};

/// The part a test is started for: its serial and model (none when no model was chosen).
struct PartChoice {
    QString serial;
    std::optional<PartModel> model;
};

/// The model as the dialog's fields give it, checked against the other models: a name that
/// is not empty and not taken by another model (in any case), a volume in millilitres above
/// 0 (dot decimals), a serial pattern that is empty or a valid regular expression. The
/// failure's reason says what is wrong.
Fallible<PartModel> partModelFrom(int64_t id, const QString &name, const QString &volumeText,
                                  const QString &serialPattern, std::span<const PartModel> others);

/// Whether the serial may be tested as a part of the model: a serial that is not empty and,
/// when the model has a pattern, matches the whole of it. The reason says why not, the
/// pattern shown.
MaybeFailure checkSerial(const QString &serial, const std::optional<PartModel> &model);

/// What a serial's latest record says: "Serial S was tested on DATE: OUTCOME".
QString retestText(const TestRecord &latest);

/// The settings of part serials in the working folder's kestrava.ini, section [parts]:
/// ask_serial (true or false, false when missing) and the last model chosen for each station
/// (last_model_1, last_model_2).
namespace partsettings {
inline const QString kFileName = QStringLiteral("kestrava.ini");
bool askSerial(const QString &appPath);
[[nodiscard]] MaybeFailure setAskSerial(const QString &appPath, bool ask);
QString lastModel(const QString &appPath, int station);
[[nodiscard]] MaybeFailure setLastModel(const QString &appPath, int station, const QString &name);
} // namespace partsettings
