#include "ui/main/designfont.h"

#include <QStringList>

QFont designFont(const QString &family, qreal pointSize, bool bold, bool italic)
{
    QFont font;
    QStringList families{family};
    if (family.startsWith(QStringLiteral("Arial Narrow")))
        families << QStringLiteral("Liberation Sans Narrow");
    families << QStringLiteral("Arial") << QStringLiteral("Liberation Sans");
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
