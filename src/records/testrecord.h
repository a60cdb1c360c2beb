#pragma once

#include "app/sharedstate.h"
#include "station/sequencer.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

/// How a test ended. A record without an outcome is still open: its test is running.
enum class Outcome {
    Completed,      ///< "completed"
    LeakTestFailed, ///< "leak test failed"
    MainTestFailed, ///< "main test failed"
    Stopped,        ///< "stopped"
    Interrupted,    ///< "interrupted": the program ended or died during the test
};

/// The outcome's stored and shown text, such as "leak test failed".
QString outcomeText(Outcome outcome);
/// The outcome of such a text; empty for any other text.
std::optional<Outcome> outcomeFromText(const QString &text);

/// The phase a sample was taken in.
enum class TracePhase {
    Leak,  ///< "leak": the leak test
    Main,  ///< "main": the main test
    Post,  ///< "post": the post-test phase
    After, ///< "after": the leak test passed, the main test not started
};

QString phaseText(TracePhase phase);
/// The phase a running station is in, told by its flags.
TracePhase phaseOf(const StationRecord &record);

/// One second of a test's trace.
struct TraceSample {
    /// Seconds from the test's first sample, by the wall clock.
    int64_t elapsed = 0;
    QDateTime time;
    float pressure = 0; ///< KPa; 0 when not valid
    bool pressureValid = false;
    float bathTemp = 0; ///< °C; 0 when not valid
    bool bathTempValid = false;
    TracePhase phase = TracePhase::Leak;
};

/// What happened to the instrument link.
enum class LinkEventKind {
    PortLost,      ///< "port lost": the port failed; the detail holds the reason
    Reconnected,   ///< "reconnected"
    ReadingsStale, ///< "readings stale": the instrument stopped answering
    ReadingsBack,  ///< "readings back"
};

QString linkEventText(LinkEventKind kind);
std::optional<LinkEventKind> linkEventFromText(const QString &text);

/// Something that happened to the instrument link during a test.
struct RecordedLinkEvent {
    QDateTime time;
    LinkEventKind kind = LinkEventKind::PortLost;
    QString detail; ///< the reason, where there is one (the serial error's text)
};

/// The stored and shown text of a decision: "leak test passed", "leak test failed", "main test
/// ended", "main test failed" or "test completed".
QString decisionText(PhaseChange change);
std::optional<PhaseChange> decisionFromText(const QString &text);
/// The phase a decision ended: leak for the leak pass and failure, main for the main test's
/// end and failure, post for the completion.
TracePhase phaseEndedBy(PhaseChange change);

/// The test name and operator of a record.
struct RecordNames {
    QString testName;
    QString operatorName;
};

/// The texts the report window's name fields hold until the user types: they stand for no
/// name and are never stored as one.
inline const QString kUnnamedTest = QStringLiteral("New Test");
inline const QString kUnnamedOperator = QStringLiteral("Operator");

/// The names a report's fields give a record: a field holding its design text gives none.
RecordNames namesFromReport(const QString &testName, const QString &operatorName);

/// Everything a test leaves behind but its trace, decisions and link events.
struct TestRecord {
    int64_t id = 0; ///< the store's key; 0 until stored
    /// The rig the record was made on, for a record read from the shared database; empty for
    /// a record of the local store.
    QString rig;
    /// The local store's change counter at the last write of the record's row (names
    /// included): what a sync compares to know which rows changed.
    int64_t changeSeq = 0;
    int station = 0; ///< 0 or 1 (shown as 1 and 2)
    QDateTime start; ///< the leak start
    std::optional<QDateTime> end;
    std::optional<Outcome> outcome; ///< empty while the test runs

    TestParameters parameters; ///< in force at the leak start
    /// The calibration constants at the leak start: the range, zero and span of the station's
    /// pressure channel, and the zero and span of the temperature channel.
    float calRange = 0, calZero = 0, calSpan = 0, tempZero = 0, tempSpan = 0;

    float leakRefPressure = 0;            ///< RefPressure of the leak start
    std::optional<float> mainRefPressure; ///< RefPressure of the last main start
    std::optional<QDateTime> leakPassTime;
    std::optional<QDateTime> mainStartTime; ///< the last main start
    std::optional<QDateTime> postTestTime;

    QString testName; ///< as typed in the report window when its report was issued
    QString operatorName;

    /// The falls of the leak test, the main test and the post-test phase (PhaseFigures::fall),
    /// set when the record closes, so that a list of records needs neither trace nor decisions.
    std::optional<double> leakFall;
    std::optional<double> mainFall;
    std::optional<double> postFall;
    /// The record keeps the decisions of its test; records kept before decisions were stored
    /// have none, and show "not recorded" where a decision would stand.
    bool decisionsRecorded = true;

    /// The part tested: its serial and model as chosen at the start (empty when none was
    /// asked for), and the model's volume in millilitres at that time.
    QString serial;
    QString model;
    std::optional<double> modelVolume;
    /// The end-to-end rates of the leak test and the main test (PhaseFigures::endToEndRate),
    /// KPa per minute, set when the record closes: what statistics and the flow units read
    /// without the trace.
    std::optional<double> leakRate;
    std::optional<double> mainRate;
};

/// A record's name wherever a record number is shown or typed: "RIG:ID" for a record of the
/// shared database, "ID" for a local one.
QString recordName(const TestRecord &record);

/// A record's key in either store: its rig (empty in the local store) and its local number.
struct RecordKey {
    QString rig;
    int64_t id = 0;
    bool operator==(const RecordKey &) const = default;
};

/// The key of such a name: a number from 1, or RIG:ID with a rig name that is not empty; empty
/// for anything else. The rig is everything before the last ":".
std::optional<RecordKey> recordKeyOf(const QString &name);
/// The name of a key: "RIG:ID" or "ID".
QString recordKeyText(const RecordKey &key);

/// A record with everything it holds: what a detailed view, a report or an export reads.
struct RecordDetails {
    TestRecord record;
    std::vector<TraceSample> trace;        ///< in the order taken
    std::vector<Decision> decisions;       ///< in the order taken
    std::vector<RecordedLinkEvent> events; ///< in the order they happened
};

/// A time as ISO 8601 local time with its UTC offset: "2026-07-12T10:00:00+02:00".
QString isoTime(const QDateTime &time);
/// The same to the tenth of a second (earlier tenths kept): "2026-07-12T10:10:00.3+02:00".
QString isoTimeTenths(const QDateTime &time);
/// The time of such a text (whole seconds), carrying its offset; invalid for anything else.
QDateTime fromIsoTime(const QString &text);
