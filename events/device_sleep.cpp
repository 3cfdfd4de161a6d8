// The sleep rule of one device.
#include "events/device_sleep.h"

#include "acquisition/reply_decoding.h"

#include <algorithm>

namespace vantoro {

double standbyThresholdWatts(double percent, const QString &rating)
{
    return std::max(0.0, percent) / 100.0 * ratingWatts(rating);
}

double dcInputPowerWatts(const ParamTable &table)
{
    return table[ROW_DC_VOLTAGE].number() * table[ROW_DC_CURRENT].number();
}

bool isDcSideRow(int slot, const ParamRecord &p)
{
    if (p.isstring != 0)
        return false;
    return slot == ROW_DC_VOLTAGE || slot == ROW_DC_CURRENT || p.devpart == DEVPART_DC_INPUT;
}

void setDcSideResting(ParamTable &table, bool resting)
{
    for (int slot = 0; slot < PARAM_SLOTS; ++slot) {
        ParamRecord &p = table[size_t(slot)];
        p.resting = resting && isDcSideRow(slot, p);
    }
}

SleepChange DeviceSleep::replied(double dcPowerWatts, double thresholdWatts, qint64 nowMs)
{
    m_silent = false;
    if (!m_asleep) {
        if (thresholdWatts <= 0 || dcPowerWatts >= thresholdWatts)
            return SleepChange::None;
        m_asleep = true;
        m_asleepSinceMs = nowMs;
        return SleepChange::FellAsleep;
    }
    if (thresholdWatts > 0 && dcPowerWatts < thresholdWatts * WAKE_THRESHOLD_FACTOR)
        return SleepChange::None;
    m_asleep = false;
    return SleepChange::WokeUp;
}

bool DeviceSleep::silent(qint64 nowMs)
{
    if (!m_asleep)
        return false;
    if (m_silent && nowMs - m_silentSinceMs <= SILENT_SLEEP_MAX_MS)
        return true;
    if (!m_silent && nowMs - m_asleepSinceMs <= SILENT_SLEEP_GRACE_MS) {
        m_silent = true;
        m_silentSinceMs = nowMs;
        return true;
    }
    m_silent = false;
    // Answering asleep for long, then silent, or silent past the morning:
    // that is the line, not the night.
    m_asleep = false;
    return false;
}

} // namespace vantoro
