#include "records/statisticsview.h"

#include "records/statisticschart.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {

const char *const kRuleTexts[] = {"", "beyond 3σ", "2 of 3 beyond 2σ", "4 of 5 beyond 1σ",
                                  "8 in a row on one side"};

QString number(std::optional<double> value)
{
    return value ? QString::number(*value, 'g', 4) : QStringLiteral("none");
}

} // namespace

/// The two control charts; a click finds the point under it.
class ControlChartArea final : public QWidget {
public:
    explicit ControlChartArea(StatisticsView *view) : QWidget(view), m_view(view)
    {
        setObjectName(QStringLiteral("picStatistics"));
        setMinimumSize(480, 300);
        setFocusPolicy(Qt::NoFocus);
    }
    std::optional<int> selected;
    QString unit;
    /// What the chart says without statistics.
    QString message;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (const auto &s = m_view->statistics())
            drawControlCharts(painter, QRectF(rect()), *s, unit, selected);
        else
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, message);
    }
    void mousePressEvent(QMouseEvent *event) override
    {
        const auto &s = m_view->statistics();
        if (!s)
            return;
        const int point = individualsFrame(QRectF(rect()), *s).pointAt(event->position().x());
        if (point >= 0 && point < int(s->ids.size()))
            emit m_view->recordChosen({s->rigs[size_t(point)], s->ids[size_t(point)]});
    }

private:
    StatisticsView *m_view;
};

StatisticsView::StatisticsView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statisticsView"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *left = new QVBoxLayout;
    layout->addLayout(left, 1);
    auto *row = new QHBoxLayout;
    left->addLayout(row);
    m_figure = new QComboBox(this);
    m_figure->setObjectName(QStringLiteral("cmbFigure"));
    for (int f = 0; f < kStatisticsFigures; ++f)
        m_figure->addItem(figureTitle(StatisticsFigure(f)));
    m_figure->setCurrentIndex(int(StatisticsFigure::MainFall));
    row->addWidget(new QLabel(QStringLiteral("Figure:"), this));
    row->addWidget(m_figure);
    row->addStretch(1);
    m_chart = new ControlChartArea(this);
    left->addWidget(m_chart, 1);

    // Beside the charts: the figures, then the rule breaks, each in a column of its own so
    // that both stay whole on a small screen.
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblStatistics"));
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_summary->setMinimumWidth(230);
    layout->addWidget(m_summary);
    auto *right = new QVBoxLayout;
    layout->addLayout(right);
    right->addWidget(new QLabel(QStringLiteral("Rule breaks:"), this));
    m_breaks = new QListWidget(this);
    m_breaks->setObjectName(QStringLiteral("lstRuleBreaks"));
    m_breaks->setMinimumWidth(250);
    right->addWidget(m_breaks, 1);

    connect(m_figure, &QComboBox::currentIndexChanged, this, &StatisticsView::reload);
    const auto choose = [this](QListWidgetItem *item) {
        if (item->data(Qt::UserRole).isValid())
            emit recordChosen(
                {item->data(Qt::UserRole + 1).toString(), item->data(Qt::UserRole).toLongLong()});
    };
    connect(m_breaks, &QListWidget::itemActivated, this, choose);
    connect(m_breaks, &QListWidget::itemClicked, this, choose);
    recompute();
}

void StatisticsView::setSource(Source source)
{
    m_request = {};
    m_source = std::move(source);
    reload();
}

void StatisticsView::setRequest(Request request)
{
    m_source = {};
    m_request = std::move(request);
    reload();
}

void StatisticsView::reload()
{
    const auto figure = StatisticsFigure(m_figure->currentIndex());
    m_records.clear();
    m_readState.clear();
    m_awaited.reset();
    if (m_source) {
        Fallible<std::vector<RecordFigures>> read = m_source(figure);
        if (read.ok())
            m_records = std::move(*read);
        else
            m_readState = read.failure()->reason;
    } else if (m_request) {
        // Shown before asking: an answer may come at once.
        m_awaited = figure;
        m_readState = QStringLiteral("Reading the records...");
        recompute();
        m_request(figure);
        return;
    }
    recompute();
}

void StatisticsView::receive(StatisticsFigure figure, Fallible<std::vector<RecordFigures>> records)
{
    if (m_awaited != figure)
        return;
    m_awaited.reset();
    m_readState.clear();
    if (records.ok())
        m_records = std::move(*records);
    else
        m_readState = records.failure()->reason;
    recompute();
}

void StatisticsView::setUnit(RateUnit unit)
{
    m_unit = unit;
    recompute();
}

void StatisticsView::showRecord(std::optional<RecordKey> key)
{
    m_ringed = std::move(key);
    ring();
    m_chart->update();
}

void StatisticsView::ring()
{
    m_chart->selected.reset();
    if (!m_statistics || !m_ringed)
        return;
    const ProcessStatistics &s = *m_statistics;
    for (size_t i = 0; i < s.ids.size(); ++i)
        if (s.ids[i] == m_ringed->id && s.rigs[i] == m_ringed->rig)
            m_chart->selected = int(i);
}

void StatisticsView::recompute()
{
    const auto figure = StatisticsFigure(m_figure->currentIndex());
    Fallible<ProcessStatistics> computed = processStatistics(m_records, figure, m_unit);
    m_statistics.reset();
    m_breaks->clear();
    m_chart->unit = figureUnit(figure, m_unit);
    m_chart->message =
        m_readState.isEmpty() ? QStringLiteral("Too few records for statistics") : m_readState;
    if (!computed.ok()) {
        m_summary->setText(!m_readState.isEmpty() ? m_readState
                                                  : QStringLiteral("%1 records: %2.")
                                                        .arg(m_records.size())
                                                        .arg(computed.failure()->reason));
        m_chart->selected.reset();
        m_chart->update();
        return;
    }
    m_statistics = std::move(*computed);
    ring();
    const ProcessStatistics &s = *m_statistics;
    const QString unit = figureUnit(figure, m_unit);
    QStringList lines{
        QStringLiteral("%1, %2").arg(figureTitle(figure), unit),
        QStringLiteral("n: %1 (of %2 records; %3 left out)")
            .arg(s.values.size())
            .arg(s.records)
            .arg(s.leftOut),
        QStringLiteral("mean: %1").arg(number(s.mean)),
        QStringLiteral("σ: %1 (mean moving range / 1.128)").arg(number(s.sigma)),
        QStringLiteral("UCL: %1, LCL: %2").arg(number(s.ucl), number(s.lcl)),
        QStringLiteral("moving range UCL: %1").arg(number(s.mrUcl)),
        QStringLiteral("limit: %1").arg(number(s.limit)),
        QStringLiteral("Cpk: %1").arg(number(s.cpk)),
        QStringLiteral("failed: %1").arg(s.failed),
        QString(),
        QStringLiteral("Fail rate by day:"),
    };
    for (const DayFailRate &day : s.days)
        lines << QStringLiteral("%1: %2 of %3 (%4 %)")
                     .arg(day.day.toString(QStringLiteral("dd-MM-yyyy")))
                     .arg(day.failed)
                     .arg(day.tests)
                     .arg(QString::number(100.0 * day.failed / std::max(day.tests, 1), 'f', 1));
    m_summary->setText(lines.join(QLatin1Char('\n')));
    // A process far out of control breaks rules at thousands of points: the first are listed.
    constexpr size_t kListed = 500;
    for (size_t i = 0; i < std::min(s.breaks.size(), kListed); ++i) {
        const RuleBreak &b = s.breaks[i];
        auto *item =
            new QListWidgetItem(QStringLiteral("record %1: rule %2 (%3)")
                                    .arg(recordKeyText({b.rig, b.id}))
                                    .arg(b.rule)
                                    .arg(QString::fromUtf8(kRuleTexts[std::clamp(b.rule, 0, 4)])),
                                m_breaks);
        item->setData(Qt::UserRole, qlonglong(b.id));
        item->setData(Qt::UserRole + 1, b.rig);
    }
    if (s.breaks.size() > kListed) {
        auto *more = new QListWidgetItem(
            QStringLiteral("... and %1 more").arg(s.breaks.size() - kListed), m_breaks);
        more->setFlags(Qt::NoItemFlags);
    }
    m_chart->update();
}
