// Counters, today's yield and the age of the last reply.
#include "web/station_snapshot.h"

#include "acquisition/reply_decoding.h"
#include "events/stale_values.h"

#include <cmath>

namespace vantoro {

void PollCounters::add(const QList<PollResult> &attempts)
{
    for (PollResult result : attempts) {
        const int index = int(result);
        if (result != PollResult::Stopped && index >= 0 && index < RESULTS)
            ++m_counts[size_t(index)];
    }
}

quint64 PollCounters::count(PollResult result) const
{
    const int index = int(result);
    return index >= 0 && index < RESULTS ? m_counts[size_t(index)] : 0;
}

void TodayYield::add(const CycleReport &report)
{
    if (!report.time.isValid() || !report.replied || report.parameters.isEmpty())
        return;
    if (m_day.day != report.time.date()) {
        m_day = DayYield();
        m_day.deviceId = report.deviceId;
        m_day.day = report.time.date();
    }
    addReading(m_day, yieldReading(report), ratingWatts(report.rating), 0);
}

std::optional<double> TodayYield::kwh(const QDate &today) const
{
    if (!m_day.day.isValid() || m_day.day != today || !m_day.lastCounter)
        return std::nullopt;
    return m_day.energyKwh;
}

std::optional<double> StationSnapshot::ageSeconds() const
{
    if (!report.lastReplyTime.isValid() || !now.isValid())
        return std::nullopt;
    return std::max<double>(0, double(report.lastReplyTime.msecsTo(now)) / 1000.0);
}

bool StationSnapshot::stale() const
{
    if (!now.isValid())
        return true;
    return valueStaleness(report.lastReplyTime, now, int(pollIntervalSeconds * 1000), report.linkUp, report.polling)
        .stale;
}

const StationSnapshot *PlantSnapshot::device(const QString &id) const
{
    for (const StationSnapshot &d : devices) {
        if (d.report.deviceId == id)
            return &d;
    }
    return nullptr;
}

const StationSnapshot *PlantSnapshot::defaultDevice() const
{
    if (const StationSnapshot *first = device(QStringLiteral("001")))
        return first;
    return devices.isEmpty() ? nullptr : &devices.first();
}

void PlantSnapshot::addTotals(const PlantEnergy &energy)
{
    QList<CycleReport> reports;
    QList<DeviceInfo> ids;
    reports.reserve(devices.size());
    ids.reserve(devices.size());
    todayYieldKwh.reset();
    for (const StationSnapshot &d : std::as_const(devices)) {
        reports << d.report;
        ids << DeviceInfo{d.report.deviceId, {}, 0, 1, {}, d.enabled};
        if (d.todayYieldKwh)
            todayYieldKwh = todayYieldKwh.value_or(0) + *d.todayYieldKwh;
    }
    energyKwh = energy.totalKwh(ids);
    const RoundReport round = roundOf(reports, false, now);
    powerWatts = round.powerWatts;
    devicesUp = round.devicesUp;
}

void withoutLiveValues(CycleReport &report)
{
    report.linkUp = false;
    report.parameters.clear();
}

std::optional<double> energyKwh(const CycleReport &report)
{
    for (const ParameterReading &p : report.parameters) {
        if (p.id == ROW_ENERGY && p.numeric)
            return p.value;
    }
    return std::nullopt;
}

bool isStatusEntry(const ParameterReading &reading)
{
    return reading.id >= ROW_FIRST_STATUS_BIT && reading.id < ROW_FIRST_STATUS_BIT + STATUS_BITS;
}

} // namespace vantoro
