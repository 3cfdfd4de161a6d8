// The two history settings of the system settings record and their ranges.
#pragma once

#include <QString>

namespace vantoro {

inline constexpr int HISTORY_PERIOD_MIN_S = 5;
inline constexpr int HISTORY_PERIOD_MAX_S = 3600;
inline constexpr int HISTORY_PERIOD_DEFAULT_S = 60;
inline constexpr int HISTORY_KEEP_DEFAULT_H = 720;
// Ten years: more than a disk holds at the shortest period.
inline constexpr int HISTORY_KEEP_MAX_H = 87600;

// Empty when `seconds` is a valid sample period, else the message to show.
QString validateSamplePeriod(int seconds);
// Empty when `hours` is a valid retention (0 keeps for ever), else the message.
QString validateKeepHours(int hours);

// The values the recorder works with: an out-of-range period stored by an
// older file is brought into range, a negative retention counts as "for ever".
int effectiveSamplePeriod(int stored);
int effectiveKeepHours(int stored);

} // namespace vantoro
