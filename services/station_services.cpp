// Creation and orderly stop of the station's services.
#include "services/station_services.h"

namespace vantoro {

StationServices::StationServices(QObject *parent)
    : QObject(parent)
{
}

StationServices::~StationServices()
{
    stop();
}

void StationServices::start()
{
    if (m_started)
        return;
    m_started = true;
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
}

} // namespace vantoro
