// The temperature slider display: a scale from minimum to maximum with a
// coloured fill up to the value; vertical it is drawn as a thermometer.
#pragma once

#include <QWidget>

namespace vantoro {

class SliderTemp : public QWidget
{
    Q_OBJECT
public:
    explicit SliderTemp(Qt::Orientation orientation, QWidget *parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);
    double minimum() const { return m_min; }
    double maximum() const { return m_max; }
    void setRange(double minimum, double maximum);
    Qt::Orientation orientation() const { return m_orientation; }
    // How far the fill reaches, 0..1.
    double fillFraction() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintVertical(QPainter &p);
    void paintHorizontal(QPainter &p);
    QColor fillColour() const;

    Qt::Orientation m_orientation;
    double m_value = 0;
    double m_min = -20;
    double m_max = 100;
};

} // namespace vantoro
