// The numeric LED display: seven-segment digits on a dark panel.
#pragma once

#include <QWidget>

namespace vantoro {

class NumberLedMeter : public QWidget
{
    Q_OBJECT
public:
    explicit NumberLedMeter(QWidget *parent = nullptr);

    double value() const { return m_value; }
    void setValue(double value);
    // Number pattern of the shown value ("0.0" unless set).
    void setFormat(const QString &pattern);
    int digitCount() const { return m_digits; }
    void setDigitCount(int digits);
    // The four size properties. Their proportions shape the digits; the
    // digits are scaled as a whole to fit the panel.
    void setDigitSizes(int digitHeight, int digitWidth, double segmentWidthCm, double digitSpacingCm);
    int digitHeight() const { return m_digitHeight; }
    int digitWidth() const { return m_digitWidth; }
    double segmentWidth() const { return m_segmentWidth; }
    double digitSpacing() const { return m_digitSpacing; }

    // The characters shown, right-aligned in digitCount() cells; a value
    // too wide for them shows as dashes.
    QString displayText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_value = 0;
    QString m_format = QStringLiteral("0.0");
    int m_digits = 7;
    int m_digitHeight = 10;
    int m_digitWidth = 7;
    double m_segmentWidth = 0.05;
    double m_digitSpacing = 0.09;
};

} // namespace vantoro
