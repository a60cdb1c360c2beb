#pragma once

#include "test/exportfile.h"

#include <vector>

struct SharedState;

/// An export file that a completion in this tick could not write.
struct StationExportFailure {
    int station = 0;
    ExportFailure failure;
};

/// What a sequencer tick leaves for the window to report once the tick is over.
struct SequencerResult {
    std::vector<StationExportFailure> exportFailures;
};

/// The sequencing part of a scan tick, for station 0 then station 1: the leak, main and
/// post-test blocks of each running station in that order, writing its time and status
/// captions. The leak phase passes once its countdown is 0 or less, the main phase ends once
/// the elapsed seconds reach MainTestDuration, and a tick at which the station's pressure
/// reading is invalid only writes the time caption. A completion writes the export file;
/// a failed write is returned rather than shown, so both stations are sequenced on time.
SequencerResult sequencerTick(SharedState &state);
