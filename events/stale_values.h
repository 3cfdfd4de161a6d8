// When the values on screen are no longer live: no good reply for three poll
// intervals, the link down, or polling off.
#pragma once

#include <QDateTime>

namespace vantoro {

inline constexpr int STALE_AFTER_INTERVALS = 3;

struct Staleness
{
    bool stale = false;
    // Seconds since the last good reply; -1 when there was none this run.
    qint64 ageSeconds = -1;
};

Staleness valueStaleness(const QDateTime &lastReply, const QDateTime &now, int intervalMs, bool linkUp,
                         bool polling);

} // namespace vantoro
