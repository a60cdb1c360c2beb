#pragma once

#include <QFont>
#include <QString>

/// A font of the window design. Where the named face is missing, the nearest installed one
/// is taken: for "Arial Narrow" the narrow family fontconfig substitutes for it, otherwise
/// Liberation Sans, metric-compatible with Arial.
QFont designFont(const QString &family, qreal pointSize, bool bold = false, bool italic = false);

/// The family fontconfig would draw for the named one; empty when it knows none.
QString fontconfigSubstitute(const QString &family);
