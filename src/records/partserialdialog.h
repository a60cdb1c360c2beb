#pragma once

#include "records/partmodels.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The box "Part Serial - Test N" (frmPartSerial) that Start opens on an idle station when part
/// serials are asked for: a "Part model" choice and a "Serial" field with the focus, so that a
/// barcode scanner's serial and Enter start the test. OK refuses an empty serial and one that
/// does not match the chosen model's pattern, saying why under the field; a serial that was
/// tested before shows its latest result there and may still be started (a retest). Escape or
/// Cancel starts nothing.
class PartSerialDialog final : public QDialog {
    Q_OBJECT

public:
    /// The latest record of a serial, if any (a store lookup).
    using SerialLookup = std::function<std::optional<TestRecord>(const QString &serial)>;

    /// `lastModel` is the model chosen first (the station's last one); none, or a name no
    /// longer among the models, chooses "No model".
    PartSerialDialog(int station, std::vector<PartModel> models, const QString &lastModel,
                     SerialLookup lookup, QWidget *parent);

    /// The serial and model accepted.
    PartChoice choice() const;

private:
    void onSerialEdited();
    void onOkClicked();
    std::optional<PartModel> chosenModel() const;

    std::vector<PartModel> m_models;
    SerialLookup m_lookup;
    QComboBox *m_model = nullptr;
    QLineEdit *m_serial = nullptr;
    QLabel *m_note = nullptr;
    QPushButton *m_ok = nullptr;
};
