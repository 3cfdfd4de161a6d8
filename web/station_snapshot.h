// What the web server shows at one moment: each device's last cycle report
// (or its identity before the first one), the poll interval it judges the
// reply's age by, the counters and yield gathered from the bus, and the
// plant's totals over the devices.
#pragma once

#include "core/number_format.h"
#include "core/plant.h"
#include "core/station_bus.h"
#include "history/daily_yield.h"

#include <QDate>
#include <QDateTime>
#include <array>
#include <optional>

namespace vantoro {

// Attempts of every result but Stopped (a switched-off poll is no attempt).
class PollCounters
{
public:
    static constexpr int RESULTS = 5;
    void add(const QList<PollResult> &attempts);
    quint64 count(PollResult result) const;

private:
    std::array<quint64, RESULTS> m_counts{};
};

// Energy produced today by the daily yield's rule, from this station's
// first reply of the day; a rise the rating cannot explain is left out.
class TodayYield
{
public:
    void add(const CycleReport &report);
    // Nothing before a reply of `today` was seen.
    std::optional<double> kwh(const QDate &today) const;

private:
    DayYield m_day;
};

// One device as served.
struct StationSnapshot
{
    CycleReport report;
    QDateTime now;
    double pollIntervalSeconds = 1;
    std::optional<double> todayYieldKwh;
    QString version;
    bool enabled = true;
    PollCounters counters;
    // Every fault present was acknowledged by the operator.
    bool alarmAcknowledged = false;

    // Seconds since the last good reply; nullopt before the first.
    std::optional<double> ageSeconds() const;
    // No reply for three poll intervals, or none at all, or the link down or
    // polling off: the window's rule.
    bool stale() const;
};

// Every device on the line, in line order, and the plant's totals.
struct PlantSnapshot
{
    QList<StationSnapshot> devices;
    QDateTime now;
    QString version;
    double powerWatts = 0;               // output power of the devices answering now
    int devicesUp = 0;
    std::optional<double> energyKwh;     // sum of the devices' last energy counter readings
    std::optional<double> todayYieldKwh; // sum of the devices' yields of today

    const StationSnapshot *device(const QString &id) const;
    // The device a request without a device names: "001", else the first.
    const StationSnapshot *defaultDevice() const;
    // The totals over `devices` as they stand (their reports as served).
    void addTotals(const PlantEnergy &energy);
};

// The energy counter's reading in a report, when the link was up.
std::optional<double> energyKwh(const CycleReport &report);
// A status entry (one bit of the status word): whether its bit is set.
bool isStatusEntry(const ParameterReading &reading);
// A report as served while polling is off: its values are the last ones
// read, not live, so it shows as a link that is down.
void withoutLiveValues(CycleReport &report);

} // namespace vantoro
