// The yield tab: daily yield of a month or monthly totals of a year as bars,
// with the sum, CSV export, print and PDF.
#pragma once

#include "history/history_query.h"

#include <QWidget>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vantoro {

class YieldView : public QWidget
{
public:
    explicit YieldView(QWidget *parent = nullptr);

    void setMonth(int year, int month);
    // The device whose yield is shown, or HISTORY_PLANT for the plant's.
    void setDevice(const QString &deviceId);
    QString deviceId() const { return m_deviceId; }
    void showYear(bool year);
    // Reads the table and redraws; false after a message.
    bool reload();
    void exportCsv(const QString &path);
    double total() const { return m_sum; }
    int barCount() const { return m_bars; }
    QChartView *chartView() const { return m_view; }
    QString title() const;
    void retranslate();

private:
    QList<DayYield> daysForExport(QString *error) const;

    QRadioButton *m_byMonth = nullptr;
    QRadioButton *m_byYear = nullptr;
    QSpinBox *m_year = nullptr;
    QComboBox *m_month = nullptr;
    QChartView *m_view = nullptr;
    QLabel *m_total = nullptr;
    QPushButton *m_export = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_pdf = nullptr;
    QString m_deviceId = QString::fromLatin1(HISTORY_FIRST_DEVICE);
    double m_sum = 0;
    int m_bars = 0;
};

} // namespace vantoro
