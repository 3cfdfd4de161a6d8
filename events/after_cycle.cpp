// The after-cycle rules.
#include "events/after_cycle.h"

#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"

namespace vantoro {

bool AfterCycleRules::conclude(const QString &faults)
{
    if (!faults.isEmpty())
        logEvent(faults, QStringLiteral("001"), faultKey(paramTable));
    return m_underVoltage.update(paramTable, sysSettings.AutoShutDown != 0);
}

} // namespace vantoro
