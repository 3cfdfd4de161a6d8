// Fault endings after each cycle.
#include "events/fault_endings.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "core/localisation.h"
#include "events/status_evaluation.h"

namespace vantoro {

QString faultEndText(const ParamRecord &p)
{
    const QString value = p.isstring == 0 ? valueWithUnit(p.text(), p.unit) : parameterValueText(p);
    return parameterName(p) + QLatin1Char('=') + value + QLatin1Char(' ')
        + langText(QStringLiteral("frmMain"), QStringLiteral("msgBackWithinLimits"));
}

QStringList FaultEndings::update(const ParamTable &table)
{
    QStringList ended;
    QSet<int> faulty;
    for (int slot = 0; slot < PARAM_SLOTS; ++slot) {
        const ParamRecord &p = table[size_t(slot)];
        if (isFaulty(p)) {
            faulty.insert(slot);
        } else if (m_faulty.contains(slot) && p.enabled != 0 && p.warningenabled != 0) {
            ended << faultEndText(p);
        }
    }
    m_faulty = faulty;
    return ended;
}

} // namespace vantoro
