// The view area of the main window.
#include "ui/main/main_views.h"

#include "plant/device.h"

#include "acquisition/param_table.h"
#include "ui/controls/slider_temp.h"
#include "ui/main/grid_view.h"
#include "ui/main/meter_view.h"
#include "ui/main/plant_view.h"
#include "ui/main/state_view.h"
#include "ui/main/trend_view.h"

#include <QPainter>
#include <QResizeEvent>

namespace vantoro {

namespace {

constexpr int P_TMOD = 6;

} // namespace

MainViews::MainViews(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("PicView"));
    m_picState = new StateView(this);
    m_grid = new GridView(this);
    m_picMeter = new MeterView(this);
    m_picTrend = new TrendView(this);
    m_plant = new PlantView(stationBus(), this);
    m_plant->setObjectName(QStringLiteral("PicPlant"));
    for (QWidget *w : {static_cast<QWidget *>(m_picState), static_cast<QWidget *>(m_grid),
                       static_cast<QWidget *>(m_picMeter), static_cast<QWidget *>(m_picTrend),
                       static_cast<QWidget *>(m_plant)})
        w->hide();
}

QWidget *MainViews::picState() const { return m_picState; }
QWidget *MainViews::grid() const { return m_grid; }
QWidget *MainViews::picMeter() const { return m_picMeter; }
QWidget *MainViews::picTrend() const { return m_picTrend; }

void MainViews::showView(int mode)
{
    m_grid->hide();
    m_picState->hide();
    m_picMeter->hide();
    m_picTrend->hide();
    m_plant->hide();
    switch (mode) {
    case VIEW_GRID:
        // A view hidden through a resize catches up on its layout here.
        m_grid->resizeGrid();
        m_grid->show();
        refreshGrid();
        break;
    case VIEW_METER:
        m_picMeter->resizeMeter();
        m_picMeter->show();
        refreshPicMeter();
        break;
    case VIEW_TREND:
        m_picTrend->resizeTrend();
        m_picTrend->show();
        break;
    case VIEW_PLANT:
        m_plant->show();
        break;
    case VIEW_STATE:
        m_picState->layoutControls();
        m_picState->show();
        refreshPicState();
        break;
    default:
        break;
    }
}

int MainViews::visibleView() const
{
    if (m_picState->isVisibleTo(this)) return VIEW_STATE;
    if (m_grid->isVisibleTo(this)) return VIEW_GRID;
    if (m_picMeter->isVisibleTo(this)) return VIEW_METER;
    if (m_picTrend->isVisibleTo(this)) return VIEW_TREND;
    if (m_plant->isVisibleTo(this)) return VIEW_PLANT;
    return -1;
}

void MainViews::refreshViews()
{
    if (m_picState->isVisibleTo(this))
        refreshPicState();
    if (m_grid->isVisibleTo(this))
        refreshGrid();
    if (m_picMeter->isVisibleTo(this))
        refreshPicMeter();
}

void MainViews::refreshPicState()
{
    m_picState->refreshPicState();
}

void MainViews::refreshGrid()
{
    m_grid->refreshGrid();
}

void MainViews::refreshPicMeter()
{
    m_picMeter->refreshPicMeter();
}

void MainViews::refreshPicTrend()
{
    m_picTrend->refreshPicTrend();
}

void MainViews::checkWorkMode()
{
    m_picState->checkWorkMode();
}

void MainViews::createStructure()
{
    m_grid->createStructure();
    m_picState->updateCaptions();
}

void MainViews::setDevice(const Device *device)
{
    const ParamTable *table = device ? &device->table() : nullptr;
    const QString id = device ? device->id() : QString();
    const bool changed = m_picTrend->deviceId() != id;
    m_picState->setTable(table, id);
    m_grid->setTable(table, id);
    m_picMeter->setTable(table, id);
    m_picTrend->setTable(table, id);
    if (changed)
        m_picTrend->breakLines();
}

void MainViews::setPicTrendBounds()
{
    m_picTrend->setPicTrendBounds();
}

void MainViews::setupMeters()
{
    m_picMeter->setupMeters();
    // The temperature sliders share the module temperature's limits.
    const ParamRecord &t = m_picMeter->table()[P_TMOD];
    if (t.rangel && t.rangeu && *t.rangeu > *t.rangel) {
        m_picState->sliderTemp()->setRange(*t.rangel, *t.rangeu);
        m_picState->sliderTempModule()->setRange(*t.rangel, *t.rangeu);
    }
}

void MainViews::saveDesignGeometry()
{
    m_picState->saveDesignGeometry();
}

void MainViews::layoutViews()
{
    const QRect area = rect();
    for (QWidget *w : {static_cast<QWidget *>(m_picState), static_cast<QWidget *>(m_picMeter),
                       static_cast<QWidget *>(m_picTrend), static_cast<QWidget *>(m_grid),
                       static_cast<QWidget *>(m_plant)})
        w->setGeometry(area);
    if (m_picTrend->isVisibleTo(this))
        m_picTrend->resizeTrend();
    if (m_grid->isVisibleTo(this))
        m_grid->resizeGrid();
    if (m_picMeter->isVisibleTo(this))
        m_picMeter->resizeMeter();
    m_picState->layoutControls();
}

void MainViews::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutViews();
}

void MainViews::paintEvent(QPaintEvent *)
{
    // The background every view lies on.
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0xe4, 0xec, 0xf4));
    g.setColorAt(1, QColor(0xc9, 0xd6, 0xe3));
    p.fillRect(rect(), g);
}

} // namespace vantoro
