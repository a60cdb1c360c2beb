#include "records/sharedsync.h"

#include "records/recordstore.h"

#include <algorithm>

namespace {

/// Records read from the local store at a time.
constexpr int kRecordsAtATime = 200;
/// Link events read at a time.
constexpr int kEventsAtATime = 1000;

} // namespace

SharedSync::SharedSync(const RecordStore &local, SharedStore &server, QString rig)
    : m_local(local), m_server(server), m_rig(std::move(rig))
{
}

MaybeFailure SharedSync::start()
{
    const Fallible<SyncMark> mark = m_server.mark(m_rig);
    if (!mark.ok())
        return mark.failure();
    const Fallible<std::pair<int64_t, int64_t>> last = m_local.lastChange();
    if (!last.ok())
        return last.failure();
    if (last->first < mark->change || last->second < mark->event)
        return Failure{QStringLiteral("the shared database holds more of rig %1 than this records "
                                      "database has: it is not the database rig %1 copied "
                                      "before (another rig's name, or a database started anew)")
                           .arg(m_rig),
                       m_local.path()};
    m_mark = *mark;
    return std::nullopt;
}

MaybeFailure SharedSync::commitBatch(SharedBatch &batch, int64_t change)
{
    if (MaybeFailure failed = m_server.write(m_rig, batch)) {
        m_server.rollback();
        return failed;
    }
    if (MaybeFailure failed = m_server.commit())
        return failed;
    m_mark.change = std::max(m_mark.change, change);
    batch = SharedBatch{};
    return m_server.begin();
}

MaybeFailure SharedSync::copyRecord(const TestRecord &record, SharedBatch &batch, int64_t &change,
                                    SyncCount &count)
{
    // Both at once: the batches committed below hold none of this record's decisions, so
    // where they go on does not change meanwhile.
    const Fallible<RecordMark> next = m_server.recordMark(m_rig, record.id);
    if (!next.ok())
        return next.failure();
    // Samples written after the record's row was read come along too: the next change of
    // the row brings it back, and the server refuses nothing but what it holds.
    for (int64_t seq = next->sample;;) {
        const int room =
            int(std::max<size_t>(kBatchRows - std::min(kBatchRows, batch.rowCount()), 1));
        Fallible<std::vector<QVariantList>> rows = m_local.sampleRows(record.id, seq, room);
        if (!rows.ok())
            return rows.failure();
        seq += int64_t(rows->size());
        count.samples += int64_t(rows->size());
        const bool more = int(rows->size()) == room;
        batch.samples.insert(batch.samples.end(), std::make_move_iterator(rows->begin()),
                             std::make_move_iterator(rows->end()));
        if (!more)
            break;
        if (MaybeFailure failed = commitBatch(batch, change))
            return failed;
    }
    Fallible<std::vector<QVariantList>> decisions = m_local.decisionRows(record.id, next->decision);
    if (!decisions.ok())
        return decisions.failure();
    count.decisions += int64_t(decisions->size());
    batch.decisions.insert(batch.decisions.end(), decisions->begin(), decisions->end());
    batch.records.push_back(record);
    ++count.records;
    change = record.changeSeq;
    return std::nullopt;
}

Fallible<SyncCount> SharedSync::copy()
{
    SyncCount count;
    SharedBatch batch;
    int64_t change = m_mark.change;
    if (MaybeFailure failed = m_server.begin())
        return *failed;
    const auto fail = [this](const Failure &failure) {
        m_server.rollback();
        return failure;
    };
    for (;;) {
        Fallible<std::vector<TestRecord>> changed = m_local.changedSince(change, kRecordsAtATime);
        if (!changed.ok())
            return fail(*changed.failure());
        for (const TestRecord &record : *changed) {
            if (MaybeFailure failed = copyRecord(record, batch, change, count))
                return fail(*failed);
            if (batch.rowCount() >= kBatchRows) {
                if (MaybeFailure failed = commitBatch(batch, change))
                    return fail(*failed);
            }
        }
        if (int(changed->size()) < kRecordsAtATime)
            break;
    }
    for (;;) {
        Fallible<std::vector<QVariantList>> events =
            m_local.eventRows(m_mark.event, kEventsAtATime);
        if (!events.ok())
            return fail(*events.failure());
        if (events->empty())
            break;
        // The id is the first column.
        const int64_t last = events->back().front().toLongLong();
        count.events += int64_t(events->size());
        batch.events = std::move(*events);
        if (MaybeFailure failed = commitBatch(batch, change))
            return fail(*failed);
        m_mark.event = last;
    }
    if (MaybeFailure failed = m_server.write(m_rig, batch))
        return fail(*failed);
    if (MaybeFailure failed = m_server.commit())
        return *failed;
    m_mark.change = std::max(m_mark.change, change);
    return count;
}

Fallible<int64_t> SharedSync::waiting() const
{
    return m_local.countChangedSince(m_mark.change);
}

QJsonObject syncStateJson(const SyncState &state)
{
    switch (state.kind) {
    case SyncState::Kind::UpToDate:
        return {{QStringLiteral("state"), QStringLiteral("up to date")}};
    case SyncState::Kind::Waiting:
        return {{QStringLiteral("state"), QStringLiteral("waiting")},
                {QStringLiteral("waiting"), qint64(state.waiting)}};
    case SyncState::Kind::Unreachable:
        break;
    }
    return {{QStringLiteral("state"), QStringLiteral("unreachable")},
            {QStringLiteral("since"), state.since.toUTC().toString(Qt::ISODate)},
            {QStringLiteral("reason"), state.reason}};
}

std::optional<SyncState> syncStateOf(const QJsonObject &object)
{
    const QString kind = object.value(QStringLiteral("state")).toString();
    SyncState state;
    if (kind == QLatin1String("up to date"))
        return state;
    if (kind == QLatin1String("waiting")) {
        state.kind = SyncState::Kind::Waiting;
        state.waiting = object.value(QStringLiteral("waiting")).toInteger();
        return state;
    }
    if (kind != QLatin1String("unreachable"))
        return std::nullopt;
    state.kind = SyncState::Kind::Unreachable;
    state.since =
        QDateTime::fromString(object.value(QStringLiteral("since")).toString(), Qt::ISODate);
    state.reason = object.value(QStringLiteral("reason")).toString();
    if (!state.since.isValid())
        return std::nullopt;
    return state;
}

QString syncStateText(const SyncState &state)
{
    const QString lead = QStringLiteral("Shared database: ");
    switch (state.kind) {
    case SyncState::Kind::UpToDate:
        return lead + QStringLiteral("up to date");
    case SyncState::Kind::Waiting:
        return lead + (state.waiting == 1
                           ? QStringLiteral("1 record waiting")
                           : QStringLiteral("%1 records waiting").arg(state.waiting));
    case SyncState::Kind::Unreachable:
        break;
    }
    return lead +
           QStringLiteral("unreachable since %1: %2")
               .arg(state.since.toLocalTime().toString(QStringLiteral("HH:mm:ss")), state.reason);
}

int retryPauseSeconds(int failures)
{
    return failures <= 1 ? 1 : std::min(30, 1 << std::min(failures - 1, 5));
}
