#include "records/recordlistmodel.h"

#include "app/textrules.h"
#include "records/recordschema.h"

#include <QSqlError>
#include <QSqlQuery>

#include <array>

namespace {

/// The query's columns: the shown ones in Column order, then the id.
constexpr char kSelect[] =
    "SELECT station, start_time, end_utc - start_utc, outcome, test_name, operator, "
    "leak_ref_pressure, main_fall, serial, model, main_rate, id, model_volume_ml FROM record";
constexpr int kIdColumn = RecordListModel::ColumnCount;
constexpr int kVolumeColumn = kIdColumn + 1;

/// What each column sorts by.
constexpr std::array<const char *, RecordListModel::ColumnCount> kOrderBy{
    "station",
    "start_utc",
    "end_utc - start_utc",
    "outcome",
    "test_name COLLATE NOCASE",
    "operator COLLATE NOCASE",
    "leak_ref_pressure",
    "main_fall",
    "serial",
    "model COLLATE NOCASE",
    "main_rate"};

constexpr std::array<const char *, RecordListModel::ColumnCount - 1> kHeaders{
    "Station",  "Start",          "Duration",      "Result", "Test name",
    "Operator", "Leak start KPa", "Main fall KPa", "Serial", "Model"};

} // namespace

RecordListModel::RecordListModel(const QString &connectionName, QObject *parent)
    : QSqlQueryModel(parent), m_connection(connectionName)
{
    refresh();
}

void RecordListModel::setFilter(const RecordFilter &filter)
{
    m_filter = filter;
    refresh();
}

void RecordListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    refresh();
}

void RecordListModel::setUnit(RateUnit unit)
{
    // The rows keep their order unless they are sorted by rate and the change goes between a
    // rate and a flow (a flow scales each rate by its part's volume): then the query runs
    // again; otherwise only the rate column is shown anew.
    const bool reordered = m_sortColumn == MainRate && needsVolume(unit) != needsVolume(m_unit);
    m_unit = unit;
    if (reordered) {
        refresh();
        return;
    }
    emit headerDataChanged(Qt::Horizontal, MainRate, MainRate);
    if (rowCount() > 0)
        emit dataChanged(index(0, MainRate), index(rowCount() - 1, MainRate));
}

void RecordListModel::refresh()
{
    QVariantList values;
    // A flow scales each rate by its part's volume, and sorts so.
    QString orderBy = QLatin1String(kOrderBy[size_t(m_sortColumn)]);
    if (m_sortColumn == MainRate && needsVolume(m_unit))
        orderBy = QStringLiteral("main_rate * model_volume_ml");
    const QString sql =
        QString::fromLatin1(kSelect) + recordschema::whereClause(m_filter, values) +
        QStringLiteral(" ORDER BY %1 %2, start_utc DESC, id DESC")
            .arg(orderBy, m_sortOrder == Qt::AscendingOrder ? QStringLiteral("ASC")
                                                            : QStringLiteral("DESC"));
    // Not forward-only: the model moves back and forth over the rows it has fetched.
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (query.prepare(sql)) {
        for (qsizetype i = 0; i < values.size(); ++i)
            query.bindValue(int(i), values[i]);
        query.exec();
    }
    setQuery(std::move(query));
}

int64_t RecordListModel::recordId(int row) const
{
    return QSqlQueryModel::data(createIndex(row, kIdColumn)).toLongLong();
}

MaybeFailure RecordListModel::lastFailure() const
{
    const QSqlError error = lastError();
    if (!error.isValid())
        return std::nullopt;
    return Failure{QStringLiteral("The test records cannot be read: ") + error.text(), {}};
}

int RecordListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant RecordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= ColumnCount)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == LeakStartPressure || index.column() == MainFall ||
                       index.column() == MainRate
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::UserRole)
        return {};
    const QVariant value = QSqlQueryModel::data(index, Qt::DisplayRole);
    if (index.column() == MainRate) {
        const QVariant volume = QSqlQueryModel::data(createIndex(index.row(), kVolumeColumn));
        const std::optional<double> rate =
            value.isNull()
                ? std::nullopt
                : convertRate(value.toDouble(), m_unit,
                              volume.isNull() ? std::nullopt
                                              : std::optional<double>(volume.toDouble()));
        if (!rate)
            return role == Qt::UserRole ? QVariant() : QVariant(QString());
        return role == Qt::UserRole ? QVariant(*rate)
                                    : QVariant(QString::number(*rate, 'f', rateDecimals(m_unit)));
    }
    if (role == Qt::UserRole)
        return value;
    switch (Column(index.column())) {
    case Station:
        return QString::number(value.toInt() + 1);
    case Start: {
        const QDateTime start = fromIsoTime(value.toString());
        return formatDate(start) + QLatin1Char(' ') + formatTime(start);
    }
    case Duration:
        return value.isNull() ? QString() : clockText(value.toInt());
    case Result:
        return value.isNull() ? QStringLiteral("running") : value.toString();
    case TestName:
    case Operator:
        return value.toString();
    case LeakStartPressure:
        return formatOneDecimal(float(value.toDouble()));
    case MainFall:
        return value.isNull() ? QString() : QString::number(value.toDouble(), 'f', 2);
    case Serial:
    case Model:
        return value.toString();
    case MainRate:
    case ColumnCount:
        break;
    }
    return {};
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QSqlQueryModel::headerData(section, orientation, role);
    if (section == MainRate)
        return QStringLiteral("Main rate ") + rateUnitText(m_unit);
    return QString::fromLatin1(kHeaders[size_t(section)]);
}
