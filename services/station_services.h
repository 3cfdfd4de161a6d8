// The services that follow the poll path (history, web server, MQTT, mail,
// notices, the daily summary): created once after start-up by the window or
// the unattended mode, fed only through the station bus, stopped in order
// before the station quits.
#pragma once

#include <QObject>
#include <memory>

namespace vantoro {

class HistoryRecorder;
class WebService;
class MqttPublisher;
class MailService;
class NoticeService;
class SummaryService;

class StationServices : public QObject
{
public:
    explicit StationServices(QObject *parent = nullptr);
    ~StationServices() override;

    // Starts every service its settings switch on; each re-reads its
    // settings whenever they are saved.
    void start();
    // Orderly stop (last messages out, files closed); safe to call twice.
    void stop();

    // The history recorder while started, else nullptr.
    HistoryRecorder *history() const { return m_history.get(); }

private:
    bool m_started = false;
    std::unique_ptr<HistoryRecorder> m_history;
    std::unique_ptr<WebService> m_web;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<MailService> m_mail;
    std::unique_ptr<NoticeService> m_notices;
    std::unique_ptr<SummaryService> m_summary;
};

} // namespace vantoro
