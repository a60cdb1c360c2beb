#pragma once

#include <QString>

struct SharedState;

/// The suggested name of a saved report of the station: "Kestrava test 1 07-12-2026
/// 22-48-33.pdf" from the test's start date and time ("Kestrava test 1.pdf" before any test).
/// Characters that file names cannot hold become "-".
QString reportFileName(const SharedState &state, int station);
