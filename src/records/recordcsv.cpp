#include "records/recordcsv.h"

#include "app/safefile.h"
#include "records/recordreader.h"
#include "records/testrecord.h"

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

void appendDigits(QByteArray &out, int64_t value, int width)
{
    char digits[20];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

/// The ISO 8601 text of a moment and its offset, as isoTime() writes it, without building a
/// QDateTime: a trace has a time on every row. `tenths` adds a tenth of a second after the
/// seconds.
void appendIsoTime(QByteArray &out, int64_t utcSeconds, int offsetSeconds,
                   std::optional<int> tenths = std::nullopt)
{
    using namespace std::chrono;
    const sys_seconds local{seconds(utcSeconds + offsetSeconds)};
    const sys_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss<seconds> clock{local - day};

    appendDigits(out, int(date.year()), 4);
    out.append('-');
    appendDigits(out, unsigned(date.month()), 2);
    out.append('-');
    appendDigits(out, unsigned(date.day()), 2);
    out.append('T');
    appendDigits(out, clock.hours().count(), 2);
    out.append(':');
    appendDigits(out, clock.minutes().count(), 2);
    out.append(':');
    appendDigits(out, clock.seconds().count(), 2);
    if (tenths) {
        out.append('.');
        appendDigits(out, *tenths, 1);
    }
    out.append(offsetSeconds < 0 ? '-' : '+');
    const int offsetMinutes = std::abs(offsetSeconds) / 60;
    appendDigits(out, offsetMinutes / 60, 2);
    out.append(':');
    appendDigits(out, offsetMinutes % 60, 2);
}

void appendNumber(QByteArray &out, float value)
{
    if (value == 0.0f)
        value = 0.0f; // no "-0"
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (error == std::errc())
        out.append(text, end - text);
}

void appendInteger(QByteArray &out, int64_t value)
{
    char text[24];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    if (error == std::errc())
        out.append(text, end - text);
}

} // namespace

QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\r') &&
        !field.contains('\n'))
        return field;
    field.replace('"', QByteArrayLiteral("\"\""));
    return '"' + field + '"';
}

QByteArray csvHeaderLine()
{
    return QByteArray(kCsvHeader) + kLineEnd;
}

void appendCsvRows(QByteArray &out, const RecordDetails &details)
{
    const TestRecord &record = details.record;
    // The same start on every row of the record.
    QByteArray prefix;
    if (record.rig.isEmpty())
        appendInteger(prefix, record.id);
    else
        prefix.append(csvField(recordName(record)));
    prefix.append(',');
    appendInteger(prefix, record.station + 1);
    prefix.append(',');
    prefix.append(csvField(record.serial));
    prefix.append(',');
    prefix.append(csvField(record.model));
    prefix.append(',');
    prefix.append(csvField(isoTime(record.start)));
    prefix.append(',');
    QByteArray phases[4];
    for (int p = 0; p < 4; ++p)
        phases[p] = csvField(phaseText(TracePhase(p)));

    const auto appendSample = [&](const TraceSample &sample) {
        out.append(prefix);
        appendInteger(out, sample.elapsed);
        out.append(',');
        appendIsoTime(out, sample.time.toSecsSinceEpoch(), sample.time.offsetFromUtc());
        out.append(',');
        if (sample.pressureValid)
            appendNumber(out, sample.pressure);
        out.append(sample.pressureValid ? ",1," : ",0,");
        if (sample.bathTempValid)
            appendNumber(out, sample.bathTemp);
        out.append(sample.bathTempValid ? ",1," : ",0,");
        out.append(phases[int(sample.phase)]);
        out.append(',');
        out.append(kLineEnd);
    };
    // A decision's seconds count from the first sample, as the samples' do.
    const QDateTime origin = details.trace.empty() ? record.start : details.trace.front().time;
    const auto appendDecision = [&](const Decision &decision) {
        const int64_t ms = origin.msecsTo(decision.time);
        const int64_t tenths = ms >= 0 ? ms / 100 : -((-ms + 99) / 100);
        out.append(prefix);
        if (tenths < 0)
            out.append('-');
        appendInteger(out, std::abs(tenths) / 10);
        out.append('.');
        appendInteger(out, std::abs(tenths) % 10);
        out.append(',');
        const int64_t utcMs = decision.time.toMSecsSinceEpoch();
        const int64_t utcSeconds = utcMs >= 0 ? utcMs / 1000 : -((-utcMs + 999) / 1000);
        appendIsoTime(out, utcSeconds, decision.time.offsetFromUtc(),
                      int((utcMs - utcSeconds * 1000) / 100));
        out.append(',');
        appendNumber(out, decision.pressure);
        out.append(",1,,0,");
        out.append(phases[int(phaseEndedBy(decision.change))]);
        out.append(',');
        out.append(csvField(decisionText(decision.change)));
        out.append(kLineEnd);
    };

    size_t next = 0;
    for (const TraceSample &sample : details.trace) {
        while (next < details.decisions.size() && details.decisions[next].time < sample.time)
            appendDecision(details.decisions[next++]);
        appendSample(sample);
    }
    while (next < details.decisions.size())
        appendDecision(details.decisions[next++]);
}

MaybeFailure exportCsv(const RecordReader &reader, std::span<const int64_t> recordIds,
                       const QString &path)
{
    std::vector<RecordKey> keys;
    for (const int64_t id : recordIds)
        keys.push_back({QString(), id});
    return exportCsv(reader, std::span<const RecordKey>(keys), path);
}

MaybeFailure exportCsv(const RecordReader &reader, std::span<const RecordKey> keys,
                       const QString &path)
{
    QByteArray text = csvHeaderLine();
    for (const RecordKey &key : keys) {
        const Fallible<RecordDetails> details = reader.details(key);
        if (!details.ok())
            return details.failure();
        appendCsvRows(text, *details);
    }
    return writeFileAtomically(path, text);
}
