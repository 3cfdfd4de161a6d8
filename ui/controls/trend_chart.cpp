// The trend chart.
#include "ui/controls/trend_chart.h"

#include "core/display_rules.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

namespace vantoro {

namespace {

constexpr qint64 DEFAULT_SPAN_MS = 3 * 60 * 1000;
constexpr int TIME_TICKS = 7;

} // namespace

TrendChart::TrendChart(QWidget *parent)
    // Made with its chart: a chart set later would leave the view's own
    // first chart to nobody.
    : QChartView(new QChart, parent)
{
    QChart *chart = this->chart();
    chart->legend()->hide();
    chart->setBackgroundRoundness(6);
    chart->setBackgroundBrush(QColor(0xff, 0xff, 0xff, 236));
    chart->setBackgroundPen(QPen(QColor(0xb4, 0xc0, 0xcc), 1));
    chart->setPlotAreaBackgroundBrush(QColor(0xf7, 0xf9, 0xfc));
    chart->setPlotAreaBackgroundVisible(true);
    chart->setDropShadowEnabled(false);
    chart->setMargins(QMargins(0, 0, 0, 0));
    QFont titleFont = font();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setTitleBrush(QColor(0x2a, 0x36, 0x46));
    connect(chart, &QChart::plotAreaChanged, this, &TrendChart::plotAreaChanged);
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setStyleSheet(QStringLiteral("background: transparent"));
    // Moving time labels on a see-through view leave fragments behind
    // unless the whole view is redrawn.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setCacheMode(QGraphicsView::CacheNone);

    m_timeAxis = new QDateTimeAxis(this);
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_timeAxis->setTickCount(TIME_TICKS);
    m_timeAxis->setGridLineColor(QColor(0xdd, 0xe3, 0xea));
    m_timeAxis->setLinePenColor(QColor(0x7a, 0x86, 0x94));
    m_valueAxis = new QValueAxis(this);
    m_valueAxis->setLabelFormat(QStringLiteral("%g"));
    m_valueAxis->setGridLineColor(QColor(0xdd, 0xe3, 0xea));
    m_valueAxis->setLinePenColor(QColor(0x7a, 0x86, 0x94));
    chart->addAxis(m_timeAxis, Qt::AlignBottom);
    chart->addAxis(m_valueAxis, Qt::AlignLeft);

    m_colours = {QColor(0x1f, 0x6f, 0xc0), QColor(0xd0, 0x5a, 0x10), QColor(0x2a, 0x9a, 0x48), QColor(0x80, 0x40, 0xa0)};
    m_end = QDateTime::currentDateTime();
    m_start = m_end.addMSecs(-DEFAULT_SPAN_MS);
    m_timeAxis->setRange(m_start, m_end);
    m_valueAxis->setRange(m_min, m_max);
    series(0);
}

QLineSeries *TrendChart::newSegment(int channel)
{
    auto *s = new QLineSeries(this);
    s->setPen(QPen(m_colours.value(channel, Qt::black), 2));
    s->setVisible(!m_strip);
    chart()->addSeries(s);
    s->attachAxis(m_timeAxis);
    s->attachAxis(m_valueAxis);
    m_segments[channel] << s;
    return s;
}

QLineSeries *TrendChart::series(int channel)
{
    if (channel < 0 || channel >= MAX_CHANNELS)
        return nullptr;
    while (m_segments.size() <= channel) {
        m_segments.append(QVector<QLineSeries *>());
        m_breakPending.append(false);
        newSegment(int(m_segments.size()) - 1);
    }
    if (m_breakPending[channel]) {
        m_breakPending[channel] = false;
        if (m_segments[channel].last()->count() > 0)
            newSegment(channel);
    }
    return m_segments[channel].last();
}

void TrendChart::setTimeRange(const QDateTime &start, const QDateTime &end)
{
    if (!start.isValid() || !end.isValid() || end <= start)
        return;
    m_start = start;
    m_end = end;
    m_timeAxis->setRange(m_start, m_end);
    dropOldPoints();
}

void TrendChart::setValueRange(double minimum, double maximum)
{
    m_min = minimum;
    m_max = maximum > minimum ? maximum : minimum + 1;
    m_valueAxis->setRange(m_min, m_max);
    // Grid lines on round values, whatever the range's ends are.
    const QList<double> ticks = meterTicks(m_min, m_max, 5);
    if (ticks.size() >= 2) {
        m_valueAxis->setTickType(QValueAxis::TicksDynamic);
        m_valueAxis->setTickAnchor(ticks.first());
        m_valueAxis->setTickInterval(ticks.at(1) - ticks.at(0));
    }
}

void TrendChart::setRangeMinMax(double minimum, double maximum)
{
    m_rangeMin = minimum;
    m_rangeMax = maximum;
}

void TrendChart::dropOldPoints()
{
    // Everything left of the window goes, except the last point before it,
    // which carries the line in from the left edge. A segment that ended
    // before the window goes whole.
    const qreal startMs = qreal(m_start.toMSecsSinceEpoch());
    for (QVector<QLineSeries *> &segments : m_segments) {
        while (segments.size() > 1 && segments.first()->count() > 0
               && segments.first()->at(segments.first()->count() - 1).x() < startMs) {
            QLineSeries *gone = segments.takeFirst();
            chart()->removeSeries(gone);
            delete gone;
        }
        QLineSeries *s = segments.first();
        int firstInside = 0;
        const int n = s->count();
        while (firstInside < n && s->at(firstInside).x() < startMs)
            ++firstInside;
        if (firstInside > 1)
            s->removePoints(0, firstInside - 1);
    }
}

void TrendChart::advanceTo(const QDateTime &now)
{
    if (!now.isValid() || now <= m_end)
        return;
    const qint64 span = m_start.msecsTo(m_end);
    m_end = now;
    m_start = m_end.addMSecs(-span);
    m_timeAxis->setRange(m_start, m_end);
    dropOldPoints();
}

void TrendChart::addSample(double value, const QDateTime &time, int channel)
{
    QLineSeries *s = series(channel);
    if (!s || !time.isValid())
        return;
    advanceTo(time);
    s->append(qreal(time.toMSecsSinceEpoch()), value);
    dropOldPoints();
}

void TrendChart::breakLines()
{
    for (bool &pending : m_breakPending)
        pending = true;
}

int TrendChart::segmentCount(int channel) const
{
    return channel >= 0 && channel < m_segments.size() ? int(m_segments.at(channel).size()) : 0;
}

int TrendChart::pointCount(int channel) const
{
    if (channel < 0 || channel >= m_segments.size())
        return 0;
    int points = 0;
    for (const QLineSeries *s : m_segments.at(channel))
        points += s->count();
    return points;
}

void TrendChart::setCaption(const QString &caption)
{
    m_caption = caption;
    chart()->setTitle(caption);
}

void TrendChart::setLineColour(const QColor &colour, int channel)
{
    if (!series(channel))
        return;
    while (m_colours.size() <= channel)
        m_colours << Qt::black;
    m_colours[channel] = colour;
    for (QLineSeries *s : std::as_const(m_segments[channel]))
        s->setPen(QPen(colour, 2));
}

void TrendChart::setTimeStrip(bool strip)
{
    m_strip = strip;
    chart()->setBackgroundVisible(!strip);
    chart()->setPlotAreaBackgroundVisible(!strip);
    m_valueAxis->setVisible(!strip);
    m_timeAxis->setGridLineVisible(!strip);
    m_timeAxis->setLineVisible(!strip);
    for (const QVector<QLineSeries *> &segments : std::as_const(m_segments)) {
        for (QLineSeries *s : segments)
            s->setVisible(!strip);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents, strip);
}

void TrendChart::setShowTimeLabels(bool show)
{
    m_timeAxis->setLabelsVisible(show);
}

void TrendChart::setChartMargins(const QMargins &margins)
{
    if (chart()->margins() != margins)
        chart()->setMargins(margins);
}

QMargins TrendChart::chartMargins() const
{
    return chart()->margins();
}

QRectF TrendChart::plotRect() const
{
    return chart()->plotArea();
}

} // namespace vantoro
