// Creation and orderly stop of the station's services.
#include "services/station_services.h"

#include "history/history_recorder.h"
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
    // History recording is on by default; it needs no switch.
    m_history = std::make_unique<HistoryRecorder>();
    m_history->start();
    m_web = std::make_unique<WebService>();
    m_web->start();
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
    if (m_history)
        m_history->stop();
    m_history.reset();
    m_web.reset();
}

} // namespace vantoro
