// The analogue meter: a round dial with ticks and numbers between a lower
// and an upper bound, a range band, a needle and the value as text in the
// value colour.
#pragma once

#include <QWidget>

namespace vantoro {

class MeterGauge : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString CaptionText READ caption WRITE setCaption)
public:
    explicit MeterGauge(QWidget *parent = nullptr);

    double lowerBound() const { return m_lower; }
    double upperBound() const { return m_upper; }
    void setScale(double lower, double upper);
    void setUpperBound(double upper) { setScale(m_lower, upper); }
    double rangeMin() const { return m_rangeMin; }
    double rangeMax() const { return m_rangeMax; }
    void setRange(double minimum, double maximum);
    double value() const { return m_value; }
    void setValue(double value);
    quint32 valueColor() const { return m_valueColor; }
    void setValueColor(quint32 colour);
    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString unit() const { return m_unit; }
    void setUnit(const QString &unit);
    // Number pattern of the value text; "0.0" unless set.
    void setValueFormat(const QString &pattern);
    QString valueText() const;

    // Repaints since creation; a refresh that changes nothing adds none.
    int paintCount() const { return m_paints; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_lower = 0;
    double m_upper = 100;
    double m_rangeMin = 0;
    double m_rangeMax = 100;
    double m_value = 0;
    quint32 m_valueColor = 0;
    QString m_caption;
    QString m_unit;
    QString m_format = QStringLiteral("0.0");
    int m_paints = 0;
};

} // namespace vantoro
