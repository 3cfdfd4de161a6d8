// The JSON of /api/v1/status (device, link, parameters, faults, alarm,
// polling) and of /api/v1/devices.
#pragma once

#include "web/station_snapshot.h"

#include <QJsonObject>

namespace vantoro {

QJsonObject statusJson(const StationSnapshot &snapshot);
// The JSON of /api/v1/devices: every device's identity and state in line
// order, and the plant's totals.
QJsonObject devicesJson(const PlantSnapshot &plant);
// A time as ISO 8601 with its offset from UTC; null when invalid.
QJsonValue isoTime(const QDateTime &time);

} // namespace vantoro
