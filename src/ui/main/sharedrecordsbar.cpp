#include "ui/main/sharedrecordsbar.h"

#include "records/sharedreader.h"
#include "records/sharedrecordmodel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

namespace {

const QString kAllRigs = QStringLiteral("All");

QString unreachable(const QString &reason)
{
    return QStringLiteral("Shared database: unreachable: %1").arg(reason);
}

} // namespace

SharedRecordsBar::SharedRecordsBar(QWidget *parent)
    : QWidget(parent), m_model(new SharedRecordModel(this)), m_lister(new SharedReader(this)),
      m_reader(new SharedReader(this)), m_exporter(new SharedReader(this)),
      m_figures(new SharedReader(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_scope = new QComboBox(this);
    m_scope->setObjectName(QStringLiteral("cmbRigs"));
    m_scope->addItems({QStringLiteral("This rig"), QStringLiteral("All rigs")});
    m_rig = new QComboBox(this);
    m_rig->setObjectName(QStringLiteral("cmbRig"));
    m_rig->setEditable(true);
    m_rig->setInsertPolicy(QComboBox::NoInsert);
    m_rig->addItem(kAllRigs);
    m_rig->setMinimumContentsLength(12);
    m_rig->setEnabled(false);
    m_sync = new QLabel(this);
    m_sync->setObjectName(QStringLiteral("lblSync"));
    row->addWidget(new QLabel(QStringLiteral("Records:"), this));
    row->addWidget(m_scope);
    row->addWidget(new QLabel(QStringLiteral("Rig:"), this));
    row->addWidget(m_rig);
    row->addWidget(m_sync, 1);
    setVisible(false);

    connect(m_scope, &QComboBox::currentIndexChanged, this, [this] {
        m_rig->setEnabled(allRigs());
        emit scopeChanged();
    });
    // A rig's name typed counts once typed (Enter or leaving the field), not at each letter.
    connect(m_rig, &QComboBox::activated, this, &SharedRecordsBar::scopeChanged);
    connect(m_rig->lineEdit(), &QLineEdit::editingFinished, this, &SharedRecordsBar::scopeChanged);
    connect(m_lister, &SharedReader::listed, this, &SharedRecordsBar::onListed);
    connect(m_reader, &SharedReader::detailsRead, this, &SharedRecordsBar::detailsRead);
    for (SharedReader *reader : {m_lister, m_reader})
        connect(reader, &SharedReader::failed, this,
                [this](const QString &reason) { emit failed(unreachable(reason)); });
    connect(m_exporter, &SharedReader::exported, this, &SharedRecordsBar::exported);
    connect(m_exporter, &SharedReader::failed, this, &SharedRecordsBar::exportFailed);
    connect(m_figures, &SharedReader::figuresRead, this, &SharedRecordsBar::figuresRead);
    connect(m_figures, &SharedReader::failed, this,
            [this](const QString &reason) { emit figuresFailed(m_figure, unreachable(reason)); });
}

void SharedRecordsBar::setDatabase(const QString &url)
{
    m_url = url;
    setVisible(!url.isEmpty());
    if (url.isEmpty())
        m_scope->setCurrentIndex(0);
}

void SharedRecordsBar::setSyncState(const QString &text)
{
    m_sync->setText(text);
}

void SharedRecordsBar::showThisRig()
{
    m_scope->setCurrentIndex(0);
}

bool SharedRecordsBar::allRigs() const
{
    return !m_url.isEmpty() && m_scope->currentIndex() == 1;
}

RecordFilter SharedRecordsBar::withRig(RecordFilter filter) const
{
    const QString rig = m_rig->currentText().trimmed();
    if (!rig.isEmpty() && rig != kAllRigs)
        filter.rig = rig;
    return filter;
}

void SharedRecordsBar::list(RecordFilter filter)
{
    filter.limit = kListLimit;
    m_lister->list(m_url, withRig(filter));
}

void SharedRecordsBar::readDetails(const RecordKey &key)
{
    m_reader->details(m_url, key);
}

void SharedRecordsBar::readFigures(RecordFilter filter, StatisticsFigure figure)
{
    filter.limit = 0;
    m_figure = figure;
    m_figures->figureRecords(m_url, withRig(filter), figure);
}

void SharedRecordsBar::exportCsv(const std::vector<RecordKey> &keys, const QString &path)
{
    m_exporter->exportCsv(m_url, keys, path);
}

void SharedRecordsBar::onListed(const std::vector<TestRecord> &records)
{
    m_model->setRecords(records);
    // The rigs seen so far stay offered, so that one can be picked after another.
    for (const QString &rig : m_model->rigs())
        if (m_rig->findText(rig) < 0)
            m_rig->addItem(rig);
    const int count = int(records.size());
    emit listed(count >= kListLimit
                    ? QStringLiteral("The newest %1 records of the shared database; the filters "
                                     "find older ones.")
                          .arg(kListLimit)
                    : QStringLiteral("%1 records of the shared database.").arg(count));
}
