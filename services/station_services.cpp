// Creation and orderly stop of the station's services.
#include "services/station_services.h"

#include "mail/mail_service.h"

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
    m_mail = std::make_unique<MailService>();
    m_mail->start();
}

void StationServices::stop()
{
    if (!m_started)
        return;
    m_started = false;
    if (m_mail)
        m_mail->stop();
    m_mail.reset();
}

} // namespace vantoro
