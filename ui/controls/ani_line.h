// The animated flow line: a row (or column) of segments with every third one
// missing, the gap moving one segment per tick; inactive it is a solid bar.
#pragma once

#include "core/property_bag.h"

#include <QTimer>
#include <QWidget>
#include <vector>

namespace vantoro {

class AniLine : public QWidget
{
    Q_OBJECT
public:
    static constexpr int TICK_MS = 333;
    static constexpr double SEGMENT_TWIPS = 75;
    static constexpr quint32 DEFAULT_BACK_COLOR = 0xC0C000; // RGB(0,192,192)

    explicit AniLine(QWidget *parent = nullptr);
    ~AniLine() override;

    quint32 lColor() const { return m_lColor; }
    void setLColor(quint32 colour);
    bool bActive() const { return m_active; }
    void setBActive(bool active);
    bool direction() const { return m_direction; }
    void setDirection(bool backward);
    bool bVertical() const { return m_vertical; }
    void setBVertical(bool vertical);
    int borderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 colour);

    // Pace of the animation for a line that shows a flow's strength: 0
    // stands still, 1 is the fastest and 100 the slowest step. Lines that
    // never get a speed step every TICK_MS.
    int speed() const { return m_speed; }
    void setSpeed(int speed);
    int tickInterval() const { return m_timer.interval(); }
    bool isAnimating() const { return m_timer.isActive(); }

    int segmentCount() const;
    bool segmentShown(int index) const;
    int phase() const { return m_phase; }
    // One step of the animation, as the timer runs it.
    void tick();

    void readProperties(const PropertyBag &bag);
    void writeProperties(PropertyBag &bag) const;

signals:
    // A property changed, by its saved name.
    void propertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void initSegments();
    // Segments follow the size even while hidden, when no resize event
    // has come yet.
    void layoutSegments() const;
    double segmentPixels() const;
    void updateTimer();

    QTimer m_timer;
    mutable std::vector<bool> m_shown;
    quint32 m_lColor = 0;
    quint32 m_backColor = DEFAULT_BACK_COLOR;
    int m_borderStyle = 0;
    int m_phase = 0;
    int m_speed = -1;
    bool m_active = false;
    bool m_direction = false;
    bool m_vertical = false;
};

} // namespace vantoro
