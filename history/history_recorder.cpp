#include "history/history_recorder.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "history/history_pruner.h"
#include "history/history_settings.h"

#include <QSqlDatabase>

namespace vantoro {

namespace {

QString historyText(const char *key, const char *fallback)
{
    return langText(QStringLiteral("History"), QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(fallback));
}

QList<HistoryColumn> columnsOf(const CycleReport &report)
{
    QList<HistoryColumn> columns;
    for (const ParameterReading &p : report.parameters) {
        if (p.numeric && p.id >= 0 && p.id < HISTORY_SLOTS)
            columns << HistoryColumn{p.id, p.code, p.name, p.unit};
    }
    return columns;
}

HistorySample sampleOf(const CycleReport &report)
{
    HistorySample sample{report.time, {}};
    for (const ParameterReading &p : report.parameters) {
        if (p.numeric && p.id >= 0 && p.id < HISTORY_SLOTS)
            sample.values.append({p.id, p.value});
    }
    return sample;
}

// Fault events are the unforced device messages; link and start-up events
// are forced or start with '*'.
bool isFaultEvent(const StoredEvent &event)
{
    return !event.forced && !event.text.startsWith(QLatin1Char('*'));
}

} // namespace

HistoryRecorder::HistoryRecorder(QObject *parent)
    : QObject(parent)
    , m_pruner(new HistoryPruner(this))
{
    setClock({});
}

HistoryRecorder::~HistoryRecorder()
{
    stop();
}

void HistoryRecorder::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
    m_pruner->setClock(m_clock);
}

void HistoryRecorder::readSettings()
{
    m_period = effectiveSamplePeriod(sysSettings.HisDataSamplePeriod);
    m_keepHours = effectiveKeepHours(sysSettings.hisdatakeephours);
    m_pruner->setKeepHours(m_keepHours);
}

void HistoryRecorder::start()
{
    if (!m_connections.isEmpty())
        return;
    readSettings();
    StationBus &bus = stationBus();
    m_connections << connect(&bus, &StationBus::cycleFinished, this, &HistoryRecorder::recordCycle);
    m_connections << connect(&bus, &StationBus::eventStored, this, &HistoryRecorder::recordEvent);
    m_connections << connect(&bus, &StationBus::settingsSaved, this, &HistoryRecorder::readSettings);
    m_pruner->start();
}

void HistoryRecorder::stop()
{
    if (m_connections.isEmpty())
        return;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_pruner->stop();
    flush();
}

QList<DayYield> HistoryRecorder::currentDays() const
{
    QList<DayYield> days = m_pendingDays;
    for (const DayYield &d : m_days) {
        if (d.day.isValid())
            days << d;
    }
    return days;
}

const DayYield &HistoryRecorder::currentDay(const QString &deviceId) const
{
    static const DayYield none;
    const auto it = m_days.constFind(deviceId);
    return it == m_days.constEnd() ? none : *it;
}

DayYield &HistoryRecorder::dayFor(const QDate &date, const QString &deviceId)
{
    const QString device = deviceId.isEmpty() ? QString::fromLatin1(HISTORY_FIRST_DEVICE) : deviceId;
    DayYield &current = m_days[device];
    if (current.day == date)
        return current;
    if (current.day.isValid())
        m_pendingDays << current;
    // A restart or a clock set back continues the stored row of that day.
    DayYield loaded;
    loaded.deviceId = device;
    loaded.day = date;
    bool found = false;
    for (int i = 0; i < m_pendingDays.size(); ++i) {
        if (m_pendingDays[i].day == date && m_pendingDays[i].deviceId == device) {
            loaded = m_pendingDays.takeAt(i);
            found = true;
            break;
        }
    }
    if (!found) {
        DbConnection connection;
        if (connection.isOpen()) {
            QSqlDatabase db = connection.database();
            loaded = loadDayYield(db, device, date);
        }
    }
    current = loaded;
    return current;
}

bool HistoryRecorder::sampleDue(DeviceTrack &track, const QDateTime &time)
{
    // Samples fall on whole periods of the clock. A clock set back makes an
    // earlier period due again: the write looks for a sample stored in it.
    const qint64 bucket = time.toSecsSinceEpoch() / m_period;
    if (bucket == track.lastBucket)
        return false;
    track.lastBucket = bucket;
    return true;
}

// The days left behind, and the current day of `only` or of every device.
bool HistoryRecorder::saveDays(QSqlDatabase &db, const DayYield *only, QString &error)
{
    for (const DayYield &d : std::as_const(m_pendingDays)) {
        if (!saveDayYield(db, d, error))
            return false;
    }
    if (only)
        return saveDayYield(db, *only, error);
    for (const DayYield &d : std::as_const(m_days)) {
        if (d.day.isValid() && !saveDayYield(db, d, error))
            return false;
    }
    return true;
}

void HistoryRecorder::recordCycle(const CycleReport &report)
{
    if (!report.time.isValid())
        return;
    const QString device = report.deviceId.isEmpty() ? QString::fromLatin1(HISTORY_FIRST_DEVICE) : report.deviceId;
    DayYield &day = dayFor(report.time.date(), device);
    DeviceTrack &track = m_tracks[device];
    // A step between two cycles counts for a state both ends agree on; time
    // asleep or lost only while polling.
    const qint64 step = track.lastCycle.isValid() ? track.lastCycle.secsTo(report.time) : 0;
    if (step > 0 && step <= YIELD_LINK_STEP_MAX_S && report.linkUp && track.lastLinkUp)
        day.linkSeconds += step;
    if (step > 0 && step <= YIELD_LINK_STEP_MAX_S && report.polling && track.lastPolling) {
        if (report.asleep && track.lastAsleep)
            day.asleepSeconds += step;
        else if (!report.linkUp && !track.lastLinkUp && !report.asleep && !track.lastAsleep)
            day.lostSeconds += step;
    }
    track.lastCycle = report.time;
    track.lastLinkUp = report.linkUp;
    track.lastAsleep = report.asleep;
    track.lastPolling = report.polling;
    // A gap is a gap: nothing is stored without a fresh reply.
    if (!report.polling || !report.linkUp || !report.replied || report.parameters.isEmpty())
        return;
    addReading(day, yieldReading(report), ratingWatts(report.rating), m_period);
    if (!sampleDue(track, report.time))
        return;
    HistorySample sample = sampleOf(report);
    sample.deviceId = device;
    const QList<HistoryColumn> columns = columnsOf(report);
    QList<HistoryColumn> changed;
    for (const HistoryColumn &c : columns) {
        if (!m_storedColumns.contains(c))
            changed << c;
    }
    const qint64 periodStart = report.time.toSecsSinceEpoch() / m_period * m_period;
    bool stored = false;
    QString error;
    const bool ok = historyWrite(
        [&](QSqlDatabase &db, QString &e) {
            const std::optional<bool> taken = sampleStoredIn(db, device, periodStart, periodStart + m_period, e);
            if (!taken)
                return false;
            stored = !*taken;
            if ((stored && !insertSample(db, sample, e)) || !storeColumns(db, changed, e))
                return false;
            return saveDays(db, &day, e);
        },
        &error);
    if (ok) {
        m_written += stored ? 1 : 0;
        m_pendingDays.clear();
        for (const HistoryColumn &c : std::as_const(changed)) {
            m_storedColumns.removeIf([&](const HistoryColumn &old) { return old.slot == c.slot; });
            m_storedColumns << c;
        }
    }
    reportWrite(ok, error);
}

void HistoryRecorder::recordEvent(const StoredEvent &event)
{
    if (!isFaultEvent(event) || !event.time.isValid())
        return;
    ++dayFor(event.time.date(), event.deviceId).faults;
}

bool HistoryRecorder::flush()
{
    if (m_days.isEmpty() && m_pendingDays.isEmpty())
        return true;
    QString error;
    const bool ok = historyWrite([&](QSqlDatabase &db, QString &e) { return saveDays(db, nullptr, e); }, &error);
    if (ok)
        m_pendingDays.clear();
    reportWrite(ok, error);
    return ok;
}

void HistoryRecorder::reportWrite(bool ok, const QString &error)
{
    if (ok == !m_failing)
        return;
    m_failing = !ok;
    // One message when recording stops and one when it resumes; polling
    // goes on either way.
    logStatus(ok ? historyText("msgRecordResumed", "History recording resumed.")
                 : historyText("msgRecordFailed", "History recording paused, the database cannot be written: ")
                       + error);
}

} // namespace vantoro
