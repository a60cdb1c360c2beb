#include "ui/designfont.h"

#include <QStringList>

#include <fontconfig/fontconfig.h>

QString fontconfigSubstitute(const QString &family)
{
    const QByteArray name = family.toUtf8();
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name.constData()));
    if (!pattern)
        return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    QString substitute;
    FcChar8 *matched = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch)
        substitute = QString::fromUtf8(reinterpret_cast<const char *>(matched));
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return substitute;
}

QFont designFont(const QString &family, qreal pointSize, bool bold, bool italic)
{
    QFont font;
    QStringList families{family};
    // Qt does not follow fontconfig's aliases for a missing face, and its own fallback for
    // "Arial Narrow" is the regular-width Arial substitute; the narrow face is asked for here.
    if (family.startsWith(QStringLiteral("Arial Narrow"))) {
        const QString narrow = fontconfigSubstitute(family);
        if (!narrow.isEmpty())
            families << narrow;
        families << QStringLiteral("Liberation Sans Narrow");
    }
    families << QStringLiteral("Arial") << QStringLiteral("Liberation Sans");
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}
