// A parameter's value as display text: its number pattern and its unit.
#pragma once

#include "acquisition/param_table.h"

#include <QString>

namespace vantoro {

// The value of parameter `id` formatted with its `dataformat` when it is a
// number with a pattern; otherwise the value as stored. Empty for an id
// outside the table.
QString formatParaValue(const ParamTable &table, int id);
// The same, followed by the unit; a text or unformatted value gets no unit.
QString formatParaWithUnit(const ParamTable &table, int id);
// A value and its unit a blank apart ("2,349.0 W"); the value alone without a unit.
QString valueWithUnit(const QString &value, const QString &unit);
// Any numeric field of parameter `id` (value, limits) by column, with the
// same rule as formatParaValue.
QString formatParaField(const ParamTable &table, int id, int column);

// A value the station computed in place of the device's reading (the DC
// voltage of an implausible power ratio) is shown with this marker and a
// tool tip naming what the device read.
inline constexpr char CALIBRATED_MARKER = '*';
// The marker for parameter `id`; empty for the device's own value.
QString calibrationMarker(const ParamTable &table, int id);
// The tool tip with the device's reading and unit; empty for its own value.
QString calibratedToolTip(const ParamTable &table, int id);

} // namespace vantoro
