#pragma once

#include <QFont>
#include <QString>

/// A font of the window design. Where the named face is missing, the nearest installed one
/// is taken (Liberation Sans, metric-compatible, for the Arial faces).
QFont designFont(const QString &family, qreal pointSize, bool bold = false, bool italic = false);
