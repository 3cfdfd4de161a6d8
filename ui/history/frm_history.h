// The history window: recorded values of a day, week or month as curves,
// and the yield tab. Reads through the history queries only.
#pragma once

#include <QDateTime>
#include <QWidget>

class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace vantoro {

class HistoryChartView;
class YieldView;

enum class HistorySpan { Day, Week, Month };

// The range a span starting on `day` covers: the day, the week from its
// Monday, or the calendar month.
std::pair<QDateTime, QDateTime> historySpanRange(const QDate &day, HistorySpan span);

class frmHistory : public QWidget
{
    Q_OBJECT

public:
    explicit frmHistory(QWidget *owner = nullptr);

    // Opens the one window owned by `owner`, or brings the open one forward.
    static frmHistory *showHistory(QWidget *owner);

    void setDay(const QDate &day, HistorySpan span = HistorySpan::Day);
    // Shows a device's history ("001".."032") or the plant's sums
    // (HISTORY_PLANT); an id not in the list is ignored.
    void setDevice(const QString &deviceId);
    QString deviceId() const;
    // Re-reads the devices to choose from.
    void fillDeviceList();
    // Picks the parameters to plot by code; unknown codes are ignored.
    void setCodes(const QStringList &codes);
    QStringList checkedCodes() const;
    // Queries the chosen range and redraws.
    void reload();
    void exportCsv(const QString &path);

    HistoryChartView *chartView() const { return m_chart; }
    YieldView *yieldView() const { return m_yield; }
    QTabWidget *tabs() const { return m_tabs; }
    QString curveTitle() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void fillParameterList();
    void step(int direction);
    HistorySpan span() const;

    QTabWidget *m_tabs = nullptr;
    QDateEdit *m_day = nullptr;
    QComboBox *m_span = nullptr;
    QComboBox *m_device = nullptr;
    QPushButton *m_prev = nullptr;
    QPushButton *m_next = nullptr;
    QListWidget *m_params = nullptr;
    HistoryChartView *m_chart = nullptr;
    QLabel *m_readout = nullptr;
    QLabel *m_info = nullptr;
    YieldView *m_yield = nullptr;
    bool m_loadedOnce = false;
};

} // namespace vantoro
