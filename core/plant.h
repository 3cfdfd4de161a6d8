// What the services share about the plant: how many devices a line holds,
// and the plant's lifetime energy as they publish it (the sum of each
// device's last energy counter reading, so a device that stops answering
// keeps its share instead of making a counter of the plant fall).
#pragma once

#include "core/station_bus.h"

#include <QHash>
#include <optional>

namespace vantoro {

// Device ids run "001".."032": one per device a line holds.
inline constexpr int PLANT_MAX_DEVICES = 32;

class PlantEnergy
{
public:
    // Notes the device's counter when the report has a reading of it.
    void add(const CycleReport &report);
    // The sum over `devices` (by id); none before any of them was read.
    std::optional<double> totalKwh(const QList<DeviceInfo> &devices) const;
    std::optional<double> lastKwh(const QString &deviceId) const;

private:
    QHash<QString, double> m_last;
};

// The energy counter's reading in a report, when the link was up.
std::optional<double> energyCounterKwh(const CycleReport &report);

} // namespace vantoro
