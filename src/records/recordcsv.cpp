#include "records/recordcsv.h"

#include "app/safefile.h"
#include "records/recordstore.h"
#include "records/testrecord.h"

#include <charconv>
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
/// QDateTime: a trace has a time on every row.
void appendIsoTime(QByteArray &out, int64_t utcSeconds, int offsetSeconds)
{
    const int64_t local = utcSeconds + offsetSeconds;
    int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const int64_t secondOfDay = local - days * 86400;
    // The proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's civil_from_days).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    appendDigits(out, year, 4);
    out.append('-');
    appendDigits(out, month, 2);
    out.append('-');
    appendDigits(out, day, 2);
    out.append('T');
    appendDigits(out, secondOfDay / 3600, 2);
    out.append(':');
    appendDigits(out, secondOfDay / 60 % 60, 2);
    out.append(':');
    appendDigits(out, secondOfDay % 60, 2);
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

void appendCsvRows(QByteArray &out, const TestRecord &record, std::span<const TraceSample> trace)
{
    // The same start on every row of the record.
    QByteArray prefix;
    appendInteger(prefix, record.id);
    prefix.append(',');
    appendInteger(prefix, record.station + 1);
    prefix.append(',');
    prefix.append(csvField(isoTime(record.start)));
    prefix.append(',');
    QByteArray phases[4];
    for (int p = 0; p < 4; ++p)
        phases[p] = csvField(phaseText(TracePhase(p)));

    for (const TraceSample &sample : trace) {
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
        out.append(kLineEnd);
    }
}

MaybeFailure exportCsv(const RecordStore &store, std::span<const int64_t> recordIds,
                       const QString &path)
{
    QByteArray text = csvHeaderLine();
    std::vector<TraceSample> trace;
    for (const int64_t id : recordIds) {
        TestRecord record;
        if (MaybeFailure failure = store.record(id, record))
            return failure;
        if (MaybeFailure failure = store.trace(id, trace))
            return failure;
        appendCsvRows(text, record, trace);
    }
    return writeFileAtomically(path, text);
}
