#pragma once

#include <QString>

struct SharedState;

/// Title of the message box that a refused start shows.
inline const QString kStartFailTitle = QStringLiteral("Test Start Fail");

/// What a Start press did.
struct StartOutcome {
    enum class Kind {
        LeakStarted,      ///< a new test began with its leak phase
        MainStarted,      ///< the main test began (or began again)
        Ignored,          ///< the leak phase is still running: nothing happened
        PressureTooLow,   ///< refused: station pressure below StartPressureLimit
        TemperatureTooLow ///< refused: BathTemp below MinBathTemp
    };

    Kind kind = Kind::Ignored;
    /// For a refused start, the text of the "Test Start Fail" box, such as
    /// "Pressure less than 600.0KPa"; empty otherwise.
    QString failText;

    bool refused() const { return !failText.isEmpty(); }
};

/// The Start button of a station. A station that is not running (idle, or ended after its
/// leak pass) begins a new test when its pressure is at least StartPressureLimit; a running
/// station whose leak test has passed (re)starts the main test when BathTemp is at least
/// MinBathTemp. A refused start changes nothing. Writes the station's status caption.
StartOutcome testStartPressed(SharedState &state, int station);

/// The Stop button of a station: a running test returns to idle ("Time: 00:00:00",
/// "Process In Idle Mode"); on a station that is not running it does nothing.
void testStopPressed(SharedState &state, int station);
