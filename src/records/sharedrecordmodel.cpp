#include "records/sharedrecordmodel.h"

#include "app/textrules.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <tuple>

namespace {

constexpr std::array<const char *, SharedRecordModel::ColumnCount> kHeaders{
    "Rig",       "Station",  "Start",          "Duration",     "Result",
    "Test name", "Operator", "Leak start KPa", "Main fall KPa"};

/// What a column sorts by.
QVariant sortKey(const TestRecord &r, int column)
{
    switch (SharedRecordModel::Column(column)) {
    case SharedRecordModel::Rig:
        return r.rig;
    case SharedRecordModel::Station:
        return r.station;
    case SharedRecordModel::Duration:
        return r.end ? QVariant(r.start.secsTo(*r.end)) : QVariant(-1);
    case SharedRecordModel::Result:
        return r.outcome ? outcomeText(*r.outcome) : QString();
    case SharedRecordModel::TestName:
        return r.testName.toLower();
    case SharedRecordModel::Operator:
        return r.operatorName.toLower();
    case SharedRecordModel::LeakStartPressure:
        return double(r.leakRefPressure);
    case SharedRecordModel::MainFall:
        return r.mainFall.value_or(-1e300);
    case SharedRecordModel::Start:
    case SharedRecordModel::ColumnCount:
        break;
    }
    return r.start.toSecsSinceEpoch();
}

} // namespace

SharedRecordModel::SharedRecordModel(QObject *parent) : QAbstractTableModel(parent) {}

void SharedRecordModel::setRecords(std::vector<TestRecord> records)
{
    beginResetModel();
    m_records = std::move(records);
    sortRecords();
    endResetModel();
}

QStringList SharedRecordModel::rigs() const
{
    QStringList rigs;
    for (const TestRecord &record : m_records)
        if (!rigs.contains(record.rig))
            rigs << record.rig;
    rigs.sort();
    return rigs;
}

int SharedRecordModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_records.size());
}

int SharedRecordModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant SharedRecordModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() >= LeakStartPressure ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const TestRecord &r = m_records[size_t(index.row())];
    switch (Column(index.column())) {
    case Rig:
        return r.rig;
    case Station:
        return QString::number(r.station + 1);
    case Start:
        return formatDate(r.start) + QLatin1Char(' ') + formatTime(r.start);
    case Duration:
        return r.end ? clockText(int(r.start.secsTo(*r.end))) : QString();
    case Result:
        return r.outcome ? outcomeText(*r.outcome) : QStringLiteral("running");
    case TestName:
        return r.testName;
    case Operator:
        return r.operatorName;
    case LeakStartPressure:
        return formatOneDecimal(r.leakRefPressure);
    case MainFall:
        return r.mainFall ? QString::number(*r.mainFall, 'f', 2) : QString();
    case ColumnCount:
        break;
    }
    return {};
}

QVariant SharedRecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kHeaders[size_t(section)]);
}

void SharedRecordModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    beginResetModel();
    sortRecords();
    endResetModel();
}

void SharedRecordModel::sortRecords()
{
    // Ties newest first, as the local list.
    const auto key = [this](const TestRecord &r) { return sortKey(r, m_sortColumn); };
    std::stable_sort(m_records.begin(), m_records.end(),
                     [](const TestRecord &a, const TestRecord &b) {
                         return std::tie(b.start, b.rig, b.id) < std::tie(a.start, a.rig, a.id);
                     });
    std::stable_sort(
        m_records.begin(), m_records.end(), [&](const TestRecord &a, const TestRecord &b) {
            const QPartialOrdering order = QVariant::compare(key(a), key(b));
            return m_sortOrder == Qt::AscendingOrder ? order == QPartialOrdering::Less
                                                     : order == QPartialOrdering::Greater;
        });
}
