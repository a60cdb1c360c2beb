#pragma once

#include "app/failure.h"

#include <QString>

class Clock;
struct Reading;
struct StationRecord;
struct TestParameters;

/// Title of the message box that a refused start shows.
inline const QString kStartFailTitle = QStringLiteral("Test Start Fail");

/// What a Start press did.
struct StartOutcome {
    enum class Kind {
        LeakStarted,      ///< a new test began with its leak phase
        MainStarted,      ///< the main test began (or began again)
        Ignored,          ///< the leak phase is still running: nothing happened
        NoPressure,       ///< refused: the station pressure has no valid reading
        PressureTooLow,   ///< refused: station pressure below StartPressureLimit
        NoTemperature,    ///< refused: the bath temperature has no valid reading
        TemperatureTooLow ///< refused: BathTemp below MinBathTemp
    };

    Kind kind = Kind::Ignored;
    /// For a refused start, the text of the "Test Start Fail" box, such as
    /// "Pressure less than 600.0KPa".
    MaybeFailure refusal;
};

/// The Start button of a station. A station that is not running (idle, or ended after its
/// leak pass) begins a new test when its pressure is at least StartPressureLimit; a running
/// station whose leak test has passed (re)starts the main test when BathTemp is at least
/// MinBathTemp. A start needs a valid reading of every value it checks or keeps: without
/// one it is refused with "No pressure reading" or "No temperature reading". A refused start
/// changes nothing. Writes the station's status caption.
[[nodiscard]] StartOutcome testStartPressed(StationRecord &record, Reading pressure,
                                            Reading bathTemp, const TestParameters &parameters,
                                            const Clock &clock);

/// The Stop button of a station: a running test returns to idle ("Time: 00:00:00",
/// "Process In Idle Mode") and true is returned; on a station that is not running it does
/// nothing.
bool testStopPressed(StationRecord &record);
