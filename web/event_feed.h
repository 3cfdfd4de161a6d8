// Events for the web API and the page, read from eventlog newest first.
#pragma once

#include "web/query_params.h"

#include <QJsonObject>
#include <optional>

namespace vantoro {

// The most rows one request returns.
inline constexpr int EVENTS_MAX_ROWS = 10000;
// The events the status page lists.
inline constexpr int PAGE_EVENT_COUNT = 10;

// {"from","to","events":[{"time","device","text"}],"count","truncated","limit"}
// for whole days; nullopt with `error` set when the database cannot be read.
std::optional<QJsonObject> eventsJson(const DayRange &range, int limit, QString *error);
// {"events":[...]} with the newest `count` events of any day.
std::optional<QJsonObject> latestEventsJson(int count, QString *error);

} // namespace vantoro
