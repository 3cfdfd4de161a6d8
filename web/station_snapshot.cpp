// Counters, today's yield and the age of the last reply.
#include "web/station_snapshot.h"

#include "acquisition/reply_decoding.h"
#include "events/stale_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

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

void TodayYield::add(const QDateTime &time, std::optional<double> energy)
{
    if (!energy || !time.isValid())
        return;
    if (time.date() != m_day || *energy < m_last) {
        m_day = time.date();
        m_start = *energy;
    }
    m_last = *energy;
}

std::optional<double> TodayYield::kwh(const QDate &today) const
{
    if (!m_day.isValid() || m_day != today)
        return std::nullopt;
    return m_last - m_start;
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

double tidyValue(double value)
{
    if (!std::isfinite(value))
        return value;
    const float single = float(value);
    if (double(single) == value) {
        // Held as a single: its own shortest form.
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, single).ptr;
        return std::strtod(std::string(text, end).c_str(), nullptr);
    }
    return QByteArray::number(value, 'g', 15).toDouble();
}

bool isStatusEntry(const ParameterReading &reading)
{
    return reading.id >= ROW_FIRST_STATUS_BIT && reading.id < ROW_FIRST_STATUS_BIT + STATUS_BITS;
}

} // namespace vantoro
