// What the web server shows at one moment: the last cycle report (or the
// device's identity before the first one), the poll interval it judges the
// reply's age by, and the counters and yield gathered from the bus.
#pragma once

#include "core/station_bus.h"

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

// Energy produced today, from the rise of the energy counter since the first
// reply of the day this station saw; a counter going backwards starts over.
class TodayYield
{
public:
    void add(const QDateTime &time, std::optional<double> energyKwh);
    // Nothing before a reply of `today` was seen.
    std::optional<double> kwh(const QDate &today) const;

private:
    QDate m_day;
    double m_start = 0;
    double m_last = 0;
};

struct StationSnapshot
{
    CycleReport report;
    QDateTime now;
    double pollIntervalSeconds = 1;
    std::optional<double> todayYieldKwh;
    QString version;

    // Seconds since the last good reply; nullopt before the first.
    std::optional<double> ageSeconds() const;
    // No reply for three poll intervals, or none at all, or the link down or
    // polling off: the window's rule.
    bool stale() const;
};

// Replies older than this many poll intervals make the shown values stale.
inline constexpr int STALE_POLL_INTERVALS = 3;

// The energy counter's reading in a report, when the link was up.
std::optional<double> energyKwh(const CycleReport &report);
// A decoded value without the scaling's binary noise: 2301 × 0.1 gives
// 230.1, a single-precision temperature 25.6, not their long double forms.
double tidyValue(double value);
// A status entry (one bit of the status word): whether its bit is set.
bool isStatusEntry(const ParameterReading &reading);
// A report as served while polling is off: its values are the last ones
// read, not live, so it shows as a link that is down.
void withoutLiveValues(CycleReport &report);

} // namespace vantoro
