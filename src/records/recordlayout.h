#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <span>

class QSqlQuery;
struct TestRecord;

/// The layout of a test record in a database: the one declaration of the record table's
/// columns, from which the table is created, migrated, written and read, and each column
/// mapped to and from TestRecord. A new column is one entry here (with the schema version
/// that adds it) and nothing else.
namespace recordlayout {

/// The version of the record layout this code writes. 1: the first; 2: the leak and main
/// falls; 3: the post-test fall (and the decisions, a table of their own); 4: the change
/// counter; 5: the part (serial, model and its volume) and the leak and main rates.
inline constexpr int kVersion = 5;

/// The layout version that added the part and the rates (and the part models' table).
inline constexpr int kPartsVersion = 5;

enum class SqlType { Integer, Real, Text };

/// When a column is written.
enum class Written {
    Key,    ///< the store's key: never written, read into TestRecord::id
    Always, ///< at the insert and at every update of the record
    Names,  ///< at the insert and when the record's names are stored
    /// The store's change counter: at every write of the row, names included, the store sets
    /// it above every other row's, so that a copy of the table knows which rows changed.
    Change,
};

struct Column {
    QString name;
    SqlType type;
    /// What follows the type in the column's definition: "NOT NULL", a CHECK, a DEFAULT.
    /// A column added by a migration must allow its existing rows (NULL or a DEFAULT).
    QString constraint;
    /// The layout version that added the column.
    int since = 1;
    Written written = Written::Always;
    std::function<QVariant(const TestRecord &)> get;
    /// Empty for a column that is only written (a sort key derived from another column).
    std::function<void(TestRecord &, const QVariant &)> set;
};

/// The record table's columns, in their declared order.
std::span<const Column> columns();

/// How one database engine spells the types and the key.
struct Dialect {
    QString integer;
    QString real;
    QString text;
    /// The definition of the key column `id` after its name.
    QString key;
};

const Dialect &sqlite();
/// PostgreSQL: 64-bit integers, double precision; the key is a plain column, its table's key
/// given as an extra definition.
const Dialect &postgresql();

/// The table's name.
inline const QString kTable = QStringLiteral("record");

/// CREATE TABLE of the whole record table; `extra` adds definitions after the columns (a
/// further key column, a table constraint).
QString createTable(const Dialect &dialect, const QStringList &extra = {});
/// The ALTER TABLE statements that bring a table of an older layout version up to date.
QStringList migration(const Dialect &dialect, int fromVersion);

/// The names of the columns, comma-separated, in declared order: a SELECT list.
QString selectList();
/// The names of the columns of a kind, in declared order.
QStringList names(Written kind);
/// The values of those columns for a record, in the same order.
QVariantList values(const TestRecord &record, Written kind);
/// The record of a row selected with selectList().
TestRecord fromRow(const QSqlQuery &query);

/// The record as an object of its columns' values by column name (every column with a value,
/// derived ones included): what a child process hands on and the shared database takes.
QJsonObject toJson(const TestRecord &record);
/// The record of such an object; a column it lacks keeps its default.
TestRecord fromJson(const QJsonObject &object);

} // namespace recordlayout
