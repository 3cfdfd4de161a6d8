// The trend view (picTrend): DC voltage, DC current and AC current over the
// last three minutes, stacked, with a shared time strip under them. Samples
// come only from cycles that got a good reply; the time axis follows the
// clock whether or not the device answers.
#pragma once

#include "ui/main/shown_table.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>
#include <array>

namespace vantoro {

class TrendChart;
struct CycleReport;

class TrendView : public QWidget, public ShownTable
{
public:
    static constexpr int CHARTS = 4;
    static constexpr std::array<int, 3> chartParams = {4, 5, 3};
    static constexpr double STRIP_HEIGHT_TWIPS = 1100;

    explicit TrendView(QWidget *parent = nullptr);

    // Time window ending now and value scales from the limits (at load).
    void setPicTrendBounds();
    // One sample per chart, all at the same time.
    void refreshPicTrend();
    void refreshPicTrend(const QDateTime &now);
    // A replied cycle adds its values; any other leaves a gap.
    void cycleFinished(const CycleReport &report);
    void breakLines();
    void advanceTo(const QDateTime &now);
    void resizeTrend();
    TrendChart *chart(int index) const;

private:
    void alignCharts();

    std::array<TrendChart *, CHARTS> m_charts{};
    bool m_alignPending = false;
    QTimer m_clock;
};

} // namespace vantoro
