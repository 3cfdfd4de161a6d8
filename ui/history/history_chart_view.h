// The chart of recorded values: one line per parameter broken at gaps, one
// value axis per unit, zoom by dragging across, pan with the wheel or the
// arrow keys, and a read-out of the values under the mouse.
#pragma once

#include "history/history_query.h"

#include <QChartView>
#include <utility>

class QDateTimeAxis;
class QGraphicsLineItem;

namespace vantoro {

// The value axis of a unit's series holding `lo`..`hi`: from zero for
// currents, power and energy, otherwise a span of at least a fifth of the
// values' size around them, with a little room either side.
std::pair<double, double> valueAxisRange(const QString &unit, double lo, double hi);

class HistoryChartView : public QChartView
{
    Q_OBJECT

public:
    explicit HistoryChartView(QWidget *parent = nullptr);

    // Shows `data` over the range; an empty range shows `emptyText`.
    void showData(const HistoryData &data, const QDateTime &from, const QDateTime &to, const QString &emptyText);
    const HistoryData &data() const { return m_data; }
    // Points drawn, over every line.
    int pointsShown() const;
    // The read-out at a time: the time and each value with its unit.
    QString readoutAt(const QDateTime &time) const;
    // Back to the whole range.
    void resetZoom();
    // Points wanted from the query: about two per pixel of the plot.
    int wantedPoints() const;

signals:
    void readoutChanged(const QString &text);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void clearChart();
    void setTimeTicks(qint64 days);
    int pointIndexAt(qint64 seconds) const;

    HistoryData m_data;
    QDateTimeAxis *m_timeAxis = nullptr;
    QGraphicsLineItem *m_cursor = nullptr;
    QDateTime m_from;
    QDateTime m_to;
};

} // namespace vantoro
