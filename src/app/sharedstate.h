#pragma once

#include "app/clock.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

/// Slots of every per-station array; stations 0 and 1 are the ones in use.
inline constexpr int kStations = 6;
/// Stations that the sequencer, the sampler and the main window visit.
inline constexpr int kUsedStations = 2;
/// Sample slots per station (indices 0..36000).
inline constexpr int kSampleSlots = 36001;
/// Samples a test can record: SampleCount is 16-bit, so its last index is 32767.
inline constexpr int32_t kMaxRecordedSamples = 32768;

/// The poll command the instrument answers.
inline const QString kPollCommand = QStringLiteral("?Z\r");

template <typename T> using PerStation = std::array<T, kStations>;

/// All state that more than one window or routine uses: the module variables and the
/// per-station test record. Created once by start-up and handed around by reference;
/// handlers read and write the fields directly. Every field starts at zero, false or
/// empty unless noted.
struct SharedState {
    SharedState();

    // Port, paths and start-up flags.
    int16_t CommPort = 0;
    QString AppPath;
    QString ConfigTitle;
    bool PortReady = false;
    bool AboutFromMenu = false;

    // Device link: the last decoded reply.
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

    // Calibration constants.
    PerStation<float> CalRange{};
    PerStation<float> CalZero{};
    PerStation<float> CalSpan{};
    float TempZero = 0;
    float TempSpan = 0;

    // Test parameters.
    float StartPressureLimit = 0;
    float LeakFallLimit = 0;
    int16_t LeakTestDuration = 0;
    float BathFallLimit = 0;
    int16_t MainTestDuration = 0;
    float MinBathTemp = 0;

    // Window hand-over values.
    int16_t GraphStation = 0;
    int16_t ReportStation = 0;
    int16_t PrinterIndex = 0;
    /// Name of the printer the last print chose: the application's current printer from that
    /// print on (empty until the first print).
    QString CurrentPrinter;

    // Recorded one-second pressure samples: Samples[station][k], k = 0..36000.
    std::vector<std::array<float, kSampleSlots>> Samples;
    /// Index of each station's newest sample (one less than the number recorded).
    PerStation<int16_t> SampleCount{};

    // Per-station test record.
    PerStation<bool> TestRunning{};
    PerStation<bool> LeakTestActive{};
    PerStation<bool> LeakTestPassed{};
    PerStation<bool> MainTestActive{};
    PerStation<bool> PostTestActive{};
    PerStation<int32_t> SampleIndex{};
    PerStation<QDateTime> PhaseStartTime{};
    PerStation<int16_t> PhaseSeconds{};
    PerStation<float> RefPressure{};
    PerStation<QString> TestStartDate{};
    PerStation<QString> TestStartTime{};

    /// Captions of each station's time and status labels, written by start, stop and the
    /// sequencer and shown by the main window.
    PerStation<QString> TimeCaption;
    PerStation<QString> MsgCaption;

    /// Polls sent since the last decoded frame; the readings go stale after ten.
    int PollsSinceFrame = 0;
    /// A frame has been decoded since the last poll, so later ones are ignored.
    bool FrameTakenSincePoll = false;

    /// The wall clock; tests replace it.
    std::unique_ptr<Clock> clock;
};

/// The station pressure: Pressure1 for station 0, Pressure2 for every other station.
float stationPressure(const SharedState &state, int station);
/// Whether the station pressure's last reading is valid.
bool stationPressureValid(const SharedState &state, int station);
