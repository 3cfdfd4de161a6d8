// Cycle reports of made-up devices, for the services' tests of a plant: a
// plant of several devices is published on the bus without a line of them.
#pragma once

#include "core/station_bus.h"

#include <optional>

namespace vantoro::test {

struct PlantDevice
{
    explicit PlantDevice(const DeviceInfo &device) : info(device) { }

    DeviceInfo info;
    bool linkUp = true;
    std::optional<double> powerWatts; // PAC
    std::optional<double> energyKwh;  // EKWH
    QStringList faults;
    QDateTime lastReplyTime; // while the link is down; up, the cycle's time
    QList<PollResult> attempts{PollResult::Ok};
};

// The report of one cycle of `device` ending at `time`: the link, the
// readings it has, its faults (an alarm when any) and its attempts.
CycleReport plantReport(const PlantDevice &device, const QDateTime &time = QDateTime::currentDateTime());

} // namespace vantoro::test
