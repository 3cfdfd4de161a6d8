#include "ui/history/history_chart_view.h"

#include <QAreaSeries>
#include <QDateTimeAxis>
#include <QGraphicsLineItem>
#include <QHash>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace vantoro {

namespace {

// Tableau-like colours that stay apart in print.
const QColor seriesColours[] = {QColor(0x1f77b4), QColor(0xd62728), QColor(0x2ca02c), QColor(0xff7f0e),
                                QColor(0x9467bd), QColor(0x8c564b), QColor(0xe377c2), QColor(0x17becf)};

QString valueText(double v)
{
    return QString::number(v, 'g', 6);
}

// Quantities that are naturally measured from nothing: their axis starts at
// zero, so a few per cent of ripple looks like a few per cent.
bool zeroBasedUnit(const QString &unit)
{
    static const QStringList units{QStringLiteral("A"),  QStringLiteral("mA"),  QStringLiteral("W"),
                                   QStringLiteral("kW"), QStringLiteral("VA"),  QStringLiteral("kVA"),
                                   QStringLiteral("Wh"), QStringLiteral("kWh"), QStringLiteral("MWh")};
    return units.contains(unit.trimmed(), Qt::CaseInsensitive);
}

} // namespace

std::pair<double, double> valueAxisRange(const QString &unit, double lo, double hi)
{
    if (lo > hi)
        std::swap(lo, hi);
    if (lo >= 0 && zeroBasedUnit(unit))
        return {0, hi > 0 ? hi * 1.05 : 1};
    // Any other quantity gets a span of at least a fifth of its size, the
    // values in the middle, so the mains voltage's wobble stays small.
    const double size = std::max(std::abs(lo), std::abs(hi));
    const double span = std::max({hi - lo, 0.2 * size, 1.0});
    const double middle = (lo + hi) / 2;
    double low = middle - span / 2;
    double high = middle + span / 2;
    // Values that never go below zero keep zero as the floor.
    if (lo >= 0 && low < 0) {
        high -= low;
        low = 0;
    }
    const double pad = (high - low) * 0.05;
    return {lo >= 0 ? std::max(0.0, low - pad) : low - pad, high + pad};
}

namespace {

} // namespace

HistoryChartView::HistoryChartView(QWidget *parent)
    : QChartView(new QChart, parent)
{
    setObjectName(QStringLiteral("chartHistory"));
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setMargins(QMargins(4, 4, 4, 4));
}

void HistoryChartView::clearChart()
{
    QChart *c = chart();
    c->removeAllSeries();
    for (QAbstractAxis *axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    m_timeAxis = nullptr;
    delete m_cursor;
    m_cursor = nullptr;
}

void HistoryChartView::setTimeTicks(qint64 days)
{
    if (days <= 1) {
        m_timeAxis->setFormat(QStringLiteral("HH:mm"));
        m_timeAxis->setTickCount(13);
        return;
    }
    // A month shows the day of the month alone, so its labels fit; ticks on
    // whole days where the month's length allows, never closer than a label.
    const bool month = days > 7;
    m_timeAxis->setFormat(month ? QStringLiteral("d") : QStringLiteral("MM-dd"));
    const qint64 fit = std::max<qint64>(2, qint64(width() * 0.7) / (month ? 30 : 60));
    qint64 ticks = std::min(days, fit);
    for (qint64 n = ticks; n > ticks / 2; --n) {
        if (days % n == 0) {
            ticks = n;
            break;
        }
    }
    m_timeAxis->setTickCount(int(ticks) + 1);
}

void HistoryChartView::showData(const HistoryData &data, const QDateTime &from, const QDateTime &to,
                                const QString &emptyText)
{
    clearChart();
    m_data = data;
    m_from = from;
    m_to = to;
    QChart *c = chart();
    int shown = 0;

    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setRange(from, to);
    setTimeTicks(from.daysTo(to));
    c->addAxis(m_timeAxis, Qt::AlignBottom);

    QHash<QString, QValueAxis *> axes;
    QHash<QString, std::pair<double, double>> limits;
    for (int col = 0; col < data.columns.size(); ++col) {
        const HistoryColumn &column = data.columns[col];
        const QList<double> &values = data.values[col];
        const QColor colour = seriesColours[col % std::size(seriesColours)];
        // A new line after each gap or missing value, so nothing is joined
        // across the time the link was down. Points go in per line at once:
        // appending one by one to a shown series redraws each time.
        QList<QList<int>> runs;
        bool open = false;
        for (int i = 0; i < data.pointCount(); ++i) {
            const double v = values[i];
            if (std::isnan(v) || data.gapBefore[i])
                open = false;
            if (std::isnan(v))
                continue;
            if (!open) {
                runs.append(QList<int>());
                open = true;
            }
            runs.last().append(i);
            const auto known = limits.find(column.unit);
            if (known == limits.end()) {
                limits.insert(column.unit, {v, v});
            } else {
                known->first = std::min(known->first, v);
                known->second = std::max(known->second, v);
            }
        }
        QValueAxis *axis = axes.value(column.unit);
        if (!runs.isEmpty() && !axis) {
            axis = new QValueAxis;
            axis->setTitleText(column.unit);
            c->addAxis(axis, axes.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
            axes.insert(column.unit, axis);
        }
        const auto at = [&](int i, double v) { return QPointF(double(data.times[i]) * 1000.0, v); };
        // Reduced, a run is a band from each bucket's minimum to its maximum
        // with the mean as its line; otherwise the samples are the line.
        const bool banded = data.bucketSeconds > 0 && data.means.size() == data.columns.size();
        QList<QList<QPointF>> lines;
        for (const QList<int> &run : std::as_const(runs)) {
            QList<QPointF> line;
            QList<QPointF> low;
            QList<QPointF> high;
            for (int n = 0; n < run.size(); ++n) {
                const int i = run[n];
                if (!banded) {
                    line << at(i, values[i]);
                    continue;
                }
                if (!data.bucketFirst[i])
                    continue;
                // The bucket's last point, when it has one in this run; the
                // mean stands at the bucket's middle.
                const int j = n + 1 < run.size() && !data.bucketFirst[run[n + 1]] ? run[n + 1] : i;
                line << QPointF((double(data.times[i]) + double(data.times[j])) * 500.0, data.means[col][i]);
                for (int k : {i, j}) {
                    low << at(k, values[i]);
                    high << at(k, values[j]);
                    if (j == i)
                        break;
                }
            }
            if (banded && line.size() > 1) {
                // An area series does not own its edges: they are its children.
                auto *band = new QAreaSeries;
                band->setUpperSeries(new QLineSeries(band));
                band->setLowerSeries(new QLineSeries(band));
                band->upperSeries()->replace(high);
                band->lowerSeries()->replace(low);
                QColor light = colour;
                light.setAlpha(60);
                band->setBrush(light);
                band->setPen(Qt::NoPen);
                c->addSeries(band);
                band->attachAxis(m_timeAxis);
                band->attachAxis(axis);
                for (auto *m : c->legend()->markers(band))
                    m->setVisible(false);
            }
            lines << line;
        }
        // A sample alone between gaps has no line to be part of: it is drawn
        // as a dot, all of a parameter's in one series.
        QList<QPointF> alone;
        QList<QXYSeries *> drawn;
        const QString name = column.unit.isEmpty() ? column.name : QStringLiteral("%1 (%2)").arg(column.name, column.unit);
        for (const QList<QPointF> &points : std::as_const(lines)) {
            if (points.size() == 1) {
                alone << points.first();
                continue;
            }
            auto *line = new QLineSeries;
            line->setPen(QPen(colour, 1.5));
            line->replace(points);
            drawn << line;
        }
        if (!alone.isEmpty()) {
            auto *dots = new QScatterSeries;
            dots->setMarkerSize(5);
            dots->setColor(colour);
            dots->setBorderColor(colour);
            dots->replace(alone);
            drawn << dots;
        }
        for (int n = 0; n < drawn.size(); ++n) {
            QXYSeries *series = drawn[n];
            series->setName(name);
            c->addSeries(series);
            series->attachAxis(m_timeAxis);
            series->attachAxis(axis);
            // One legend entry per parameter.
            const auto markers = c->legend()->markers(series);
            for (auto *m : markers)
                m->setVisible(n == 0);
        }
        shown += int(drawn.size());
    }
    c->setTitle(shown == 0 ? emptyText : QString());
    for (auto it = axes.begin(); it != axes.end(); ++it) {
        const auto [lo, hi] = valueAxisRange(it.key(), limits.value(it.key()).first, limits.value(it.key()).second);
        it.value()->setRange(lo, hi);
        it.value()->applyNiceNumbers();
    }
    if (axes.isEmpty()) {
        auto *axis = new QValueAxis;
        axis->setRange(0, 1);
        c->addAxis(axis, Qt::AlignLeft);
    }
    m_cursor = new QGraphicsLineItem(c);
    m_cursor->setPen(QPen(QColor(0, 0, 0, 120), 1, Qt::DashLine));
    m_cursor->setZValue(100);
    m_cursor->hide();
}

int HistoryChartView::pointsShown() const
{
    int n = 0;
    for (QAbstractSeries *s : chart()->series()) {
        if (auto *xy = qobject_cast<QXYSeries *>(s))
            n += xy->count();
    }
    return n;
}

int HistoryChartView::pointIndexAt(qint64 seconds) const
{
    if (m_data.isEmpty())
        return -1;
    const auto it = std::lower_bound(m_data.times.begin(), m_data.times.end(), seconds);
    int i = int(it - m_data.times.begin());
    if (i >= m_data.pointCount())
        i = m_data.pointCount() - 1;
    if (i > 0 && seconds - m_data.times[i - 1] < m_data.times[i] - seconds)
        --i;
    return i;
}

QString HistoryChartView::readoutAt(const QDateTime &time) const
{
    const int i = pointIndexAt(time.toSecsSinceEpoch());
    if (i < 0)
        return {};
    QStringList parts{QDateTime::fromSecsSinceEpoch(m_data.times[i]).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
    for (int col = 0; col < m_data.columns.size(); ++col) {
        const double v = m_data.values[col][i];
        const HistoryColumn &c = m_data.columns[col];
        parts << QStringLiteral("%1 %2%3").arg(c.name, std::isnan(v) ? QStringLiteral("-") : valueText(v),
                                               c.unit.isEmpty() ? QString() : QLatin1Char(' ') + c.unit);
    }
    return parts.join(QStringLiteral("   "));
}

void HistoryChartView::mouseMoveEvent(QMouseEvent *event)
{
    QChartView::mouseMoveEvent(event);
    const QRectF plot = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    if (!m_cursor || !plot.contains(at) || chart()->series().isEmpty()) {
        if (m_cursor)
            m_cursor->hide();
        return;
    }
    m_cursor->setLine(at.x(), plot.top(), at.x(), plot.bottom());
    m_cursor->show();
    const QPointF value = chart()->mapToValue(at, chart()->series().first());
    emit readoutChanged(readoutAt(QDateTime::fromMSecsSinceEpoch(qint64(value.x()))));
}

void HistoryChartView::wheelEvent(QWheelEvent *event)
{
    // The wheel pans along time; with Ctrl it zooms.
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier)
        chart()->zoom(steps > 0 ? 1.25 : 0.8);
    else
        chart()->scroll(-steps * chart()->plotArea().width() / 10.0, 0);
    event->accept();
}

void HistoryChartView::keyPressEvent(QKeyEvent *event)
{
    const qreal step = chart()->plotArea().width() / 10.0;
    switch (event->key()) {
    case Qt::Key_Left: chart()->scroll(-step, 0); break;
    case Qt::Key_Right: chart()->scroll(step, 0); break;
    case Qt::Key_Plus: chart()->zoom(1.25); break;
    case Qt::Key_Minus: chart()->zoom(0.8); break;
    case Qt::Key_Home: resetZoom(); break;
    default: QChartView::keyPressEvent(event); return;
    }
    event->accept();
}

void HistoryChartView::resetZoom()
{
    chart()->zoomReset();
    if (m_timeAxis && m_from.isValid())
        m_timeAxis->setRange(m_from, m_to);
}

int HistoryChartView::wantedPoints() const
{
    const int width = int(chart()->plotArea().width());
    return 2 * std::max(width, 400);
}

} // namespace vantoro
