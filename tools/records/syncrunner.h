#pragma once

#include <QString>

/// What `kestrava-records sync` is asked to do.
struct SyncRequest {
    QString database; ///< the local records database
    QString url;      ///< the shared database
    QString rig;
    bool follow = false;
    bool json = false; ///< state lines as JSON objects (syncStateJson())
};

/// Seconds a sync may wait for an answer of the server before the process gives up with exit
/// status 1: a frozen server answers nothing, and a blocked driver
/// call cannot be timed out from inside. The program that started it starts it again.
inline constexpr int kSyncWatchdogSeconds = 20;

/// Runs the sync: once, or with `follow` until the process is ended. The exit status.
///
/// Once: copies what the server lacks and exits 0, printing what it copied; 1 with a line
/// saying why when the server cannot be reached or fails, or another sync for the rig runs.
///
/// Follow: watches the local database twice a second and copies each change; prints the state
/// ("up to date", "N records waiting", "unreachable since ...: reason") each time it changes;
/// a failure closes the connection and the next attempt comes after a pause that grows from
/// 1 s to 30 s. Another sync for the rig running ends it with status 1, as does the watchdog.
int runSync(const SyncRequest &request);
