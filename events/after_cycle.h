// The rules that follow a cycle with the link up, the same for the window
// and the unattended service: the fault text is stored as an event (the
// 13-minute rule decides), and under-voltage opens the shutdown countdown.
#pragma once

#include "events/auto_shutdown.h"
#include "events/fault_endings.h"

#include "acquisition/param_table.h"

#include <QString>

namespace vantoro {

class AfterCycleRules
{
public:
    // After a cycle of device `devid` with its link up: the faults of its
    // table are stored, and so are the ends of earlier ones. True when the
    // automatic shutdown's countdown is to start now.
    bool conclude(const ParamTable &table, const QString &devid, const QString &deviceName);
    void reset()
    {
        m_underVoltage.reset();
        m_endings.reset();
    }

private:
    UnderVoltageTrigger m_underVoltage;
    FaultEndings m_endings;
};

} // namespace vantoro
