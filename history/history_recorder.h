// Records the station's history: one sample of every numeric parameter each
// sample period while polling is on and the device replies, and the daily
// yield, kept up to date at every sample. Fed only by the station bus.
#pragma once

#include "core/station_bus.h"
#include "history/daily_yield.h"
#include "history/history_store.h"

#include <QObject>
#include <functional>

namespace vantoro {

class HistoryPruner;

class HistoryRecorder : public QObject
{
public:
    using Clock = std::function<QDateTime()>;

    explicit HistoryRecorder(QObject *parent = nullptr);
    ~HistoryRecorder() override;

    // Subscribes to the bus, reads the settings and starts pruning.
    void start();
    // Writes the day's yield once more and unsubscribes.
    void stop();

    // The clock of pruning (tests move it on); the system clock by default.
    void setClock(Clock clock);
    // Re-reads the sample period and retention from the system settings.
    void readSettings();

    void recordCycle(const CycleReport &report);
    void recordEvent(const StoredEvent &event);
    // Writes the pending yield rows now (also done at each sample).
    bool flush();

    int samplePeriod() const { return m_period; }
    int keepHours() const { return m_keepHours; }
    // True while writes fail; a status message was shown once.
    bool failing() const { return m_failing; }
    qint64 samplesWritten() const { return m_written; }
    const DayYield &currentDay() const { return m_day; }
    HistoryPruner *pruner() const { return m_pruner; }

private:
    DayYield &dayFor(const QDate &date, const QString &deviceId);
    bool sampleDue(const QDateTime &time);
    bool write(const HistorySample *sample);
    void reportWrite(bool ok, const QString &error);

    Clock m_clock;
    HistoryPruner *m_pruner = nullptr;
    QList<QMetaObject::Connection> m_connections;
    int m_period = 60;
    int m_keepHours = 720;
    qint64 m_lastBucket = -1;
    QDateTime m_lastCycle;
    bool m_lastLinkUp = false;
    DayYield m_day;
    QList<DayYield> m_pendingDays;
    QList<HistoryColumn> m_storedColumns;
    bool m_failing = false;
    qint64 m_written = 0;
};

} // namespace vantoro
