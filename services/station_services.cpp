// Creation and orderly stop of the station's services.
#include "services/station_services.h"

#include "history/history_recorder.h"
#include "web/web_service.h"
#include "core/station_bus.h"
#include "mqtt/mqtt_publisher.h"
#include "mail/mail_service.h"
#include "notices/notice_service.h"
#include "summary/summary_service.h"

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
    m_mqtt = std::make_unique<MqttPublisher>(stationBus());
    m_mqtt->start();
    m_mail = std::make_unique<MailService>();
    m_mail->start();
    m_notices = std::make_unique<NoticeService>();
    m_notices->start();
    m_summary = std::make_unique<SummaryService>();
    // The day's yield as recorded so far, not only as last written.
    m_summary->setCurrentDays([this] { return m_history ? m_history->currentDays() : QList<DayYield>(); });
    m_summary->start();
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
    if (m_history)
        m_history->stop();
    // The summary reads the recorder's days: it goes first.
    if (m_summary)
        m_summary->stop();
    m_summary.reset();
    m_history.reset();
    m_web.reset();
    m_mqtt.reset(); // publishes "offline" on its way out
    if (m_mail)
        m_mail->stop();
    m_mail.reset();
    if (m_notices)
        m_notices->stop();
    m_notices.reset();
}

} // namespace vantoro
