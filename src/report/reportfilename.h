#pragma once

#include <QString>

/// The suggested name of a saved report of a test on the station (0 or 1): "Kestrava test 1
/// 07-12-2026 22-48-33.pdf" from the test's start date and time ("Kestrava test 1.pdf" when
/// both are empty). Characters that file names cannot hold become "-".
QString reportFileName(int station, const QString &startDate, const QString &startTime);
