// The trend chart: the last minutes of one or more values over time, on a
// sliding time window. Points that have left the window are dropped, so the
// chart's memory stays flat however long the station polls. A break in the
// data stays a gap: the line is drawn in segments.
#pragma once

#include <QChartView>
#include <QDateTime>
#include <QMargins>
#include <QVector>

class QLineSeries;
class QDateTimeAxis;
class QValueAxis;

namespace vantoro {

class TrendChart : public QChartView
{
    Q_OBJECT
    Q_PROPERTY(QString CaptionText READ caption WRITE setCaption)
public:
    static constexpr int MAX_CHANNELS = 4;

    explicit TrendChart(QWidget *parent = nullptr);

    // The time window: its span is kept, and it slides on as samples arrive.
    void setTimeRange(const QDateTime &start, const QDateTime &end);
    QDateTime windowStart() const { return m_start; }
    QDateTime windowEnd() const { return m_end; }
    void setValueRange(double minimum, double maximum);
    double valueMinimum() const { return m_min; }
    double valueMaximum() const { return m_max; }
    // The marked range of the vertical scale (kept with the scale).
    void setRangeMinMax(double minimum, double maximum);
    double rangeMinimum() const { return m_rangeMin; }
    double rangeMaximum() const { return m_rangeMax; }

    void addSample(double value, const QDateTime &time, int channel = 0);
    // Points of a channel, over all its segments.
    int pointCount(int channel = 0) const;
    int segmentCount(int channel = 0) const;
    // The next sample of every channel starts a new segment.
    void breakLines();
    // Slides the window on so that it ends at `now` (never backwards).
    void advanceTo(const QDateTime &now);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setLineColour(const QColor &colour, int channel = 0);
    // A strip that carries only the time labels for the charts above it:
    // no background, no value scale.
    void setTimeStrip(bool strip);
    void setShowTimeLabels(bool show);
    // Space around the chart's content (labels, title, plot), so stacked
    // charts can be made to line up.
    void setChartMargins(const QMargins &margins);
    QMargins chartMargins() const;
    QRectF plotRect() const;

signals:
    void plotAreaChanged();

private:
    QLineSeries *series(int channel);
    QLineSeries *newSegment(int channel);
    void dropOldPoints();


    QDateTimeAxis *m_timeAxis = nullptr;
    QValueAxis *m_valueAxis = nullptr;
    // Per channel, oldest segment first; the last one takes new samples.
    QVector<QVector<QLineSeries *>> m_segments;
    QVector<bool> m_breakPending;
    QVector<QColor> m_colours;
    QDateTime m_start;
    QDateTime m_end;
    QString m_caption;
    double m_min = 0;
    double m_max = 100;
    double m_rangeMin = 0;
    double m_rangeMax = 100;
    bool m_strip = false;
};

} // namespace vantoro
