#include "charts/trendwindow.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "ui/centring.h"
#include "ui/twips.h"

#include <QTimer>

TrendWindow::TrendWindow(const SharedState &state, QWidget *parent)
    : CloseControlDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_state(state)
{
    setObjectName(QStringLiteral("frmGraph"));
    setModal(true);
    setFixedSize(twips(16635), twips(7560));
    setWindowTitle(QStringLiteral("Graph - Test ") +
                   QString::number(state.handover.GraphStation + 1));

    const QRect box = twipsRect(240, 240, 15975, 6735);
    m_picture = new PictureBox(box.size(), RGB(0, 0, 0), this);
    m_picture->setObjectName(QStringLiteral("pic"));
    m_picture->move(box.topLeft());

    // The grid: 11 horizontal (x_axis) and 11 vertical (y_axis) line elements above the curve.
    PictureArea &area = m_picture->area();
    area.ScaleHeight = kChartScale;
    area.ScaleWidth = kChartScale;
    const Colour grey = RGB(64, 64, 64);
    for (int i = 0; i <= 10; ++i) {
        const float at = float(1000 + 1000 * i);
        *area.addLineElement(grey) = {1000, at, 11000, at, grey};
        *area.addLineElement(grey) = {at, 1000, at, 11000, grey};
    }

    m_trendTimer = new QTimer(this);
    m_trendTimer->setObjectName(QStringLiteral("tmrTrend"));
    m_trendTimer->setInterval(1000);
    connect(m_trendTimer, &QTimer::timeout, this, &TrendWindow::onTrendTick);
    m_trendTimer->start();
    centreOnScreen(this, parent);
}

void TrendWindow::onTrendTick()
{
    const int station = m_state.handover.GraphStation;
    ChartSamples samples;
    if (station >= 0 && station < kStations)
        samples = chartSamplesOf(m_state.stations[size_t(station)]);
    drawTrendTick(m_picture->area(), samples);
    m_picture->update();
}

void TrendWindow::done(int result)
{
    m_trendTimer->stop();
    QDialog::done(result);
}
