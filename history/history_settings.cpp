#include "history/history_settings.h"

#include "core/localisation.h"

#include <algorithm>

namespace vantoro {

QString validateSamplePeriod(int seconds)
{
    if (seconds >= HISTORY_PERIOD_MIN_S && seconds <= HISTORY_PERIOD_MAX_S)
        return {};
    return langText(QStringLiteral("History"), QStringLiteral("msgPeriodRange"), LANGUAGE_CURRENT,
                    QStringLiteral("The sample period must be between %1 and %2 seconds."))
        .arg(HISTORY_PERIOD_MIN_S)
        .arg(HISTORY_PERIOD_MAX_S);
}

QString validateKeepHours(int hours)
{
    if (hours >= 0 && hours <= HISTORY_KEEP_MAX_H)
        return {};
    return langText(QStringLiteral("History"), QStringLiteral("msgKeepRange"), LANGUAGE_CURRENT,
                    QStringLiteral("The retention must be between 0 (for ever) and %1 hours."))
        .arg(HISTORY_KEEP_MAX_H);
}

int effectiveSamplePeriod(int stored)
{
    if (stored <= 0)
        return HISTORY_PERIOD_DEFAULT_S;
    return std::clamp(stored, HISTORY_PERIOD_MIN_S, HISTORY_PERIOD_MAX_S);
}

int effectiveKeepHours(int stored)
{
    return std::clamp(stored, 0, HISTORY_KEEP_MAX_H);
}

} // namespace vantoro
