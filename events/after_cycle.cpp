// The after-cycle rules.
#include "events/after_cycle.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"

namespace vantoro {

bool AfterCycleRules::conclude(const QString &faults)
{
    for (const QString &ended : m_endings.update(paramTable))
        logEvent(ended);
    if (!faults.isEmpty())
        logEvent(faults, QStringLiteral("001"), faultKey(paramTable));
    if (!m_underVoltage.update(paramTable, sysSettings.AutoShutDown != 0))
        return false;
    // Stored whatever the window or service then shows, so it can be mailed.
    logEvent(langText(QStringLiteral("Application"), QStringLiteral("msgShutdownCountdown")), QStringLiteral("001"),
             QString(), true);
    return true;
}

} // namespace vantoro
