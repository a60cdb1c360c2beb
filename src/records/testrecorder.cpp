#include "records/testrecorder.h"

#include "records/leakfigures.h"
#include "records/recordstore.h"

#include <algorithm>

/// A record of this run with what it still has to write. An open record keeps its whole
/// trace, decisions and link events (its falls are computed from them at the end, and a new
/// database gets them all); the parts from `...Stored` on wait for a flush.
struct TestRecorder::Entry {
    TestRecord record;
    bool open = true;
    bool rowChanged = true; // not yet stored, or changed since
    bool namesChanged = false;
    std::vector<TraceSample> trace;
    size_t stored = 0;
    std::vector<Decision> decisions;
    size_t decisionsStored = 0;
    std::vector<RecordedLinkEvent> events;
    size_t eventsStored = 0;

    bool pending() const
    {
        return rowChanged || namesChanged || stored < trace.size() ||
               decisionsStored < decisions.size() || eventsStored < events.size();
    }
};

TestRecorder::TestRecorder(RecordStore &store) : m_store(store) {}

TestRecorder::~TestRecorder() = default;

TestRecorder::Entry *TestRecorder::latestEntry(int station)
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (it->record.station == station)
            return &*it;
    return nullptr;
}

const TestRecorder::Entry *TestRecorder::latestEntry(int station) const
{
    return const_cast<TestRecorder *>(this)->latestEntry(station);
}

TestRecorder::Entry *TestRecorder::openEntry(int station)
{
    Entry *entry = latestEntry(station);
    return entry && entry->open ? entry : nullptr;
}

void TestRecorder::close(Entry &entry, Outcome outcome, const QDateTime &now)
{
    entry.open = false;
    entry.rowChanged = true;
    entry.record.outcome = outcome;
    entry.record.end = now;
    keepFigures(entry.record, leakFigures(entry.record, entry.trace, entry.decisions));
}

void TestRecorder::leakStarted(int station, const StationRecord &record,
                               const TestParameters &parameters,
                               const CalibrationConstants &calibration, const PartChoice &part)
{
    // A test the window did not report as ended cannot go on once its station starts again.
    if (Entry *left = openEntry(station))
        close(*left, Outcome::Interrupted, record.PhaseStartTime);
    Entry entry;
    TestRecord &r = entry.record;
    r.station = station;
    r.start = record.PhaseStartTime;
    r.parameters = parameters;
    r.calRange = calibration.CalRange[size_t(station)];
    r.calZero = calibration.CalZero[size_t(station)];
    r.calSpan = calibration.CalSpan[size_t(station)];
    r.tempZero = calibration.TempZero;
    r.tempSpan = calibration.TempSpan;
    r.leakRefPressure = record.RefPressure;
    r.serial = part.serial.trimmed();
    if (part.model) {
        r.model = part.model->name;
        r.modelVolume = part.model->volumeMl;
    }
    m_entries.push_back(std::move(entry));
}

void TestRecorder::mainStarted(int station, const StationRecord &record)
{
    Entry *entry = openEntry(station);
    if (!entry)
        return;
    entry->record.mainStartTime = record.PhaseStartTime;
    entry->record.mainRefPressure = record.RefPressure;
    entry->record.postTestTime.reset();
    entry->rowChanged = true;
}

void TestRecorder::decided(int station, std::span<const Decision> decisions)
{
    Entry *entry = openEntry(station);
    if (!entry || decisions.empty())
        return;
    std::optional<Outcome> ending;
    for (const Decision &decision : decisions) {
        entry->decisions.push_back(decision);
        switch (decision.change) {
        case PhaseChange::LeakPassed:
            entry->record.leakPassTime = decision.time;
            break;
        case PhaseChange::PostTestStarted:
            entry->record.postTestTime = decision.time;
            break;
        case PhaseChange::LeakFailed:
            ending = Outcome::LeakTestFailed;
            break;
        case PhaseChange::MainFailed:
            ending = Outcome::MainTestFailed;
            break;
        case PhaseChange::Completed:
            ending = Outcome::Completed;
            break;
        }
    }
    entry->rowChanged = true;
    if (ending)
        close(*entry, *ending, decisions.back().time);
}

void TestRecorder::stopped(int station, const QDateTime &now)
{
    if (Entry *entry = openEntry(station))
        close(*entry, Outcome::Stopped, now);
}

void TestRecorder::sampled(int station, const StationRecord &record, Reading pressure,
                           Reading bathTemp, const QDateTime &now)
{
    Entry *entry = openEntry(station);
    if (!entry)
        return;
    TraceSample sample;
    sample.elapsed = entry->trace.empty() ? 0 : entry->trace.front().time.secsTo(now);
    sample.time = now;
    sample.pressureValid = pressure.valid;
    sample.pressure = pressure.valid ? pressure.value : 0.0f;
    sample.bathTempValid = bathTemp.valid;
    sample.bathTemp = bathTemp.valid ? bathTemp.value : 0.0f;
    sample.phase = phaseOf(record);
    entry->trace.push_back(sample);
}

void TestRecorder::linkEvent(LinkEventKind kind, const QString &detail, const QDateTime &now)
{
    for (Entry &entry : m_entries)
        if (entry.open)
            entry.events.push_back({now, kind, detail});
}

void TestRecorder::namesIssued(int station, const RecordNames &names)
{
    Entry *entry = latestEntry(station);
    if (!entry)
        return;
    entry->record.testName = names.testName;
    entry->record.operatorName = names.operatorName;
    entry->namesChanged = true;
}

std::optional<RecordNames> TestRecorder::latestNames(int station) const
{
    const Entry *entry = latestEntry(station);
    if (!entry)
        return std::nullopt;
    // Names not yet written are the newest; otherwise the store has the last word.
    if (entry->record.id != 0 && !entry->namesChanged && m_store.isOpen()) {
        const Fallible<TestRecord> stored = m_store.record(entry->record.id);
        if (stored.ok())
            return RecordNames{stored->testName, stored->operatorName};
    }
    return RecordNames{entry->record.testName, entry->record.operatorName};
}

MaybeFailure TestRecorder::setNames(int64_t recordId, const RecordNames &names)
{
    if (MaybeFailure failure = m_store.setNames(recordId, names.testName, names.operatorName))
        return failure;
    for (Entry &entry : m_entries) {
        if (entry.record.id == recordId) {
            entry.record.testName = names.testName;
            entry.record.operatorName = names.operatorName;
            entry.namesChanged = false;
        }
    }
    return std::nullopt;
}

Fallible<std::vector<PartModel>> TestRecorder::partModels() const
{
    return m_store.partModels();
}

Fallible<int64_t> TestRecorder::savePartModel(const PartModel &model)
{
    std::optional<QString> oldName;
    if (model.id != 0) {
        const Fallible<std::vector<PartModel>> models = m_store.partModels();
        if (!models.ok())
            return *models.failure();
        for (const PartModel &stored : *models)
            if (stored.id == model.id)
                oldName = stored.name;
    }
    Fallible<int64_t> saved = m_store.savePartModel(model);
    // The records of this run not yet written take the new name too, or their next write
    // would bring the old one back.
    if (saved.ok() && oldName && *oldName != model.name)
        for (Entry &entry : m_entries)
            if (entry.record.model == *oldName)
                entry.record.model = model.name;
    return saved;
}

MaybeFailure TestRecorder::deletePartModel(int64_t id)
{
    return m_store.deletePartModel(id);
}

void TestRecorder::programEnding(const QDateTime &now)
{
    for (Entry &entry : m_entries)
        if (entry.open)
            close(entry, Outcome::Interrupted, now);
}

void TestRecorder::restartEntries()
{
    // A record that ended since the last good flush is not whole in the file that went either.
    std::vector<Entry> open;
    for (Entry &entry : m_entries) {
        if (!entry.open && !entry.pending())
            continue;
        entry.record.id = 0;
        entry.rowChanged = true;
        entry.namesChanged = false; // an insert writes the names
        entry.stored = 0;
        entry.decisionsStored = 0;
        entry.eventsStored = 0;
        open.push_back(std::move(entry));
    }
    m_entries = std::move(open);
}

FlushResult TestRecorder::flush(size_t sampleBudget)
{
    bool restarted = false;
    MaybeFailure logKept;
    const auto done = [this, &restarted, &logKept](MaybeFailure failure) {
        m_failing = failure.has_value();
        return FlushResult{std::move(failure), restarted, logKept};
    };
    if (m_store.fileGone()) {
        // Writes would go on into a file nobody can reach: whatever it still holds in its log
        // goes into it as it closes, and it is never touched again.
        logKept = m_store.closeGoneFile();
        restartEntries();
        m_recovered = false;
        restarted = true;
    }
    if (!m_store.isOpen()) {
        if (MaybeFailure failure = m_store.open())
            return done(failure);
    }
    if (!m_recovered) {
        const Fallible<int> closed = m_store.closeOpenRecords();
        if (!closed.ok())
            return done(closed.failure());
        m_recovered = true;
    }

    std::vector<RecordChange> changes;
    std::vector<Entry *> changed;
    for (Entry &entry : m_entries) {
        if (!entry.pending())
            continue;
        RecordChange change;
        change.record = entry.record;
        change.writeNames = entry.namesChanged;
        change.firstSample = int64_t(entry.stored);
        const size_t taken = std::min(entry.trace.size() - entry.stored, sampleBudget);
        sampleBudget -= taken;
        const auto first = entry.trace.begin() + qsizetype(entry.stored);
        change.samples.assign(first, first + qsizetype(taken));
        change.firstDecision = int64_t(entry.decisionsStored);
        change.decisions.assign(entry.decisions.begin() + qsizetype(entry.decisionsStored),
                                entry.decisions.end());
        change.events.assign(entry.events.begin() + qsizetype(entry.eventsStored),
                             entry.events.end());
        changes.push_back(std::move(change));
        changed.push_back(&entry);
    }
    if (changes.empty())
        return done(std::nullopt);
    const Fallible<std::vector<int64_t>> ids = m_store.write(changes);
    if (!ids.ok())
        return done(ids.failure());

    for (size_t i = 0; i < changes.size(); ++i) {
        Entry &entry = *changed[i];
        entry.record.id = (*ids)[i];
        entry.rowChanged = false;
        entry.namesChanged = false;
        entry.stored += changes[i].samples.size();
        entry.decisionsStored = entry.decisions.size();
        entry.eventsStored = entry.events.size();
        if (!entry.open && entry.stored == entry.trace.size()) {
            entry.trace = {};
            entry.stored = 0;
            entry.decisions = {};
            entry.decisionsStored = 0;
            entry.events = {};
            entry.eventsStored = 0;
        }
    }
    // Ended records that are written drop out, but each station's latest stays for its names.
    std::vector<const Entry *> latest;
    for (int station = 0; station < kStations; ++station)
        latest.push_back(latestEntry(station));
    std::vector<Entry> kept;
    for (Entry &entry : m_entries)
        if (entry.open || entry.pending() ||
            std::find(latest.begin(), latest.end(), &entry) != latest.end())
            kept.push_back(std::move(entry));
    m_entries = std::move(kept);
    return done(std::nullopt);
}

std::optional<int64_t> TestRecorder::latestRecordId(int station) const
{
    const Entry *entry = latestEntry(station);
    if (!entry || entry->record.id == 0)
        return std::nullopt;
    return entry->record.id;
}
