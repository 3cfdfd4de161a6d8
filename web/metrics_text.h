// /metrics in the Prometheus text format 0.0.4.
#pragma once

#include "web/station_snapshot.h"

#include <QByteArray>

namespace vantoro {

inline constexpr const char *METRICS_CONTENT_TYPE = "text/plain; version=0.0.4; charset=utf-8";

// Every device's series labelled with its id, each family's header once,
// then the plant's totals.
QByteArray metricsText(const PlantSnapshot &plant);
// A label value with backslash, double quote and line feed escaped.
QByteArray escapeLabelValue(const QString &value);
// A sample value: shortest exact form, NaN, +Inf or -Inf.
QByteArray sampleValue(double value);

} // namespace vantoro
