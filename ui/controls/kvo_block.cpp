// The power-flow block controls and their pictures.
#include "ui/controls/kvo_block.h"

#include "ui/controls/colour_value.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace vantoro {

namespace {

const QString keyForeColor = QStringLiteral("ForeColor");
const QString keyEnabled = QStringLiteral("Enabled");
const QString keyFont = QStringLiteral("Font");
const QString keyBackStyle = QStringLiteral("BackStyle");
const QString keyBorderStyle = QStringLiteral("BorderStyle");
const QString keyBackColor = QStringLiteral("BackColor");
const QString keyInterval = QStringLiteral("Interval");
const QString keyError = QStringLiteral("Error");
const QString keyPicture = QStringLiteral("Picture");

constexpr double PI = 3.14159265358979323846;

void drawSine(QPainter &p, const QRectF &r)
{
    QPainterPath path;
    const int steps = 24;
    for (int i = 0; i <= steps; ++i) {
        const double x = r.left() + r.width() * i / steps;
        const double y = r.center().y() - std::sin(2 * PI * i / steps) * r.height() / 2;
        if (i == 0)
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    p.drawPath(path);
}

// Direct current: a solid line over a dashed one.
void drawDc(QPainter &p, const QRectF &r)
{
    p.drawLine(QPointF(r.left(), r.top()), QPointF(r.right(), r.top()));
    const double dash = r.width() / 5;
    for (int i = 0; i < 3; ++i) {
        const double x = r.left() + i * 2 * dash;
        p.drawLine(QPointF(x, r.bottom()), QPointF(x + dash, r.bottom()));
    }
}

} // namespace

QSize blockPictureSize(BlockKind kind)
{
    return kind == BlockKind::Battery ? QSize(65, 46) : QSize(66, 48);
}

void paintBlockPicture(QPainter &p, const QRectF &rect, BlockKind kind, bool alarm)
{
    const QSizeF design = blockPictureSize(kind);
    const double scale = qMin(rect.width() / design.width(), rect.height() / design.height());
    if (scale <= 0)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(rect.center().x() - design.width() * scale / 2, rect.center().y() - design.height() * scale / 2);
    p.scale(scale, scale);

    const QColor edge = alarm ? QColor(0xb0, 0x10, 0x10) : QColor(0x24, 0x4a, 0x7c);
    const QColor top = alarm ? QColor(0xff, 0xd0, 0xc8) : QColor(0xf4, 0xf8, 0xfd);
    const QColor bottom = alarm ? QColor(0xf0, 0x60, 0x50) : QColor(0xc4, 0xd6, 0xec);
    const QColor symbol = alarm ? QColor(0x70, 0x00, 0x00) : QColor(0x1c, 0x36, 0x5c);
    QLinearGradient fill(0, 0, 0, design.height());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);

    const QRectF box(1.5, 1.5, design.width() - 3, design.height() - 3);
    QPen pen(symbol, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (kind == BlockKind::Battery) {
        const QRectF body(2, 7, 56, 34);
        p.setPen(QPen(edge, 2.5));
        p.setBrush(fill);
        p.drawRoundedRect(body, 4, 4);
        p.setBrush(edge);
        p.drawRoundedRect(QRectF(58.5, 17, 5, 14), 1.5, 1.5);
        // Three charge cells, the alarm picture with one left.
        p.setPen(Qt::NoPen);
        const int cells = alarm ? 1 : 3;
        p.setBrush(alarm ? QColor(0xb0, 0x10, 0x10) : QColor(0x3c, 0xa0, 0x5a));
        for (int i = 0; i < cells; ++i)
            p.drawRoundedRect(QRectF(7 + i * 16.5, 12, 13, 24), 2, 2);
        p.setPen(QPen(symbol, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(47, 4), QPointF(53, 4));
        p.drawLine(QPointF(50, 1), QPointF(50, 7));
        p.drawLine(QPointF(8, 4), QPointF(14, 4));
    } else {
        p.setPen(QPen(edge, 2.5));
        p.setBrush(fill);
        p.drawRoundedRect(box, 5, 5);
        p.setPen(QPen(edge, 1.5));
        p.drawLine(QPointF(box.left() + 3, box.bottom() - 3), QPointF(box.right() - 3, box.top() + 3));
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QRectF upperLeft(8, 9, 22, 12);
        const QRectF lowerRight(36, 29, 22, 10);
        if (kind == BlockKind::Rectifier) {
            drawSine(p, upperLeft);
            drawDc(p, lowerRight);
        } else {
            drawDc(p, QRectF(8, 11, 22, 8));
            drawSine(p, QRectF(36, 27, 22, 12));
        }
    }
    if (alarm) {
        // A warning mark in the corner, readable even at small sizes.
        QPainterPath tri;
        tri.moveTo(design.width() - 12, 2);
        tri.lineTo(design.width() - 2, 19);
        tri.lineTo(design.width() - 22, 19);
        tri.closeSubpath();
        p.setPen(QPen(QColor(0x70, 0, 0), 1));
        p.setBrush(QColor(0xff, 0xd8, 0x20));
        p.drawPath(tri);
        p.setPen(QPen(QColor(0x30, 0, 0), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(design.width() - 12, 7.5), QPointF(design.width() - 12, 13));
        p.drawPoint(QPointF(design.width() - 12, 16.3));
    }
    p.restore();
}

KvoBlock::KvoBlock(BlockKind kind, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
{
    m_timer.setInterval(DEFAULT_INTERVAL_MS);
    connect(&m_timer, &QTimer::timeout, this, &KvoBlock::tick);
    resize(blockPictureSize(kind));
    QWidget::setEnabled(m_enabled);
}

KvoBlock::~KvoBlock()
{
    m_timer.stop();
}

void KvoBlock::showImage(int image)
{
    m_custom = QImage();
    if (image != m_shown) {
        m_shown = image;
        update();
    }
}

void KvoBlock::tick()
{
    if (m_error) {
        m_errorShown = true;
        showImage(m_blinkPhase ? 0 : 1);
        m_blinkPhase = !m_blinkPhase;
    } else if (m_errorShown) {
        showImage(0);
        m_errorShown = false;
    }
}

void KvoBlock::setError(bool error)
{
    m_error = error;
    if (m_error) {
        m_timer.start();
    } else {
        m_timer.stop();
        tick();
    }
    emit propertyChanged(keyError);
}

void KvoBlock::setInterval(int ms)
{
    m_timer.setInterval(qMax(1, ms));
    emit propertyChanged(keyInterval);
}

void KvoBlock::setForeColor(quint32 colour)
{
    m_foreColor = colour;
    update();
    emit propertyChanged(keyForeColor);
}

void KvoBlock::setEnabledProperty(bool enabled)
{
    m_enabled = enabled;
    QWidget::setEnabled(enabled);
    emit propertyChanged(keyEnabled);
}

void KvoBlock::setBlockFont(const QFont &f)
{
    setFont(f);
    emit propertyChanged(keyFont);
}

void KvoBlock::setBackStyle(int style)
{
    m_backStyle = style;
    update();
    emit propertyChanged(keyBackStyle);
}

void KvoBlock::setBorderStyle(int style)
{
    m_borderStyle = style;
    update();
    emit propertyChanged(keyBorderStyle);
}

void KvoBlock::setBackColor(quint32 colour)
{
    m_backColor = colour;
    update();
    emit propertyChanged(keyBackColor);
}

QImage KvoBlock::picture() const
{
    if (!m_custom.isNull())
        return m_custom;
    QImage image(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintBlockPicture(p, QRectF(image.rect()), m_kind, m_shown == 1);
    return image;
}

void KvoBlock::setPicture(const QImage &image)
{
    m_custom = image;
    update();
    emit propertyChanged(keyPicture);
}

void KvoBlock::readProperties(const PropertyBag &bag)
{
    m_foreColor = bag.read(keyForeColor, 0u).toUInt();
    m_enabled = bag.read(keyEnabled, false).toBool();
    QWidget::setEnabled(m_enabled);
    const QString fontText = bag.read(keyFont).toString();
    QFont f;
    if (!fontText.isEmpty() && f.fromString(fontText))
        setFont(f);
    m_backStyle = bag.read(keyBackStyle, 0).toInt();
    m_borderStyle = bag.read(keyBorderStyle, 0).toInt();
    m_backColor = bag.read(keyBackColor, 0u).toUInt();
    m_timer.setInterval(qMax(1, bag.read(keyInterval, DEFAULT_INTERVAL_MS).toInt()));
    const QByteArray png = bag.read(keyPicture).toByteArray();
    if (!png.isEmpty())
        m_custom = QImage::fromData(png, "PNG");
    setError(bag.read(keyError, false).toBool());
    update();
}

void KvoBlock::writeProperties(PropertyBag &bag) const
{
    bag.write(keyForeColor, m_foreColor, 0u);
    bag.write(keyEnabled, m_enabled, false);
    bag.write(keyFont, font().toString());
    bag.write(keyBackStyle, m_backStyle, 0);
    bag.write(keyBorderStyle, m_borderStyle, 0);
    bag.write(keyBackColor, m_backColor, 0u);
    bag.write(keyInterval, m_timer.interval(), DEFAULT_INTERVAL_MS);
    bag.write(keyError, m_error, false);
    if (!m_custom.isNull()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        m_custom.save(&buffer, "PNG");
        bag.write(keyPicture, png);
    }
}

void KvoBlock::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_backStyle == 1)
        p.fillRect(rect(), colourFromValue(m_backColor));
    if (!m_custom.isNull())
        p.drawImage(rect(), m_custom);
    else
        paintBlockPicture(p, QRectF(rect()), m_kind, m_shown == 1);
    if (m_borderStyle == 1) {
        p.setPen(colourFromValue(m_foreColor));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace vantoro
