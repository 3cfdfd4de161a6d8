// Creation and orderly stop of the station's services.
#include "services/station_services.h"

#include "web/web_service.h"

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
    m_web = std::make_unique<WebService>();
    m_web->start();
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_web.reset();
}

} // namespace vantoro
