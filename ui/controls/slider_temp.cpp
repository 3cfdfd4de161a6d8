// The temperature slider display.
#include "ui/controls/slider_temp.h"

#include "core/display_rules.h"

#include <QPainter>
#include <QPainterPath>

namespace vantoro {

SliderTemp::SliderTemp(Qt::Orientation orientation, QWidget *parent)
    : QWidget(parent)
    , m_orientation(orientation)
{
    setMinimumSize(6, 6);
}

void SliderTemp::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void SliderTemp::setRange(double minimum, double maximum)
{
    if (minimum == m_min && maximum == m_max)
        return;
    m_min = minimum;
    m_max = maximum;
    update();
}

double SliderTemp::fillFraction() const
{
    return scaleFraction(m_value, m_min, m_max);
}

// Cool blue through green and amber to red as the fill rises.
QColor SliderTemp::fillColour() const
{
    const double f = fillFraction();
    return QColor::fromHsvF(float(qBound(0.0, 0.6 * (1.0 - f), 0.6)), 0.85f, 0.88f);
}

void SliderTemp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_orientation == Qt::Vertical)
        paintVertical(p);
    else
        paintHorizontal(p);
}

void SliderTemp::paintVertical(QPainter &p)
{
    const double w = width(), h = height();
    const double bulbR = qMin(w * 0.32, h * 0.12);
    const double tubeW = bulbR * 0.9;
    const double cx = w * 0.36;
    const QPointF bulbC(cx, h - bulbR - 1.5);
    const double tubeTop = bulbR * 0.6 + 1;
    const double tubeBottom = bulbC.y();
    const QColor glass(0xf6, 0xf8, 0xfa);
    const QColor edge(0x5a, 0x66, 0x74);
    const QColor fill = fillColour();

    QPainterPath outline;
    outline.addRoundedRect(QRectF(cx - tubeW / 2, tubeTop - tubeW / 2, tubeW, tubeBottom - tubeTop + tubeW / 2), tubeW / 2,
                           tubeW / 2);
    outline.addEllipse(bulbC, bulbR, bulbR);
    outline.setFillRule(Qt::WindingFill);
    p.setPen(QPen(edge, 1.2));
    p.setBrush(glass);
    p.drawPath(outline.simplified());

    const double inner = tubeW * 0.5;
    const double level = tubeBottom - fillFraction() * (tubeBottom - tubeTop);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRect(QRectF(cx - inner / 2, level, inner, tubeBottom - level));
    p.drawEllipse(bulbC, bulbR * 0.72, bulbR * 0.72);

    // Ticks on the right: ten steps, the ends labelled.
    p.setPen(QPen(edge, 1));
    for (int i = 0; i <= 10; ++i) {
        const double y = tubeBottom - i * (tubeBottom - tubeTop) / 10;
        const double len = i % 5 == 0 ? tubeW * 0.9 : tubeW * 0.5;
        p.drawLine(QPointF(cx + tubeW / 2 + 2, y), QPointF(cx + tubeW / 2 + 2 + len, y));
    }
}

void SliderTemp::paintHorizontal(QPainter &p)
{
    const double w = width(), h = height();
    const double trackH = qMax(3.0, h * 0.38);
    const QRectF track(h * 0.3, (h - trackH) / 2, w - h * 0.6, trackH);
    const QColor edge(0x5a, 0x66, 0x74);
    p.setPen(QPen(edge, 1));
    p.setBrush(QColor(0xf2, 0xf5, 0xf8));
    p.drawRoundedRect(track, trackH / 2, trackH / 2);

    const double f = fillFraction();
    QLinearGradient grad(track.topLeft(), track.topRight());
    grad.setColorAt(0, QColor::fromHsvF(0.6f, 0.85f, 0.88f));
    grad.setColorAt(0.5, QColor::fromHsvF(0.3f, 0.85f, 0.88f));
    grad.setColorAt(1, QColor::fromHsvF(0.0f, 0.85f, 0.88f));
    p.setPen(Qt::NoPen);
    p.setBrush(grad);
    p.save();
    p.setClipRect(QRectF(track.left(), 0, track.width() * f, h));
    p.drawRoundedRect(track.adjusted(1, 1, -1, -1), trackH / 2, trackH / 2);
    p.restore();

    // The pointer above the track, as a slider's thumb.
    const double x = track.left() + track.width() * f;
    QPainterPath thumb;
    const double tw = qMax(4.0, h * 0.32);
    thumb.moveTo(x, track.top() + trackH * 0.2);
    thumb.lineTo(x - tw / 2, 0.5);
    thumb.lineTo(x + tw / 2, 0.5);
    thumb.closeSubpath();
    p.setPen(QPen(QColor(0x2a, 0x32, 0x3e), 1));
    p.setBrush(fillColour());
    p.drawPath(thumb);
    p.setPen(QPen(edge, 1));
    for (int i = 0; i <= 10; ++i) {
        const double tx = track.left() + i * track.width() / 10;
        const double len = i % 5 == 0 ? (h - track.bottom()) * 0.8 : (h - track.bottom()) * 0.45;
        p.drawLine(QPointF(tx, track.bottom() + 1), QPointF(tx, track.bottom() + 1 + len));
    }
}

} // namespace vantoro
