#include "charts/frmgraph.h"

#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "ui/main/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

FrmGraph::FrmGraph(SharedState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_state(state)
{
    setObjectName(QStringLiteral("frmGraph"));
    setModal(true);
    setFixedSize(twips(16635), twips(7560));
    setWindowTitle(QStringLiteral("Graph - Test ") + QString::number(state.GraphStation + 1));

    const QRect box = twipsRect(240, 240, 15975, 6735);
    pic = new PictureBox(box.size(), RGB(0, 0, 0), this);
    pic->setObjectName(QStringLiteral("pic"));
    pic->move(box.topLeft());

    PictureArea &area = pic->area();
    area.ScaleHeight = kChartScale;
    area.ScaleWidth = kChartScale;
    for (int i = 0; i <= 10; ++i) {
        const float at = float(1000 + 1000 * i);
        x_axis[size_t(i)] = area.addLineElement(RGB(64, 64, 64));
        *x_axis[size_t(i)] = {1000, at, 11000, at, RGB(64, 64, 64)};
        y_axis[size_t(i)] = area.addLineElement(RGB(64, 64, 64));
        *y_axis[size_t(i)] = {at, 1000, at, 11000, RGB(64, 64, 64)};
    }

    tmrTrend = new QTimer(this);
    tmrTrend->setObjectName(QStringLiteral("tmrTrend"));
    tmrTrend->setInterval(1000);
    connect(tmrTrend, &QTimer::timeout, this, &FrmGraph::tmrTrendTimer);
    tmrTrend->start();

    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void FrmGraph::tmrTrendTimer()
{
    drawTrendTick(pic->area(), m_state);
    pic->update();
}

void FrmGraph::done(int result)
{
    tmrTrend->stop();
    QDialog::done(result);
}
