#include "records/recordlayout.h"

#include "records/testrecord.h"

#include <QJsonValue>
#include <QSqlQuery>
#include <QVariant>

#include <vector>

namespace recordlayout {

namespace {

using Get = std::function<QVariant(const TestRecord &)>;
using Set = std::function<void(TestRecord &, const QVariant &)>;

const QString kNotNull = QStringLiteral("NOT NULL");

/// A text column: an empty text is stored as '', never NULL.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

QVariant optionalTime(const std::optional<QDateTime> &time)
{
    return time ? QVariant(isoTime(*time)) : QVariant();
}

std::optional<QDateTime> optionalTimeOf(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return fromIsoTime(value.toString());
}

template <typename T> QVariant optionalReal(const std::optional<T> &value)
{
    return value ? QVariant(double(*value)) : QVariant();
}

std::optional<double> optionalRealOf(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

/// A REAL NOT NULL column over a float of the record, reached by `field` (a lambda that
/// takes the record by any reference and returns a reference to the float).
template <typename Field> Column real(const char *name, Field field)
{
    return {QLatin1String(name),
            SqlType::Real,
            kNotNull,
            1,
            Written::Always,
            [field](const TestRecord &r) { return QVariant(double(field(r))); },
            [field](TestRecord &r, const QVariant &v) { field(r) = float(v.toDouble()); }};
}

/// A nullable REAL column over an optional figure of the record.
Column figure(const char *name, int since, std::optional<double> TestRecord::*field)
{
    return {QLatin1String(name),
            SqlType::Real,
            {},
            since,
            Written::Always,
            [field](const TestRecord &r) { return optionalReal(r.*field); },
            [field](TestRecord &r, const QVariant &v) { r.*field = optionalRealOf(v); }};
}

/// A nullable TEXT column over an optional time of the record.
Column time(const char *name, std::optional<QDateTime> TestRecord::*field)
{
    return {QLatin1String(name),
            SqlType::Text,
            {},
            1,
            Written::Always,
            [field](const TestRecord &r) { return optionalTime(r.*field); },
            [field](TestRecord &r, const QVariant &v) { r.*field = optionalTimeOf(v); }};
}

/// A name column: written with the names only.
Column name(const char *column, QString TestRecord::*field)
{
    return {QLatin1String(column),
            SqlType::Text,
            QStringLiteral("NOT NULL DEFAULT ''"),
            1,
            Written::Names,
            [field](const TestRecord &r) { return text(r.*field); },
            [field](TestRecord &r, const QVariant &v) { r.*field = v.toString(); }};
}

std::vector<Column> declare()
{
    using R = TestRecord &;
    return {
        {QStringLiteral("id"),
         SqlType::Integer,
         {},
         1,
         Written::Key,
         [](const TestRecord &r) { return QVariant(qlonglong(r.id)); },
         [](R r, const QVariant &v) { r.id = v.toLongLong(); }},
        {QStringLiteral("station"), SqlType::Integer,
         QStringLiteral("NOT NULL CHECK (station IN (0, 1))"), 1, Written::Always,
         [](const TestRecord &r) { return QVariant(r.station); },
         [](R r, const QVariant &v) { r.station = v.toInt(); }},
        {QStringLiteral("start_time"), SqlType::Text, kNotNull, 1, Written::Always,
         [](const TestRecord &r) { return QVariant(isoTime(r.start)); },
         [](R r, const QVariant &v) { r.start = fromIsoTime(v.toString()); }},
        {QStringLiteral("start_utc"),
         SqlType::Integer,
         kNotNull,
         1,
         Written::Always,
         [](const TestRecord &r) { return QVariant(r.start.toSecsSinceEpoch()); },
         {}},
        time("end_time", &TestRecord::end),
        {QStringLiteral("end_utc"),
         SqlType::Integer,
         {},
         1,
         Written::Always,
         [](const TestRecord &r) {
             return r.end ? QVariant(r.end->toSecsSinceEpoch()) : QVariant();
         },
         {}},
        {QStringLiteral("outcome"), SqlType::Text,
         QStringLiteral("CHECK (outcome IN ('completed', 'leak test failed', 'main test failed', "
                        "'stopped', 'interrupted'))"),
         1, Written::Always,
         [](const TestRecord &r) {
             return r.outcome ? QVariant(outcomeText(*r.outcome)) : QVariant();
         },
         [](R r, const QVariant &v) { r.outcome = outcomeFromText(v.toString()); }},
        real(
            "start_pressure_limit",
            [](auto &r) -> auto & { return r.parameters.StartPressureLimit; }),
        real(
            "leak_fall_limit", [](auto &r) -> auto & { return r.parameters.LeakFallLimit; }),
        {QStringLiteral("leak_test_duration"), SqlType::Integer, kNotNull, 1, Written::Always,
         [](const TestRecord &r) { return QVariant(int(r.parameters.LeakTestDuration)); },
         [](R r, const QVariant &v) { r.parameters.LeakTestDuration = int16_t(v.toInt()); }},
        real(
            "bath_fall_limit", [](auto &r) -> auto & { return r.parameters.BathFallLimit; }),
        {QStringLiteral("main_test_duration"), SqlType::Integer, kNotNull, 1, Written::Always,
         [](const TestRecord &r) { return QVariant(int(r.parameters.MainTestDuration)); },
         [](R r, const QVariant &v) { r.parameters.MainTestDuration = int16_t(v.toInt()); }},
        real(
            "min_bath_temp", [](auto &r) -> auto & { return r.parameters.MinBathTemp; }),
        real(
            "cal_range", [](auto &r) -> auto & { return r.calRange; }),
        real(
            "cal_zero", [](auto &r) -> auto & { return r.calZero; }),
        real(
            "cal_span", [](auto &r) -> auto & { return r.calSpan; }),
        real(
            "temp_zero", [](auto &r) -> auto & { return r.tempZero; }),
        real(
            "temp_span", [](auto &r) -> auto & { return r.tempSpan; }),
        real(
            "leak_ref_pressure", [](auto &r) -> auto & { return r.leakRefPressure; }),
        {QStringLiteral("main_ref_pressure"),
         SqlType::Real,
         {},
         1,
         Written::Always,
         [](const TestRecord &r) { return optionalReal(r.mainRefPressure); },
         [](R r, const QVariant &v) {
             if (const auto main = optionalRealOf(v))
                 r.mainRefPressure = float(*main);
             else
                 r.mainRefPressure.reset();
         }},
        time("leak_pass_time", &TestRecord::leakPassTime),
        time("main_start_time", &TestRecord::mainStartTime),
        time("post_test_time", &TestRecord::postTestTime),
        name("test_name", &TestRecord::testName),
        name("operator", &TestRecord::operatorName),
        figure("leak_fall", 2, &TestRecord::leakFall),
        figure("main_fall", 2, &TestRecord::mainFall),
        figure("post_fall", 3, &TestRecord::postFall),
        // Records from before version 3 kept no decisions: they read 0 here.
        {QStringLiteral("decisions_recorded"), SqlType::Integer,
         QStringLiteral("NOT NULL DEFAULT 0"), 3, Written::Always,
         [](const TestRecord &r) { return QVariant(int(r.decisionsRecorded)); },
         [](R r, const QVariant &v) { r.decisionsRecorded = v.toInt() != 0; }},
        // Rows written before version 4 take their id, so that they count as changed.
        {QStringLiteral("change_seq"), SqlType::Integer, QStringLiteral("NOT NULL DEFAULT 0"), 4,
         Written::Change, [](const TestRecord &r) { return QVariant(qlonglong(r.changeSeq)); },
         [](R r, const QVariant &v) { r.changeSeq = v.toLongLong(); }},
        {QStringLiteral("serial"), SqlType::Text, QStringLiteral("NOT NULL DEFAULT ''"),
         kPartsVersion, Written::Always, [](const TestRecord &r) { return text(r.serial); },
         [](R r, const QVariant &v) { r.serial = v.toString(); }},
        {QStringLiteral("model"), SqlType::Text, QStringLiteral("NOT NULL DEFAULT ''"),
         kPartsVersion, Written::Always, [](const TestRecord &r) { return text(r.model); },
         [](R r, const QVariant &v) { r.model = v.toString(); }},
        figure("model_volume_ml", kPartsVersion, &TestRecord::modelVolume),
        figure("leak_rate", kPartsVersion, &TestRecord::leakRate),
        figure("main_rate", kPartsVersion, &TestRecord::mainRate),
    };
}

const std::vector<Column> &declared()
{
    static const std::vector<Column> all = declare();
    return all;
}

QString typeName(const Dialect &dialect, SqlType type)
{
    switch (type) {
    case SqlType::Integer:
        return dialect.integer;
    case SqlType::Real:
        return dialect.real;
    case SqlType::Text:
        break;
    }
    return dialect.text;
}

QString definition(const Dialect &dialect, const Column &column)
{
    if (column.written == Written::Key)
        return column.name + QLatin1Char(' ') + dialect.key;
    QString text = column.name + QLatin1Char(' ') + typeName(dialect, column.type);
    if (!column.constraint.isEmpty())
        text += QLatin1Char(' ') + column.constraint;
    return text;
}

} // namespace

std::span<const Column> columns()
{
    return declared();
}

const Dialect &sqlite()
{
    static const Dialect dialect{QStringLiteral("INTEGER"), QStringLiteral("REAL"),
                                 QStringLiteral("TEXT"), QStringLiteral("INTEGER PRIMARY KEY")};
    return dialect;
}

const Dialect &postgresql()
{
    static const Dialect dialect{QStringLiteral("BIGINT"), QStringLiteral("DOUBLE PRECISION"),
                                 QStringLiteral("TEXT"), QStringLiteral("BIGINT NOT NULL")};
    return dialect;
}

QString createTable(const Dialect &dialect, const QStringList &extra)
{
    QStringList definitions;
    for (const Column &column : declared())
        definitions << definition(dialect, column);
    definitions << extra;
    return QStringLiteral("CREATE TABLE %1 (\n    %2\n)")
        .arg(kTable, definitions.join(QStringLiteral(",\n    ")));
}

QStringList migration(const Dialect &dialect, int fromVersion)
{
    QStringList statements;
    for (const Column &column : declared())
        if (column.since > fromVersion)
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                              .arg(kTable, definition(dialect, column));
    return statements;
}

QString selectList()
{
    QStringList all;
    for (const Column &column : declared())
        all << column.name;
    return all.join(QStringLiteral(", "));
}

QStringList names(Written kind)
{
    QStringList result;
    for (const Column &column : declared())
        if (column.written == kind)
            result << column.name;
    return result;
}

QVariantList values(const TestRecord &record, Written kind)
{
    QVariantList result;
    for (const Column &column : declared())
        if (column.written == kind)
            result << column.get(record);
    return result;
}

TestRecord fromRow(const QSqlQuery &query)
{
    TestRecord record;
    const std::vector<Column> &all = declared();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].set)
            all[i].set(record, query.value(int(i)));
    return record;
}

QJsonObject toJson(const TestRecord &record)
{
    QJsonObject object;
    for (const Column &column : declared()) {
        const QVariant value = column.get(record);
        if (value.isNull())
            object.insert(column.name, QJsonValue::Null);
        else if (column.type == SqlType::Integer)
            object.insert(column.name, value.toLongLong());
        else if (column.type == SqlType::Real)
            object.insert(column.name, value.toDouble());
        else
            object.insert(column.name, value.toString());
    }
    return object;
}

TestRecord fromJson(const QJsonObject &object)
{
    TestRecord record;
    for (const Column &column : declared()) {
        const auto value = object.constFind(column.name);
        if (!column.set || value == object.constEnd())
            continue;
        if (value->isNull())
            column.set(record, QVariant());
        else if (column.type == SqlType::Integer)
            column.set(record, QVariant(qlonglong(value->toInteger())));
        else
            column.set(record, value->toVariant());
    }
    return record;
}

} // namespace recordlayout
