// Records the station's history: per device, one sample of every numeric
// parameter each sample period while polling is on and the device replies,
// and the device's daily yield, kept up to date at every sample. Fed only by
// the station bus, one report per device and cycle.
#pragma once

#include "core/station_bus.h"
#include "history/daily_yield.h"
#include "history/history_store.h"

#include <QHash>
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
    // The day being recorded for a device (an empty one before its first).
    const DayYield &currentDay(const QString &deviceId = QString::fromLatin1(HISTORY_FIRST_DEVICE)) const;
    // The days of every device as recorded so far, written or not: the
    // current ones and those left behind but not written yet.
    QList<DayYield> currentDays() const;
    HistoryPruner *pruner() const { return m_pruner; }

private:
    // What the recorder keeps of each device between its cycles.
    struct DeviceTrack
    {
        qint64 lastBucket = -1;
        QDateTime lastCycle;
        bool lastLinkUp = false;
        bool lastAsleep = false;
        bool lastPolling = false;
    };

    DayYield &dayFor(const QDate &date, const QString &deviceId);
    bool sampleDue(DeviceTrack &track, const QDateTime &time);
    bool saveDays(QSqlDatabase &db, const DayYield *only, QString &error);
    bool write(const HistorySample *sample);
    void reportWrite(bool ok, const QString &error);

    Clock m_clock;
    HistoryPruner *m_pruner = nullptr;
    QList<QMetaObject::Connection> m_connections;
    int m_period = 60;
    int m_keepHours = 720;
    QHash<QString, DeviceTrack> m_tracks;
    // The current day of each device; days it left that are not written yet.
    QHash<QString, DayYield> m_days;
    QList<DayYield> m_pendingDays;
    QList<HistoryColumn> m_storedColumns;
    bool m_failing = false;
    qint64 m_written = 0;
};

} // namespace vantoro
