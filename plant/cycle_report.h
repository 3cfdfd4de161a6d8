// Builds the value the poll path publishes after each cycle from the
// parameter table and the link state.
#pragma once

#include "acquisition/param_table.h"
#include "core/station_bus.h"
#include "plant/device.h"

namespace vantoro {

struct CycleOutcome
{
    bool linkUp = false;
    bool polling = false;
    bool replied = false;
    bool asleep = false;
    QDateTime lastReplyTime;
    QList<PollResult> attempts;
};

// The report of a cycle of `device`; parameters are left out while the link
// is down.
CycleReport makeCycleReport(const CycleOutcome &outcome, const Device &device);

} // namespace vantoro
