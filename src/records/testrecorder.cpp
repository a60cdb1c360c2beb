#include "records/testrecorder.h"

#include "records/leakfigures.h"
#include "records/recordstore.h"

#include <algorithm>

/// A record of this run with what it still has to write.
struct TestRecorder::Entry {
    TestRecord record;
    bool open = true;
    bool rowChanged = true; // not yet stored, or changed since
    bool namesChanged = false;
    /// The whole trace while the test runs (its falls are computed from it at the end);
    /// samples from `stored` on are waiting for a flush.
    std::vector<TraceSample> trace;
    size_t stored = 0;
    std::vector<RecordedLinkEvent> events; // waiting for a flush

    bool pending() const
    {
        return rowChanged || namesChanged || stored < trace.size() || !events.empty();
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
    const LeakFigures figures = leakFigures(entry.record, entry.trace);
    entry.record.leakFall = figures.leak.fall;
    entry.record.mainFall = figures.main.fall;
}

void TestRecorder::leakStarted(int station, const StationRecord &record,
                               const TestParameters &parameters,
                               const CalibrationConstants &calibration)
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

void TestRecorder::phaseChanged(int station, std::span<const PhaseChange> changes,
                                const QDateTime &now)
{
    Entry *entry = openEntry(station);
    if (!entry)
        return;
    std::optional<Outcome> ending;
    for (const PhaseChange change : changes) {
        switch (change) {
        case PhaseChange::LeakPassed:
            entry->record.leakPassTime = now;
            break;
        case PhaseChange::PostTestStarted:
            entry->record.postTestTime = now;
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
        close(*entry, *ending, now);
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

void TestRecorder::namesIssued(int station, const QString &testName, const QString &operatorName)
{
    Entry *entry = latestEntry(station);
    if (!entry)
        return;
    entry->record.testName = testName;
    entry->record.operatorName = operatorName;
    entry->namesChanged = true;
}

void TestRecorder::programEnding(const QDateTime &now)
{
    for (Entry &entry : m_entries)
        if (entry.open)
            close(entry, Outcome::Interrupted, now);
}

MaybeFailure TestRecorder::flush(size_t sampleBudget)
{
    const auto result = [this](MaybeFailure failure) {
        m_failing = failure.has_value();
        return failure;
    };
    if (!m_store.isOpen()) {
        if (MaybeFailure failure = m_store.open())
            return result(failure);
    }
    if (!m_recovered) {
        if (MaybeFailure failure = m_store.closeOpenRecords())
            return result(failure);
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
        change.events = entry.events;
        changes.push_back(std::move(change));
        changed.push_back(&entry);
    }
    if (changes.empty())
        return result(std::nullopt);
    if (MaybeFailure failure = m_store.write(changes))
        return result(failure);

    for (size_t i = 0; i < changes.size(); ++i) {
        Entry &entry = *changed[i];
        entry.record.id = changes[i].record.id;
        entry.rowChanged = false;
        entry.namesChanged = false;
        entry.stored += changes[i].samples.size();
        entry.events.clear();
        if (!entry.open && entry.stored == entry.trace.size()) {
            entry.trace = {};
            entry.stored = 0;
        }
    }
    // Ended records that are written drop out, but each station's latest stays for its names.
    std::vector<const Entry *> latest;
    for (int station = 0; station < kUsedStations; ++station)
        latest.push_back(latestEntry(station));
    std::vector<Entry> kept;
    for (Entry &entry : m_entries)
        if (entry.open || entry.pending() ||
            std::find(latest.begin(), latest.end(), &entry) != latest.end())
            kept.push_back(std::move(entry));
    m_entries = std::move(kept);
    return result(std::nullopt);
}

std::optional<int64_t> TestRecorder::latestRecordId(int station) const
{
    const Entry *entry = latestEntry(station);
    if (!entry || entry->record.id == 0)
        return std::nullopt;
    return entry->record.id;
}
