// The counter display: number wheels side by side, the tenths wheel in red,
// the lowest wheel turning on towards its next digit as the value grows.
#pragma once

#include <QWidget>

namespace vantoro {

class OdoMeter : public QWidget
{
    Q_OBJECT
public:
    explicit OdoMeter(QWidget *parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);
    // Whole-number wheels and decimal wheels (6 and 1 unless set).
    void setWheels(int integerWheels, int decimalWheels);
    int wheelCount() const { return m_integerWheels + m_decimalWheels; }
    // The size of one wheel's window; the control takes the width of all
    // wheels and the height of one, plus its frame.
    void setDigitSize(int digitWidth, int digitHeight);
    int digitWidth() const { return m_digitWidth; }
    int digitHeight() const { return m_digitHeight; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_value = 0;
    int m_integerWheels = 6;
    int m_decimalWheels = 1;
    int m_digitWidth = 14;
    int m_digitHeight = 22;
};

} // namespace vantoro
