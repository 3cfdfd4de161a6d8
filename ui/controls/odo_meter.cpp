// The counter display.
#include "ui/controls/odo_meter.h"

#include "core/display_rules.h"

#include <QPainter>

namespace vantoro {

namespace {

constexpr int FRAME = 2;

} // namespace

OdoMeter::OdoMeter(QWidget *parent)
    : QWidget(parent)
{
    resize(sizeHint());
}

void OdoMeter::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void OdoMeter::setWheels(int integerWheels, int decimalWheels)
{
    m_integerWheels = qMax(1, integerWheels);
    m_decimalWheels = qMax(0, decimalWheels);
    resize(sizeHint());
    update();
}

void OdoMeter::setDigitSize(int digitWidth, int digitHeight)
{
    m_digitWidth = qMax(1, digitWidth);
    m_digitHeight = qMax(1, digitHeight);
    resize(sizeHint());
    update();
}

QSize OdoMeter::sizeHint() const
{
    return {wheelCount() * m_digitWidth + 2 * FRAME, m_digitHeight + 2 * FRAME};
}

void OdoMeter::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), QColor(0x50, 0x58, 0x62));

    const OdometerReading reading = odometerReading(m_value, wheelCount(), m_decimalWheels);
    QFont f = font();
    f.setPixelSize(qMax(4, int(m_digitHeight * 0.72)));
    f.setBold(true);
    p.setFont(f);
    const double h = m_digitHeight;
    for (int i = 0; i < wheelCount(); ++i) {
        const QRectF window(FRAME + i * m_digitWidth, FRAME, m_digitWidth, h);
        const bool decimal = i >= m_integerWheels;
        QLinearGradient drum(0, window.top(), 0, window.bottom());
        const QColor base = decimal ? QColor(0xb0, 0x18, 0x18) : QColor(0x16, 0x18, 0x1c);
        drum.setColorAt(0, base.darker(180));
        drum.setColorAt(0.5, base.lighter(decimal ? 115 : 170));
        drum.setColorAt(1, base.darker(180));
        p.fillRect(window.adjusted(0.5, 0, -0.5, 0), drum);

        // The lowest wheel turns continuously; a wheel above it turns while
        // every wheel below shows 9 and is turning.
        double roll = reading.roll;
        for (int j = i + 1; j < wheelCount() && roll > 0; ++j)
            roll = reading.digits.at(j) == 9 ? roll : 0;
        const int digit = reading.digits.at(i);
        p.save();
        p.setClipRect(window);
        p.setPen(QColor(0xf4, 0xf4, 0xf0));
        const double shift = roll * h;
        p.drawText(window.translated(0, -shift), Qt::AlignCenter, QString::number(digit));
        if (roll > 0)
            p.drawText(window.translated(0, h - shift), Qt::AlignCenter, QString::number((digit + 1) % 10));
        p.restore();
        p.setPen(QPen(QColor(0, 0, 0, 120), 1));
        p.drawLine(QPointF(window.left(), window.top()), QPointF(window.left(), window.bottom()));
    }
    p.setPen(QPen(QColor(0x24, 0x28, 0x2e), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75));
}

} // namespace vantoro
