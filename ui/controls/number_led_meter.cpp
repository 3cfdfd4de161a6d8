// The numeric LED display.
#include "ui/controls/number_led_meter.h"

#include "core/number_format.h"
#include "ui/twips.h"

#include <QPainter>
#include <QPainterPath>

namespace vantoro {

namespace {

constexpr double CM_PER_INCH = 2.54;

// Segments a..g of each digit, as bits 0..6.
constexpr quint8 digitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr quint8 minusSegments = 0x40;

// One segment as a hexagon from `a` to `b` (horizontal or vertical) of
// thickness `t`.
QPainterPath segmentPath(QPointF a, QPointF b, double t)
{
    QPainterPath path;
    const double h = t / 2;
    if (a.y() == b.y()) {
        path.moveTo(a.x(), a.y());
        path.lineTo(a.x() + h, a.y() - h);
        path.lineTo(b.x() - h, b.y() - h);
        path.lineTo(b.x(), b.y());
        path.lineTo(b.x() - h, b.y() + h);
        path.lineTo(a.x() + h, a.y() + h);
    } else {
        path.moveTo(a.x(), a.y());
        path.lineTo(a.x() + h, a.y() + h);
        path.lineTo(b.x() + h, b.y() - h);
        path.lineTo(b.x(), b.y());
        path.lineTo(b.x() - h, b.y() - h);
        path.lineTo(a.x() - h, a.y() + h);
    }
    path.closeSubpath();
    return path;
}

void drawDigit(QPainter &p, const QRectF &cell, quint8 lit, double t, const QColor &on, const QColor &off)
{
    const double g = t * 0.18; // the small gap between segments
    const double l = cell.left() + t / 2, r = cell.right() - t / 2;
    const double top = cell.top() + t / 2, mid = cell.center().y(), bottom = cell.bottom() - t / 2;
    const QPainterPath segs[7] = {
        segmentPath({l + g, top}, {r - g, top}, t),       segmentPath({r, top + g}, {r, mid - g}, t),
        segmentPath({r, mid + g}, {r, bottom - g}, t),    segmentPath({l + g, bottom}, {r - g, bottom}, t),
        segmentPath({l, mid + g}, {l, bottom - g}, t),    segmentPath({l, top + g}, {l, mid - g}, t),
        segmentPath({l + g, mid}, {r - g, mid}, t),
    };
    for (int i = 0; i < 7; ++i)
        p.fillPath(segs[i], (lit >> i) & 1 ? on : off);
}

} // namespace

NumberLedMeter::NumberLedMeter(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(10, 6);
}

void NumberLedMeter::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void NumberLedMeter::setFormat(const QString &pattern)
{
    const QString p = pattern.isEmpty() ? QStringLiteral("0.0") : pattern;
    if (p == m_format)
        return;
    m_format = p;
    update();
}

void NumberLedMeter::setDigitCount(int digits)
{
    if (digits < 1 || digits == m_digits)
        return;
    m_digits = digits;
    update();
}

void NumberLedMeter::setDigitSizes(int digitHeight, int digitWidth, double segmentWidthCm, double digitSpacingCm)
{
    m_digitHeight = qMax(1, digitHeight);
    m_digitWidth = qMax(1, digitWidth);
    m_segmentWidth = qMax(0.001, segmentWidthCm);
    m_digitSpacing = qMax(0.0, digitSpacingCm);
    update();
}

QString NumberLedMeter::displayText() const
{
    // The LED has no thousands marks: a pattern's grouping is left out.
    QString text = formatNumber(m_value, m_format);
    text.remove(QLatin1Char(','));
    int digits = 0;
    for (QChar c : text)
        digits += c == QLatin1Char('.') ? 0 : 1;
    if (digits > m_digits)
        return QString(m_digits, QLatin1Char('-'));
    return text;
}

void NumberLedMeter::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(0x1a, 0x1f, 0x24));
    bg.setColorAt(1, QColor(0x0a, 0x0c, 0x0f));
    p.setPen(QPen(QColor(0x55, 0x5f, 0x6a), 1));
    p.setBrush(bg);
    p.drawRoundedRect(panel, qMin(6.0, height() / 6.0), qMin(6.0, height() / 6.0));

    const double pxPerCm = logicalDpiOf(this) / CM_PER_INCH;
    const double spacing = m_digitSpacing * pxPerCm;
    const double cellW = m_digitWidth + spacing;
    const double margin = qMax(2.0, height() * 0.14);
    const double availW = width() - 2 * margin;
    const double availH = height() - 2 * margin;
    if (availW <= 0 || availH <= 0)
        return;
    const double scale = qMin(availW / (m_digits * cellW), availH / m_digitHeight);
    const double dh = m_digitHeight * scale;
    // A panel stretched much wider than tall would flatten the digits:
    // they keep a digit's shape and the spare width stays empty.
    const double dw = qMin(m_digitWidth * scale, dh * 0.7);
    const double gap = qMin(spacing * scale, dw * 0.6);
    const double thickness = qBound(1.0, m_segmentWidth * pxPerCm * scale, qMin(dw * 0.28, dh * 0.14));
    const QColor on(0x3c, 0xff, 0x6e);
    const QColor off(0x3c, 0xff, 0x6e, 22);

    // Cells right-aligned; a point belongs to the digit left of it.
    const QString text = displayText();
    QList<quint8> cells;
    QList<bool> points;
    for (QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (!points.isEmpty())
                points.last() = true;
            continue;
        }
        cells << (c.isDigit() ? digitSegments[c.digitValue()] : c == QLatin1Char('-') ? minusSegments : quint8(0));
        points << false;
    }
    while (cells.size() < m_digits) {
        cells.prepend(0);
        points.prepend(false);
    }
    const double totalW = m_digits * (dw + gap);
    double x = width() - margin - totalW + gap / 2;
    const double y = (height() - dh) / 2;
    for (int i = 0; i < cells.size(); ++i) {
        const QRectF cell(x, y, dw, dh);
        // A slight slant, as LED digits have.
        p.save();
        p.translate(cell.center());
        p.shear(-0.08, 0);
        p.translate(-cell.center());
        drawDigit(p, cell, cells.at(i), thickness, on, off);
        p.restore();
        const double dot = thickness * 1.1;
        p.setPen(Qt::NoPen);
        p.setBrush(points.at(i) ? on : off);
        p.drawEllipse(QRectF(cell.right() + (gap - dot) / 2, cell.bottom() - dot, dot, dot));
        x += dw + gap;
    }
}

} // namespace vantoro
