// The device's sleep at night: with its DC input below a standby share of
// its rating the inverter stands by. Its DC side is then not judged, and a
// silence soon after it fell asleep is its sleep, not a lost link.
#pragma once

#include "acquisition/param_table.h"
#include "core/system_settings.h"

#include <QString>

namespace vantoro {

// Waking takes this multiple of the threshold, so a little light at dawn
// or dusk does not send the device to sleep and wake it again and again.
inline constexpr double WAKE_THRESHOLD_FACTOR = 2.0;
// A device that falls silent at most this long after it fell asleep sleeps
// on; a later silence is a lost link.
inline constexpr qint64 SILENT_SLEEP_GRACE_MS = 10 * 60 * 1000;
// No night is longer (a winter night at 60 degrees north): a silence that
// lasts into the next day is a lost link after all.
inline constexpr qint64 SILENT_SLEEP_MAX_MS = 18 * 3600 * 1000LL;
// The `devpart` of the DC input's rows.
inline constexpr int DEVPART_DC_INPUT = 1;

// The standby threshold in watts; 0 (never asleep) without a rating.
double standbyThresholdWatts(double percent, const QString &rating);
// DC input voltage times current as the table holds them.
double dcInputPowerWatts(const ParamTable &table);
// The DC voltage and current rows, and every numeric row of the DC input.
bool isDcSideRow(int slot, const ParamRecord &p);
// Marks the DC-side rows as resting (not judged) or judged again.
void setDcSideResting(ParamTable &table, bool resting);

enum class SleepChange { None, FellAsleep, WokeUp };

class DeviceSleep
{
public:
    // A cycle the device answered, with its DC input power; `nowMs` is a
    // monotonic clock. A threshold of 0 or less never sleeps.
    SleepChange replied(double dcPowerWatts, double thresholdWatts, qint64 nowMs);
    // A cycle without a reply: true while the device sleeps through it,
    // false when the link is lost (awake, asleep for longer than the grace
    // before it fell silent, or silent for longer than a night).
    bool silent(qint64 nowMs);

    bool asleep() const { return m_asleep; }
    // Asleep and not answering.
    bool silentlyAsleep() const { return m_asleep && m_silent; }

private:
    bool m_asleep = false;
    bool m_silent = false;
    qint64 m_asleepSinceMs = 0;
    qint64 m_silentSinceMs = 0;
};

} // namespace vantoro
