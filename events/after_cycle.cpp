// The after-cycle rules.
#include "events/after_cycle.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"

namespace vantoro {

bool AfterCycleRules::conclude(const ParamTable &table, const QString &devid, const QString &deviceName)
{
    for (const QString &ended : m_endings.update(table))
        logEvent(ended, devid);
    const QString faults = checkDevStatus(table);
    if (!faults.isEmpty())
        logEvent(faults, devid, faultKey(table));
    if (!m_underVoltage.update(table, sysSettings.AutoShutDown != 0))
        return false;
    // Stored whatever the window or service then shows, so it can be mailed;
    // on a plant it says which device's DC input fell.
    QString text = langText(QStringLiteral("Application"), QStringLiteral("msgShutdownCountdown"));
    if (!deviceName.isEmpty())
        text += QStringLiteral(" (%1)").arg(deviceName);
    logEvent(text, devid, QString(), true);
    return true;
}

} // namespace vantoro
