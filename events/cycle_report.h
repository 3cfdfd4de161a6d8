// Builds the value the poll path publishes after each cycle from the
// parameter table and the link state.
#pragma once

#include "acquisition/param_table.h"
#include "core/station_bus.h"

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

// The report of a cycle over `table` (the station's table unless a test
// passes its own); parameters are left out while the link is down.
CycleReport makeCycleReport(const CycleOutcome &outcome, const ParamTable &table = paramTable);

} // namespace vantoro
