// The station's bus: the poll cycle's results and stored events, published once.
#include "core/station_bus.h"

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

void StationBus::publishCycle(const CycleReport &report)
{
    m_last = report;
    emit cycleFinished(report);
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
        return new StationBus;
    }();
    return *bus;
}

} // namespace vantoro
