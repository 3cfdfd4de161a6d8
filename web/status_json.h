// The JSON of /api/v1/status: device, link, parameters, faults, alarm, polling.
#pragma once

#include "web/station_snapshot.h"

#include <QJsonObject>

namespace vantoro {

QJsonObject statusJson(const StationSnapshot &snapshot);
// A time as ISO 8601 with its offset from UTC; null when invalid.
QJsonValue isoTime(const QDateTime &time);

} // namespace vantoro
