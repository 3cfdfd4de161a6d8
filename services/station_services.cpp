// Creation and orderly stop of the station's services.
#include "services/station_services.h"

#include "core/station_bus.h"
#include "mqtt/mqtt_publisher.h"

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
    m_mqtt = std::make_unique<MqttPublisher>(stationBus());
    m_mqtt->start();
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_mqtt.reset(); // publishes "offline" on its way out
}

} // namespace vantoro
