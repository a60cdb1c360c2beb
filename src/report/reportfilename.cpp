#include "report/reportfilename.h"

#include "app/sharedstate.h"

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

QString reportFileName(const SharedState &state, int station)
{
    QString name = QStringLiteral("Kestrava test ") + QString::number(station + 1);
    if (station >= 0 && station < kStations) {
        for (const QString &part :
             {state.TestStartDate[size_t(station)], state.TestStartTime[size_t(station)]}) {
            const QString clean = fileNamePart(part);
            if (!clean.isEmpty())
                name += u' ' + clean;
        }
    }
    return name + QStringLiteral(".pdf");
}
