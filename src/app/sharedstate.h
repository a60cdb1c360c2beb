#pragma once

#include "app/clock.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

/// The rig has two stations, 0 and 1 ("TEST 1" and "TEST 2"): every per-station array has
/// a slot for each and every per-station loop visits both. The number is the rig's design,
/// not a setting.
inline constexpr int kStations = 2;
/// Sample slots per station (indices 0..36000).
inline constexpr int kSampleSlots = 36001;
/// Samples a test can record: SampleCount is 16-bit, so its last index is 32767.
inline constexpr int32_t kMaxRecordedSamples = 32768;

/// The poll command the instrument answers.
inline const QString kPollCommand = QStringLiteral("?Z\r");

template <typename T> using PerStation = std::array<T, kStations>;

/// The device link's readings and the scratch fields it keeps between poll and reply.
struct Readings {
    QString RxBuffer;
    QString CalCommand = kPollCommand; // the calibration window polls like the main window
    int16_t RawTemp = 0;
    int16_t RawPressure1 = 0;
    int16_t RawPressure2 = 0;
    float BathTemp = 0;
    float Pressure1 = 0;
    float Pressure2 = 0;
    bool BathTempValid = false;
    bool Pressure1Valid = false;
    bool Pressure2Valid = false;

    /// Polls sent since the last decoded frame; the readings go stale after ten.
    int PollsSinceFrame = 0;
    /// A frame has been decoded since the last poll, so later ones are ignored.
    bool FrameTakenSincePoll = false;
};

/// One reading with its validity: an invalid reading stands as 0.
struct Reading {
    float value = 0;
    bool valid = false;
};

/// The station pressure: Pressure1 for station 0, Pressure2 for every other station.
Reading stationPressure(const Readings &readings, int station);
/// The bath temperature.
Reading bathTemperature(const Readings &readings);

/// The constants that turn raw counts into KPa and °C.
struct CalibrationConstants {
    PerStation<float> CalRange{};
    PerStation<float> CalZero{};
    PerStation<float> CalSpan{};
    float TempZero = 0;
    float TempSpan = 0;
};

/// The six test parameters, in the settings dialog's order.
struct TestParameters {
    float StartPressureLimit = 0;
    float LeakFallLimit = 0;
    int16_t LeakTestDuration = 0;
    float BathFallLimit = 0;
    int16_t MainTestDuration = 0;
    float MinBathTemp = 0;
};

/// The test record of one station: its phase flags, timing, reference pressure, start texts,
/// the recorded one-second samples and the captions of its time and status labels.
struct StationRecord {
    StationRecord();

    bool TestRunning = false;
    bool LeakTestActive = false;
    bool LeakTestPassed = false;
    bool MainTestActive = false;
    bool PostTestActive = false;
    int32_t SampleIndex = 0;
    QDateTime PhaseStartTime;
    int16_t PhaseSeconds = 0;
    float RefPressure = 0;
    QString TestStartDate;
    QString TestStartTime;

    /// Recorded one-second pressures, k = 0..36000.
    std::vector<float> Samples;
    /// Index of the newest sample (one less than the number recorded).
    int16_t SampleCount = 0;
    /// Beside each slot of Samples: 1 when its reading was valid, 0 when it stands as 0
    /// because the reading was not. Written with the sample; a slot never written counts as
    /// valid.
    std::vector<uint8_t> sampleValid;

    /// Captions of the station's time and status labels, written by start, stop and the
    /// sequencer and shown by the main window.
    QString TimeCaption = QStringLiteral("Time: 00:00:00");
    QString MsgCaption = QStringLiteral("Process in Idle Mode");
};

/// Values one window hands to the next.
struct WindowHandover {
    int16_t GraphStation = 0;
    int16_t ReportStation = 0;
    int16_t PrinterIndex = 0;
    /// Name of the printer the last print chose: the application's current printer from that
    /// print on (empty until the first print).
    QString CurrentPrinter;
};

/// All state that more than one window or routine uses, in named groups. Created once by
/// start-up and handed around by reference; handlers read and write the fields directly, and
/// routines take the narrowest group they need. Every field starts at zero, false or empty
/// unless noted.
struct SharedState {
    SharedState();

    // Port, paths and start-up flags.
    int16_t CommPort = 0;
    QString AppPath;
    QString ConfigTitle;
    bool PortReady = false;
    bool AboutFromMenu = false;

    Readings readings;
    CalibrationConstants calibration;
    TestParameters parameters;
    std::array<StationRecord, kStations> stations;
    WindowHandover handover;

    /// The wall clock; tests replace it.
    std::unique_ptr<Clock> clock;
};

/// What the main window's load resets before it opens the port: the three readings invalid,
/// PortReady false and LeakTestPassed of the stations in use cleared.
void resetAtMainWindowLoad(SharedState &state);
