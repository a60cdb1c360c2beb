#include "syncrunner.h"

#include "output.h"

#include "app/clock.h"
#include "records/recordjson.h"
#include "records/recordstore.h"
#include "records/sharedsync.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <optional>

namespace {

/// Milliseconds between two looks at the local database while following it.
constexpr int kPollMs = 500;

Failure anotherSync(const SyncRequest &request)
{
    return Failure{QStringLiteral("another sync for rig %1 is running").arg(request.rig), {}};
}

/// Opens the shared database, takes the rig's sync lock and starts the sync over them (see
/// SharedSync::start()); false when another sync for the rig holds the lock.
Fallible<bool> beginSync(SharedStore &server, SharedSync &sync, const SyncRequest &request)
{
    if (MaybeFailure failed = server.open(request.url))
        return *failed;
    const Fallible<bool> locked = server.lockRig(request.rig);
    if (!locked.ok() || !*locked)
        return locked;
    if (MaybeFailure failed = sync.start())
        return *failed;
    return true;
}

/// "1 record", "2 records".
QString counted(int64_t n, const char *thing)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing), n == 1 ? "" : "s");
}

QString countText(const SyncCount &count, const QString &rig)
{
    return QStringLiteral("%1, %2, %3 and %4 copied to the shared database as rig %5\n")
        .arg(counted(count.records, "record"), counted(count.samples, "sample"),
             counted(count.decisions, "decision"), counted(count.events, "link event"), rig);
}

/// Keeps the shared database in step with the local one until the process is ended.
class Follower : public QObject {
public:
    explicit Follower(const SyncRequest &request)
        : m_request(request), m_local(request.database, m_clock, RecordStore::Mode::ReadOnly),
          m_server(QStringLiteral("kestrava-sync"))
    {
        m_poll.setInterval(kPollMs);
        connect(&m_poll, &QTimer::timeout, this, &Follower::onPoll);
        m_retry.setSingleShot(true);
        connect(&m_retry, &QTimer::timeout, this, &Follower::onPoll);
        m_server.setAnswered([] { armWatchdog(kSyncWatchdogSeconds); });
    }

    void start()
    {
        m_poll.start();
        onPoll();
    }

    /// The exit status when the follower ended the loop.
    int status = 0;

private:
    void onPoll();
    MaybeFailure connectServer();
    MaybeFailure copy();
    void failedWith(const Failure &failure);
    void report(const SyncState &state);

    const SyncRequest m_request;
    const SystemClock m_clock;
    RecordStore m_local;
    SharedStore m_server;
    std::optional<SharedSync> m_sync;
    QTimer m_poll;
    QTimer m_retry;
    int m_failures = 0;
    std::optional<QDateTime> m_unreachableSince;
    std::optional<SyncState> m_reported;
    /// The local database's last change and link event when last copied.
    std::optional<std::pair<int64_t, int64_t>> m_copied;
};

MaybeFailure Follower::connectServer()
{
    if (m_sync)
        return std::nullopt;
    const Fallible<bool> begun =
        beginSync(m_server, m_sync.emplace(m_local, m_server, m_request.rig), m_request);
    if (!begun.ok() || !*begun)
        m_sync.reset();
    if (!begun.ok())
        return begun.failure();
    if (!*begun) {
        status = failed(anotherSync(m_request));
        QCoreApplication::exit(status);
        return anotherSync(m_request);
    }
    m_copied.reset();
    return std::nullopt;
}

MaybeFailure Follower::copy()
{
    if (!m_local.isOpen()) {
        // Until the program's first test makes the database there is nothing to copy.
        if (!QFileInfo::exists(m_request.database)) {
            report({});
            return std::nullopt;
        }
        if (MaybeFailure failed = m_local.open())
            return failed;
    }
    const Fallible<std::pair<int64_t, int64_t>> last = m_local.lastChange();
    if (!last.ok())
        return last.failure();
    if (m_sync && m_copied == *last)
        return std::nullopt;
    if (MaybeFailure failed = connectServer())
        return failed;
    const Fallible<SyncCount> copied = m_sync->copy();
    if (!copied.ok())
        return copied.failure();
    m_copied = *last;
    const Fallible<int64_t> waiting = m_sync->waiting();
    if (!waiting.ok())
        return waiting.failure();
    SyncState state;
    if (*waiting > 0) {
        state.kind = SyncState::Kind::Waiting;
        state.waiting = *waiting;
    }
    report(state);
    return std::nullopt;
}

void Follower::onPoll()
{
    if (m_retry.isActive() || status != 0)
        return;
    armWatchdog(kSyncWatchdogSeconds);
    const MaybeFailure failure = copy();
    armWatchdog(0);
    if (status != 0)
        return;
    if (failure) {
        failedWith(*failure);
        return;
    }
    m_failures = 0;
    m_unreachableSince.reset();
}

void Follower::failedWith(const Failure &failure)
{
    // The connection goes, and with it the rig's lock; the next attempt starts anew.
    m_sync.reset();
    m_server.close();
    m_local.close();
    if (!m_unreachableSince)
        m_unreachableSince = m_clock.now();
    ++m_failures;
    report({SyncState::Kind::Unreachable, 0, *m_unreachableSince, failure.reason});
    m_retry.start(retryPauseSeconds(m_failures) * 1000);
}

void Follower::report(const SyncState &state)
{
    if (m_reported == state)
        return;
    m_reported = state;
    print(m_request.json ? recordjson::line(syncStateJson(state))
                         : (syncStateText(state) + u'\n').toUtf8());
}

} // namespace

int runSync(const SyncRequest &request)
{
    if (request.follow) {
        Follower follower(request);
        QTimer::singleShot(0, &follower, &Follower::start);
        const int status = QCoreApplication::exec();
        return status != 0 ? status : follower.status;
    }

    armWatchdog(kSyncWatchdogSeconds);
    const SystemClock clock;
    RecordStore local(request.database, clock, RecordStore::Mode::ReadOnly);
    if (MaybeFailure failure = local.open())
        return failed(*failure);
    SharedStore server(QStringLiteral("kestrava-sync"));
    // A long copy goes on as long as the server answers.
    server.setAnswered([] { armWatchdog(kSyncWatchdogSeconds); });
    SharedSync sync(local, server, request.rig);
    const Fallible<bool> begun = beginSync(server, sync, request);
    if (!begun.ok())
        return failed(*begun.failure());
    if (!*begun)
        return failed(anotherSync(request));
    const Fallible<SyncCount> copied = sync.copy();
    if (!copied.ok())
        return failed(*copied.failure());
    armWatchdog(0);
    if (request.json)
        return print(recordjson::line(syncStateJson({})));
    return print(countText(*copied, request.rig));
}
