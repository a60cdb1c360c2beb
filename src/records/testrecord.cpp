#include "records/testrecord.h"

#include <QRegularExpression>

#include <array>
#include <cstdlib>

namespace {

constexpr std::array<const char *, 5> kOutcomeTexts{"completed", "leak test failed",
                                                    "main test failed", "stopped", "interrupted"};
constexpr std::array<const char *, 4> kPhaseTexts{"leak", "main", "post", "after"};
constexpr std::array<const char *, 5> kDecisionTexts{"leak test passed", "leak test failed",
                                                     "main test ended", "main test failed",
                                                     "test completed"};
constexpr std::array<const char *, 4> kLinkEventTexts{"port lost", "reconnected", "readings stale",
                                                      "readings back"};

template <typename Enum, size_t N>
std::optional<Enum> fromText(const std::array<const char *, N> &texts, const QString &text)
{
    for (size_t i = 0; i < N; ++i)
        if (text == QLatin1String(texts[i]))
            return Enum(i);
    return std::nullopt;
}

} // namespace

QString outcomeText(Outcome outcome)
{
    return QString::fromLatin1(kOutcomeTexts[size_t(outcome)]);
}

std::optional<Outcome> outcomeFromText(const QString &text)
{
    return fromText<Outcome>(kOutcomeTexts, text);
}

QString phaseText(TracePhase phase)
{
    return QString::fromLatin1(kPhaseTexts[size_t(phase)]);
}

TracePhase phaseOf(const StationRecord &record)
{
    if (record.MainTestActive)
        return TracePhase::Main;
    if (record.PostTestActive)
        return TracePhase::Post;
    if (record.LeakTestPassed)
        return TracePhase::After;
    return TracePhase::Leak;
}

QString decisionText(PhaseChange change)
{
    return QString::fromLatin1(kDecisionTexts[size_t(change)]);
}

std::optional<PhaseChange> decisionFromText(const QString &text)
{
    return fromText<PhaseChange>(kDecisionTexts, text);
}

TracePhase phaseEndedBy(PhaseChange change)
{
    switch (change) {
    case PhaseChange::LeakPassed:
    case PhaseChange::LeakFailed:
        return TracePhase::Leak;
    case PhaseChange::PostTestStarted:
    case PhaseChange::MainFailed:
        return TracePhase::Main;
    case PhaseChange::Completed:
        break;
    }
    return TracePhase::Post;
}

RecordNames namesFromReport(const QString &testName, const QString &operatorName)
{
    return {testName == kUnnamedTest ? QString() : testName,
            operatorName == kUnnamedOperator ? QString() : operatorName};
}

QString linkEventText(LinkEventKind kind)
{
    return QString::fromLatin1(kLinkEventTexts[size_t(kind)]);
}

std::optional<LinkEventKind> linkEventFromText(const QString &text)
{
    return fromText<LinkEventKind>(kLinkEventTexts, text);
}

namespace {

QString isoTime(const QDateTime &time, const QString &format)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(format) + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString isoTime(const QDateTime &time)
{
    return isoTime(time, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
}

QString isoTimeTenths(const QDateTime &time)
{
    return isoTime(time, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.") +
                             QString::number(time.time().msec() / 100));
}

QDateTime fromIsoTime(const QString &text)
{
    // Only the form isoTime() writes: Qt would also take a time without an offset, as local.
    static const QRegularExpression form(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"));
    if (!form.match(text).hasMatch())
        return {};
    return QDateTime::fromString(text, Qt::ISODate);
}

QString recordName(const TestRecord &record)
{
    return recordKeyText({record.rig, record.id});
}

std::optional<RecordKey> recordKeyOf(const QString &name)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,18}$"));
    const qsizetype colon = name.lastIndexOf(u':');
    const QString id = name.mid(colon + 1);
    const QString rig = colon < 0 ? QString() : name.left(colon);
    if (!number.match(id).hasMatch() || (colon >= 0 && rig.isEmpty()))
        return std::nullopt;
    const qlonglong value = id.toLongLong();
    if (value < 1)
        return std::nullopt;
    return RecordKey{rig, value};
}

QString recordKeyText(const RecordKey &key)
{
    const QString id = QString::number(key.id);
    return key.rig.isEmpty() ? id : key.rig + u':' + id;
}
