#include "station/stationsession.h"

#include "app/sharedstate.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"
#include "station/livedisplay.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

StationSession::StationSession(int station, StationRecord &record, TestRecorder &recorder)
    : m_station(station), m_record(record), m_recorder(recorder)
{
}

StartOutcome StationSession::startPressed(const Readings &readings,
                                          const TestParameters &parameters,
                                          const CalibrationConstants &calibration,
                                          const Clock &clock, const PartChoice &part)
{
    StartOutcome outcome = testStartPressed(m_record, stationPressure(readings, m_station),
                                            bathTemperature(readings), parameters, clock);
    if (outcome.kind == StartOutcome::Kind::LeakStarted)
        m_recorder.leakStarted(m_station, m_record, parameters, calibration, part);
    else if (outcome.kind == StartOutcome::Kind::MainStarted)
        m_recorder.mainStarted(m_station, m_record);
    return outcome;
}

bool StationSession::stopPressed(const Clock &clock)
{
    if (!testStopPressed(m_record))
        return false;
    m_recorder.stopped(m_station, clock.now());
    return true;
}

StationSessions::StationSessions(SharedState &state)
    : m_state(state), m_store(std::make_unique<RecordStore>(
                          QDir(state.AppPath).filePath(RecordStore::kFileName), *state.clock)),
      m_recorder(std::make_unique<TestRecorder>(*m_store))
{
    for (int station = 0; station < kStations; ++station)
        m_sessions.emplace_back(station, state.stations[size_t(station)], *m_recorder);
}

StationSessions::~StationSessions() = default;

std::optional<QString> StationSessions::begin()
{
    if (!QFileInfo::exists(m_store->path()))
        return std::nullopt;
    m_recording = true;
    return flush();
}

StartOutcome StationSessions::startPressed(int station, const PartChoice &part)
{
    const StartOutcome outcome = m_sessions[size_t(station)].startPressed(
        m_state.readings, m_state.parameters, m_state.calibration, *m_state.clock, part);
    if (outcome.kind == StartOutcome::Kind::LeakStarted) {
        m_recording = true;
        m_recordsChanged = true;
    }
    return outcome;
}

bool StationSessions::stopPressed(int station)
{
    if (!m_sessions[size_t(station)].stopPressed(*m_state.clock))
        return false;
    m_recordsChanged = true;
    return true;
}

SequencerResult StationSessions::scanTick()
{
    SequencerResult result = sequencerTick(m_state);
    // The recorder only queues what it is told, so it hears of both stations once both are
    // sequenced.
    for (const StationChanges &changes : result.stations) {
        m_recorder->decided(changes.station, changes.decisions);
        if (!m_state.stations[size_t(changes.station)].TestRunning)
            m_recordsChanged = true;
    }
    return result;
}

std::optional<QString> StationSessions::displayTick()
{
    sample();
    return flush();
}

void StationSessions::sample()
{
    const QDateTime now = m_state.clock->now();
    for (int s = 0; s < kStations; ++s) {
        const StationRecord &record = m_state.stations[size_t(s)];
        if (record.TestRunning)
            m_recorder->sampled(s, record, stationPressure(m_state.readings, s),
                                bathTemperature(m_state.readings), now);
    }
    recordSamples(m_state);
}

void StationSessions::linkEvent(LinkEventKind kind, const QString &detail)
{
    m_recorder->linkEvent(kind, detail, m_state.clock->now());
}

std::optional<QString> StationSessions::flush()
{
    if (!m_recording)
        return std::nullopt;
    const bool wasFailing = m_recorder->failing();
    return notice(m_recorder->flush(), wasFailing);
}

std::optional<QString> StationSessions::notice(const FlushResult &result, bool wasFailing)
{
    const QString path = QDir::toNativeSeparators(m_store->path());
    if (result.restarted) {
        m_recordsChanged = true;
        QString text =
            QStringLiteral("The records database %1 was deleted, moved or replaced while "
                           "Kestrava was running. A new records database was started there: "
                           "the tests under way go on in it from their start, and the records "
                           "of the tests that had ended stay in the file that was moved or "
                           "replaced.")
                .arg(path);
        for (const MaybeFailure &failure : {result.logKept, result.failure})
            if (failure)
                text += QStringLiteral("\n\n") + recordsErrorText(*failure);
        return text;
    }
    if (result.failure)
        return wasFailing ? std::nullopt
                          : std::optional<QString>(recordsErrorText(*result.failure));
    const QString setAside = m_store->setAsidePath();
    if (!setAside.isEmpty() && setAside != m_setAsideShown) {
        m_setAsideShown = setAside;
        return QStringLiteral("The records database %1 could not be read. It was kept as %2, "
                              "and a new records database was started.")
            .arg(path, QDir::toNativeSeparators(setAside));
    }
    return std::nullopt;
}

std::optional<QString> StationSessions::end()
{
    if (!m_recording)
        return std::nullopt;
    // What cannot be written now is lost, so it is told even while an earlier failure lasts.
    m_recorder->programEnding(m_state.clock->now());
    const FlushResult result = m_recorder->flush(SIZE_MAX);
    QStringList texts;
    for (const MaybeFailure &failure : {result.logKept, result.failure})
        if (failure)
            texts << recordsErrorText(*failure);
    if (texts.isEmpty())
        return std::nullopt;
    return texts.join(QStringLiteral("\n\n"));
}

StationSessions::StoreOpening StationSessions::openStore()
{
    m_recording = true;
    if (m_store->isOpen() && !m_store->fileGone())
        return {};
    const bool wasFailing = m_recorder->failing();
    const FlushResult result = m_recorder->flush();
    return {result.failure, notice(result, wasFailing)};
}

bool StationSessions::takeRecordsChanged()
{
    return std::exchange(m_recordsChanged, false);
}

std::optional<RecordNames> StationSessions::reportNames(int station) const
{
    return m_recorder->latestNames(station);
}

void StationSessions::reportIssued(int station, const QString &testName,
                                   const QString &operatorName)
{
    m_recorder->namesIssued(station, namesFromReport(testName, operatorName));
}

RecordStore &StationSessions::store()
{
    return *m_store;
}

TestRecorder &StationSessions::recorder()
{
    return *m_recorder;
}
