// The staleness rule of the displayed values.
#include "events/stale_values.h"

namespace vantoro {

Staleness valueStaleness(const QDateTime &lastReply, const QDateTime &now, int intervalMs, bool linkUp,
                         bool polling)
{
    Staleness s;
    if (!lastReply.isValid()) {
        s.stale = true;
        return s;
    }
    const qint64 ageMs = lastReply.msecsTo(now);
    // A clock set back makes the reply lie in the future: it is as fresh as now.
    s.ageSeconds = qMax<qint64>(0, ageMs / 1000);
    s.stale = !linkUp || !polling || ageMs > qint64(STALE_AFTER_INTERVALS) * qMax(intervalMs, 1);
    return s;
}

} // namespace vantoro
