// The devices' last counter readings and their sum.
#include "core/plant.h"

namespace vantoro {

std::optional<double> energyCounterKwh(const CycleReport &report)
{
    if (!report.linkUp)
        return std::nullopt;
    const ParameterReading *p = report.parameter(QLatin1String(ENERGY_COUNTER_CODE));
    if (!p || !p->numeric)
        return std::nullopt;
    return p->value;
}

void PlantEnergy::add(const CycleReport &report)
{
    if (const std::optional<double> kwh = energyCounterKwh(report))
        m_last.insert(report.deviceId, *kwh);
}

std::optional<double> PlantEnergy::lastKwh(const QString &deviceId) const
{
    const auto it = m_last.constFind(deviceId);
    return it == m_last.cend() ? std::nullopt : std::optional<double>(*it);
}

std::optional<double> PlantEnergy::totalKwh(const QList<DeviceInfo> &devices) const
{
    std::optional<double> total;
    for (const DeviceInfo &d : devices) {
        if (const std::optional<double> kwh = lastKwh(d.id))
            total = total.value_or(0) + *kwh;
    }
    return total;
}

} // namespace vantoro
