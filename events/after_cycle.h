// The rules that follow a cycle with the link up, the same for the window
// and the unattended service: the fault text is stored as an event (the
// 13-minute rule decides), and under-voltage opens the shutdown countdown.
#pragma once

#include "events/auto_shutdown.h"
#include "events/fault_endings.h"

#include <QString>

namespace vantoro {

class AfterCycleRules
{
public:
    // `faults` is what checkDevStatus found this cycle. True when the
    // automatic shutdown's countdown is to start now.
    bool conclude(const QString &faults);
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
