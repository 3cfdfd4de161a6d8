// The station's bus: the poll cycle's results and stored events, published once.
#include "core/station_bus.h"

#include "core/number_format.h"

namespace vantoro {

QString pollResultName(PollResult result)
{
    switch (result) {
    case PollResult::Ok: return QStringLiteral("ok");
    case PollResult::Timeout: return QStringLiteral("timeout");
    case PollResult::BadChecksum: return QStringLiteral("bad_checksum");
    case PollResult::WrongAddress: return QStringLiteral("wrong_address");
    case PollResult::SendError: return QStringLiteral("send_error");
    case PollResult::Stopped: return QStringLiteral("stopped");
    }
    return QStringLiteral("unknown");
}

const ParameterReading *CycleReport::parameter(const QString &code) const
{
    for (const ParameterReading &p : parameters) {
        if (p.code.compare(code, Qt::CaseInsensitive) == 0)
            return &p;
    }
    return nullptr;
}

std::optional<double> CycleReport::number(const QString &code) const
{
    const ParameterReading *p = parameter(code);
    return p && p->numeric ? std::optional<double>(p->value) : std::nullopt;
}

std::optional<double> CycleReport::outputPowerWatts() const
{
    if (!linkUp)
        return std::nullopt;
    if (const auto power = number(QLatin1String(OUTPUT_POWER_CODE)))
        return tidyValue(*power);
    const auto volts = number(QLatin1String(OUTPUT_VOLTAGE_CODE));
    const auto amps = number(QLatin1String(OUTPUT_CURRENT_CODE));
    if (!volts || !amps)
        return std::nullopt;
    return tidyValue(*volts * *amps);
}

const CycleReport *RoundReport::device(const QString &id) const
{
    for (const CycleReport &r : devices) {
        if (r.deviceId == id)
            return &r;
    }
    return nullptr;
}

RoundReport roundOf(const QList<CycleReport> &devices, bool polling, const QDateTime &time)
{
    RoundReport round;
    round.time = time;
    round.polling = polling;
    round.devices = devices;
    for (const CycleReport &r : devices) {
        if (!r.linkUp)
            continue;
        ++round.devicesUp;
        round.powerWatts += r.outputPowerWatts().value_or(0);
        if (const auto energy = r.number(QLatin1String(ENERGY_COUNTER_CODE)))
            round.energyKwh = round.energyKwh.value_or(0) + *energy;
    }
    return round;
}

void StationBus::publishCycle(const CycleReport &report)
{
    m_cycles.insert(report.deviceId, report);
    emit cycleFinished(report);
}

void StationBus::publishRound(const RoundReport &round)
{
    m_round = round;
    emit roundFinished(round);
}

void StationBus::publishDevices(const QList<DeviceInfo> &devices)
{
    m_devices = devices;
    emit devicesChanged();
}

const CycleReport &StationBus::lastCycle() const
{
    static const CycleReport none;
    const QString first = m_devices.isEmpty() ? QStringLiteral("001") : m_devices.first().id;
    if (const CycleReport *r = lastCycle(first))
        return *r;
    // Before the device list is known, whatever device reported.
    return m_cycles.isEmpty() ? none : *m_cycles.cbegin();
}

const CycleReport *StationBus::lastCycle(const QString &deviceId) const
{
    const auto it = m_cycles.constFind(deviceId);
    return it == m_cycles.cend() ? nullptr : &*it;
}

QList<CycleReport> StationBus::lastCycles() const
{
    QList<CycleReport> out;
    for (const DeviceInfo &d : m_devices) {
        if (const CycleReport *r = lastCycle(d.id))
            out << *r;
    }
    // Reports of devices no longer listed are left out; before the list is
    // known every report counts, by id.
    if (m_devices.isEmpty()) {
        QStringList ids = m_cycles.keys();
        ids.sort();
        for (const QString &id : ids)
            out << m_cycles.value(id);
    }
    return out;
}

QString StationBus::deviceNames() const
{
    QStringList names;
    for (const DeviceInfo &d : m_devices)
        names << d.name;
    return names.join(QStringLiteral(", "));
}

const DeviceInfo *StationBus::device(const QString &id) const
{
    for (const DeviceInfo &d : m_devices) {
        if (d.id == id)
            return &d;
    }
    return nullptr;
}

void StationBus::publishEvent(const StoredEvent &event)
{
    emit eventStored(event);
}

void StationBus::publishSettingsSaved()
{
    emit settingsSaved();
}

void StationBus::publishPolling(bool on)
{
    emit pollingChanged(on);
}

void StationBus::publishAcknowledged(const QString &deviceId, bool acknowledged)
{
    m_acknowledged.insert(deviceId, acknowledged);
}

void StationBus::publishServiceState(const QString &service, const QString &text)
{
    m_serviceStates.insert(service, text);
    emit serviceStateChanged(service, text);
}

void StationBus::publishWebAccess(const WebAccess &access)
{
    m_web = access;
    emit webAccessChanged();
}

StationBus &stationBus()
{
    static StationBus *bus = [] {
        qRegisterMetaType<CycleReport>();
        qRegisterMetaType<StoredEvent>();
        qRegisterMetaType<RoundReport>();
        return new StationBus;
    }();
    return *bus;
}

} // namespace vantoro
