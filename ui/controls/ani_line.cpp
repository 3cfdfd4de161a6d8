// The animated flow line.
#include "ui/controls/ani_line.h"

#include "core/display_rules.h"
#include "ui/controls/colour_value.h"
#include "ui/twips.h"

#include <QPainter>
#include <QResizeEvent>

namespace vantoro {

namespace {

const QString keyActive = QStringLiteral("bActive");
const QString keyDirection = QStringLiteral("Direction");
const QString keyVertical = QStringLiteral("bVertical");
const QString keyBorderStyle = QStringLiteral("BorderStyle");
const QString keyBackColor = QStringLiteral("BackColor");
constexpr int BORDER_STYLE_DEFAULT = 1;

} // namespace

AniLine::AniLine(QWidget *parent)
    : QWidget(parent)
{
    m_timer.setInterval(TICK_MS);
    connect(&m_timer, &QTimer::timeout, this, &AniLine::tick);
    initSegments();
    layoutSegments();
}

AniLine::~AniLine()
{
    m_timer.stop();
}

void AniLine::initSegments()
{
    m_shown.assign(1, false);
    m_phase = 0;
}

double AniLine::segmentPixels() const
{
    return qMax(1, twipsToPx(SEGMENT_TWIPS, this));
}

void AniLine::layoutSegments() const
{
    const double length = m_vertical ? height() : width();
    const int count = aniLineSegmentCount(length, segmentPixels());
    // New segments join the pattern at once, so a line that grows shows no
    // solid stretch until the next tick.
    while (int(m_shown.size()) < count)
        m_shown.push_back(m_active && aniLineSegmentShown(int(m_shown.size()), m_phase));
    m_shown.resize(size_t(count));
}

int AniLine::segmentCount() const
{
    layoutSegments();
    return int(m_shown.size());
}

bool AniLine::segmentShown(int index) const
{
    return index >= 0 && index < segmentCount() && m_shown[size_t(index)];
}

void AniLine::tick()
{
    m_phase = aniLineNextPhase(m_phase, m_direction);
    for (int i = 0; i < segmentCount(); ++i)
        m_shown[size_t(i)] = aniLineSegmentShown(i, m_phase);
    update();
}

void AniLine::updateTimer()
{
    if (!m_active) {
        m_timer.stop();
        return;
    }
    const int interval = m_speed < 0 ? TICK_MS : aniLineIntervalForSpeed(m_speed);
    if (interval <= 0) {
        m_timer.stop();
        return;
    }
    m_timer.setInterval(interval);
    if (!m_timer.isActive())
        m_timer.start();
}

void AniLine::setLColor(quint32 colour)
{
    if (colour == m_lColor)
        return;
    m_lColor = colour;
    update();
}

void AniLine::setBActive(bool active)
{
    m_active = active;
    if (m_active) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        layoutSegments();
        for (size_t i = 0; i < m_shown.size(); ++i)
            m_shown[i] = aniLineSegmentShown(int(i), m_phase);
    } else {
        std::fill(m_shown.begin(), m_shown.end(), false);
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    }
    updateTimer();
    update();
    emit propertyChanged(keyActive);
}

void AniLine::setDirection(bool backward)
{
    m_direction = backward;
    emit propertyChanged(keyDirection);
}

void AniLine::setBVertical(bool vertical)
{
    m_vertical = vertical;
    initSegments();
    layoutSegments();
    update();
    emit propertyChanged(keyVertical);
}

void AniLine::setBorderStyle(int style)
{
    m_borderStyle = style;
    update();
    emit propertyChanged(keyBorderStyle);
}

void AniLine::setBackColor(quint32 colour)
{
    m_backColor = colour;
    update();
    emit propertyChanged(keyBackColor);
}

void AniLine::setSpeed(int speed)
{
    if (speed == m_speed)
        return;
    m_speed = speed;
    updateTimer();
}

void AniLine::readProperties(const PropertyBag &bag)
{
    m_direction = bag.read(keyDirection, false).toBool();
    setBActive(bag.read(keyActive, false).toBool());
    m_vertical = bag.read(keyVertical, false).toBool();
    m_borderStyle = bag.read(keyBorderStyle, BORDER_STYLE_DEFAULT).toInt();
    m_backColor = bag.read(keyBackColor, DEFAULT_BACK_COLOR).toUInt();
    initSegments();
    layoutSegments();
    if (!m_active)
        std::fill(m_shown.begin(), m_shown.end(), false);
    update();
}

void AniLine::writeProperties(PropertyBag &bag) const
{
    bag.write(keyActive, m_active, false);
    bag.write(keyDirection, m_direction, false);
    bag.write(keyVertical, m_vertical, false);
    bag.write(keyBorderStyle, m_borderStyle, BORDER_STYLE_DEFAULT);
    bag.write(keyBackColor, m_backColor, DEFAULT_BACK_COLOR);
}

void AniLine::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!m_active)
        p.fillRect(rect(), colourFromValue(m_backColor));
    layoutSegments();
    const double seg = segmentPixels();
    const QColor colour = colourFromValue(m_lColor);
    for (int i = 0; i < segmentCount(); ++i) {
        if (!m_shown[size_t(i)])
            continue;
        const QRectF r = m_vertical ? QRectF(0, i * seg, width(), seg) : QRectF(i * seg, 0, seg, height());
        p.fillRect(r, colour);
    }
    if (m_borderStyle == 1) {
        p.setPen(QColor(64, 64, 64));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void AniLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutSegments();
}

void AniLine::mouseDoubleClickEvent(QMouseEvent *event)
{
    QWidget::mouseDoubleClickEvent(event);
    setBActive(!m_active);
}

} // namespace vantoro
