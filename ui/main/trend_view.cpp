// The trend view.
#include "ui/main/trend_view.h"

#include "acquisition/param_names.h"
#include "acquisition/param_table.h"
#include "core/station_bus.h"
#include "core/view_layout.h"
#include "ui/controls/trend_chart.h"
#include "ui/twips.h"

#include <algorithm>
#include <cmath>

namespace vantoro {

namespace {

constexpr qint64 WINDOW_MS = 3 * 60 * 1000;
constexpr double SCALE_FACTOR = 1.3;
constexpr int CLOCK_TICK_MS = 1000;

} // namespace

TrendView::TrendView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picTrend"));
    const QColor colours[3] = {QColor(0xe0, 0x7b, 0x00), QColor(0xc8, 0x3a, 0x1e), QColor(0x1f, 0x6f, 0xc0)};
    for (int i = 0; i < CHARTS; ++i) {
        auto *c = new TrendChart(this);
        c->setObjectName(QStringLiteral("Trend1"));
        c->setProperty("index", i);
        if (i < 3) {
            c->setLineColour(colours[i]);
            c->setShowTimeLabels(false);
        }
        m_charts[size_t(i)] = c;
        connect(c, &TrendChart::plotAreaChanged, this, &TrendView::alignCharts, Qt::QueuedConnection);
    }
    // The strip shows the one time scale of the stack; its own line is the
    // constant zero, lying on the axis.
    m_charts[3]->setTimeStrip(true);
    m_charts[3]->setValueRange(0, 1);
    m_charts[3]->setRangeMinMax(0, 1);

    connect(&stationBus(), &StationBus::cycleFinished, this, &TrendView::cycleFinished);
    connect(&stationBus(), &StationBus::pollingChanged, this, [this](bool on) {
        if (!on)
            breakLines();
    });
    // Only a shown view needs its axis to move between cycles.
    m_clock.setInterval(CLOCK_TICK_MS);
    connect(&m_clock, &QTimer::timeout, this, [this] {
        if (isVisible())
            advanceTo(QDateTime::currentDateTime());
    });
    m_clock.start();
}

TrendChart *TrendView::chart(int index) const
{
    return index >= 0 && index < CHARTS ? m_charts[size_t(index)] : nullptr;
}

void TrendView::setPicTrendBounds()
{
    const QDateTime end = QDateTime::currentDateTime();
    const QDateTime start = end.addMSecs(-WINDOW_MS);
    for (int i = 0; i < CHARTS; ++i)
        m_charts[size_t(i)]->setTimeRange(start, end);
    for (int i = 0; i < int(chartParams.size()); ++i) {
        const int id = chartParams[size_t(i)];
        const ParamRecord &p = table()[size_t(id)];
        const double upper = p.rangeu.value_or(0.0) * SCALE_FACTOR;
        TrendChart *c = m_charts[size_t(i)];
        c->setValueRange(0, upper);
        c->setRangeMinMax(0, upper);
        const QString name = parameterName(p);
        c->setCaption(p.unit.isEmpty() ? name : name + QStringLiteral(" (") + p.unit + QLatin1Char(')'));
    }
}

void TrendView::refreshPicTrend()
{
    refreshPicTrend(QDateTime::currentDateTime());
}

void TrendView::refreshPicTrend(const QDateTime &now)
{
    for (int i = 0; i < int(chartParams.size()); ++i)
        m_charts[size_t(i)]->addSample(numericValue(table(), chartParams[size_t(i)]), now);
    m_charts[3]->advanceTo(now);
}

void TrendView::cycleFinished(const CycleReport &report)
{
    if (!shows(report.deviceId))
        return;
    if (!report.replied) {
        breakLines();
        advanceTo(report.time);
        return;
    }
    for (int i = 0; i < int(chartParams.size()); ++i) {
        for (const ParameterReading &r : report.parameters) {
            if (r.id == chartParams[size_t(i)] && r.numeric)
                m_charts[size_t(i)]->addSample(r.value, report.time);
        }
    }
    advanceTo(report.time);
}

void TrendView::breakLines()
{
    for (TrendChart *c : m_charts)
        c->breakLines();
}

void TrendView::advanceTo(const QDateTime &now)
{
    for (TrendChart *c : m_charts)
        c->advanceTo(now);
}

void TrendView::resizeTrend()
{
    for (TrendChart *c : m_charts)
        c->hide();
    const auto rects = trendRects(pxToTwips(width(), this), pxToTwips(height(), this), STRIP_HEIGHT_TWIPS);
    for (int i = 0; i < CHARTS; ++i) {
        const QRectF &r = rects[size_t(i)];
        const int left = twipsToPx(r.left(), this);
        const int top = twipsToPx(r.top(), this);
        m_charts[size_t(i)]->setGeometry(left, top, twipsToPx(r.right(), this) - left,
                                         qMax(0, twipsToPx(r.bottom(), this) - top));
    }
    for (int i = 0; i < CHARTS; ++i)
        m_charts[size_t(i)]->setChartMargins(QMargins(0, i < 3 ? 4 : 0, 0, i < 2 ? 4 : 0));
    m_alignPending = true;
    for (TrendChart *c : m_charts)
        c->show();
    m_charts[3]->raise();
}

void TrendView::alignCharts()
{
    // Measured once per layout, from the plain layout resizeTrend asked for:
    // the plots then line up on one left and one right edge whatever their
    // labels take.
    if (!m_alignPending)
        return;
    for (const TrendChart *c : m_charts) {
        if (c->plotRect().isEmpty() || c->isHidden())
            return;
    }
    m_alignPending = false;
    constexpr int EDGE = 8;
    int naturalLeft[CHARTS], naturalRight[CHARTS];
    for (int i = 0; i < CHARTS; ++i) {
        const TrendChart *c = m_charts[size_t(i)];
        const QRectF plot = c->plotRect();
        naturalLeft[i] = int(std::lround(plot.left()));
        naturalRight[i] = int(std::lround(c->width() - plot.right()));
    }
    const int left = *std::max_element(naturalLeft, naturalLeft + CHARTS) + EDGE;
    const int right = *std::max_element(naturalRight, naturalRight + CHARTS) + EDGE;
    for (int i = 0; i < 3; ++i) {
        const QMargins m = m_charts[size_t(i)]->chartMargins();
        m_charts[size_t(i)]->setChartMargins(
            QMargins(left - naturalLeft[i], m.top(), right - naturalRight[i], m.bottom()));
    }
    // The lowest chart's plot ends where the strip's time axis lies.
    const TrendChart *strip = m_charts[3];
    TrendChart *lowest = m_charts[2];
    const double stripAxis = strip->y() + strip->plotRect().bottom() - lowest->y();
    const QMargins m2 = lowest->chartMargins();
    lowest->setChartMargins(QMargins(m2.left(), m2.top(), m2.right(),
                                     qMax(0, int(std::lround(lowest->plotRect().bottom() - stripAxis)))));
    m_charts[3]->setChartMargins(QMargins(left - naturalLeft[3], 0, right - naturalRight[3], 0));
}

} // namespace vantoro
