// The analogue meter.
#include "ui/controls/meter_gauge.h"

#include "core/display_rules.h"
#include "core/number_format.h"
#include "ui/controls/colour_value.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace vantoro {

namespace {

constexpr double DIAL = 200.0; // the logical size the dial is drawn in
constexpr double PI = 3.14159265358979323846;
constexpr int MINOR_PER_MAJOR = 5;

QPointF polar(double radius, double degrees)
{
    const double a = degrees * PI / 180.0;
    return {DIAL / 2 + radius * std::cos(a), DIAL / 2 - radius * std::sin(a)};
}

QString tickLabel(double v)
{
    if (std::fabs(v) >= 10000)
        return QString::number(v / 1000, 'g', 3) + QLatin1Char('k');
    return QString::number(v, 'g', 4);
}

} // namespace

MeterGauge::MeterGauge(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setMinimumSize(20, 20);
}

void MeterGauge::setScale(double lower, double upper)
{
    if (lower == m_lower && upper == m_upper)
        return;
    m_lower = lower;
    m_upper = upper;
    update();
}

void MeterGauge::setRange(double minimum, double maximum)
{
    if (minimum == m_rangeMin && maximum == m_rangeMax)
        return;
    m_rangeMin = minimum;
    m_rangeMax = maximum;
    update();
}

void MeterGauge::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void MeterGauge::setValueColor(quint32 colour)
{
    if (colour == m_valueColor)
        return;
    m_valueColor = colour;
    update();
}

void MeterGauge::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void MeterGauge::setUnit(const QString &unit)
{
    if (unit == m_unit)
        return;
    m_unit = unit;
    update();
}

void MeterGauge::setValueFormat(const QString &pattern)
{
    const QString p = pattern.isEmpty() ? QStringLiteral("0.0") : pattern;
    if (p == m_format)
        return;
    m_format = p;
    update();
}

QString MeterGauge::valueText() const
{
    return formatNumber(m_value, m_format) + (m_unit.isEmpty() ? QString() : QLatin1Char(' ') + m_unit);
}

void MeterGauge::paintEvent(QPaintEvent *)
{
    ++m_paints;
    const double side = qMin(width(), height());
    if (side < 4)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate((width() - side) / 2, (height() - side) / 2);
    p.scale(side / DIAL, side / DIAL);

    // Bezel and face.
    QRadialGradient bezel(DIAL / 2, DIAL / 2, DIAL / 2);
    bezel.setColorAt(0.90, QColor(0x9a, 0xa8, 0xb8));
    bezel.setColorAt(0.97, QColor(0x5c, 0x6a, 0x7c));
    bezel.setColorAt(1.0, QColor(0x3a, 0x44, 0x52));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(QRectF(4, 4, DIAL - 8, DIAL - 8));
    QRadialGradient face(DIAL / 2, DIAL * 0.4, DIAL * 0.55);
    face.setColorAt(0, Qt::white);
    face.setColorAt(1, QColor(0xe6, 0xec, 0xf2));
    p.setBrush(face);
    p.drawEllipse(QRectF(12, 12, DIAL - 24, DIAL - 24));

    const double rArc = 74;
    const double span = m_upper - m_lower;
    auto angleOf = [&](double v) { return meterAngle(v, m_lower, m_upper); };

    // The range band along the scale.
    if (span > 0 && m_rangeMax > m_rangeMin) {
        const double a0 = angleOf(qMax(m_rangeMin, m_lower));
        const double a1 = angleOf(qMin(m_rangeMax, m_upper));
        QPen band(QColor(0x8c, 0xc8, 0xe8), 7, Qt::SolidLine, Qt::FlatCap);
        p.setPen(band);
        p.setBrush(Qt::NoBrush);
        const QRectF arcRect(DIAL / 2 - rArc + 4, DIAL / 2 - rArc + 4, 2 * (rArc - 4), 2 * (rArc - 4));
        p.drawArc(arcRect, int(a1 * 16), int((a0 - a1) * 16));
    }
    // Scale line, ticks and numbers.
    p.setPen(QPen(QColor(0x22, 0x2a, 0x36), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(DIAL / 2 - rArc, DIAL / 2 - rArc, 2 * rArc, 2 * rArc), int((METER_START_ANGLE - METER_SWEEP) * 16),
              int(METER_SWEEP * 16));
    const QList<double> ticks = meterTicks(m_lower, m_upper, 5);
    QFont numberFont = font();
    numberFont.setPixelSize(12);
    p.setFont(numberFont);
    if (ticks.size() >= 2) {
        const double step = ticks.at(1) - ticks.at(0);
        const double minor = step / MINOR_PER_MAJOR;
        p.setPen(QPen(QColor(0x22, 0x2a, 0x36), 1.0));
        for (double t = ticks.first() - step; t <= m_upper + minor * 1e-6; t += minor) {
            if (t < m_lower - minor * 1e-6)
                continue;
            const double a = angleOf(t);
            p.drawLine(polar(rArc, a), polar(rArc - 5, a));
        }
    }
    for (double t : ticks) {
        const double a = angleOf(t);
        p.setPen(QPen(QColor(0x22, 0x2a, 0x36), 2.0));
        p.drawLine(polar(rArc, a), polar(rArc - 10, a));
        const QPointF c = polar(rArc - 22, a);
        p.drawText(QRectF(c.x() - 22, c.y() - 8, 44, 16), Qt::AlignCenter, tickLabel(t));
    }

    // Caption in the upper half, value in the lower.
    QFont captionFont = font();
    captionFont.setPixelSize(10);
    p.setFont(captionFont);
    p.setPen(QColor(0x3a, 0x46, 0x56));
    p.drawText(QRectF(30, 108, DIAL - 60, 15), Qt::AlignCenter, m_caption);
    QFont valueFont = font();
    valueFont.setPixelSize(17);
    valueFont.setBold(true);
    p.setFont(valueFont);
    QRectF valueBox(50, 138, DIAL - 100, 24);
    p.setPen(QPen(QColor(0xb8, 0xc4, 0xd0), 1));
    p.setBrush(QColor(0xfa, 0xfc, 0xfe));
    p.drawRoundedRect(valueBox, 4, 4);
    p.setPen(colourFromValue(m_valueColor));
    p.drawText(valueBox, Qt::AlignCenter, valueText());

    // Needle and its cap.
    const double a = angleOf(m_value);
    QPainterPath needle;
    const QPointF tip = polar(rArc - 4, a);
    const QPointF left = polar(5, a + 90);
    const QPointF right = polar(5, a - 90);
    const QPointF tail = polar(6, a + 180);
    needle.moveTo(tip);
    needle.lineTo(left);
    needle.lineTo(tail);
    needle.lineTo(right);
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.save();
    p.translate(1.5, 2);
    p.drawPath(needle);
    p.restore();
    p.setBrush(QColor(0xc8, 0x28, 0x1e));
    p.drawPath(needle);
    QRadialGradient cap(DIAL / 2 - 2, DIAL / 2 - 2, 9);
    cap.setColorAt(0, QColor(0x8a, 0x96, 0xa6));
    cap.setColorAt(1, QColor(0x2a, 0x32, 0x3e));
    p.setBrush(cap);
    p.drawEllipse(QPointF(DIAL / 2, DIAL / 2), 8, 8);
}

} // namespace vantoro
