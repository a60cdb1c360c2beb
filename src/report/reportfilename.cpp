#include "report/reportfilename.h"

namespace {

QString fileNamePart(QString text)
{
    for (QChar &c : text) {
        if (c == u':' || c == u'/' || c == u'\\' || c.unicode() < 0x20 ||
            QStringLiteral("*?\"<>|").contains(c))
            c = u'-';
    }
    return text.trimmed();
}

} // namespace

QString reportFileName(int station, const QString &startDate, const QString &startTime)
{
    QString name = QStringLiteral("Kestrava test ") + QString::number(station + 1);
    for (const QString &part : {startDate, startTime}) {
        const QString clean = fileNamePart(part);
        if (!clean.isEmpty())
            name += u' ' + clean;
    }
    return name + QStringLiteral(".pdf");
}
