// Notices: the mail's events, gathered the same way, sent to every stored
// channel through Apprise. Each channel goes its own pace (a slow or hanging
// one holds back no other, nor mail): its own gathering, its own back-off,
// and a delivery row per event once it accepted it, stored off the
// station's thread, so an event reaches a channel once across restarts.
#pragma once

#include "mail/mail_events.h"
#include "notices/apprise_job.h"
#include "notices/notice_channels.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

namespace vantoro {

class BackgroundWrite;
struct StoredEvent;

// noticesent states: the channel accepted the event, or the event was too
// old at the channel's first chance and was left out.
inline constexpr int NOTICE_ACCEPTED = 1;
inline constexpr int NOTICE_LEFT_OUT = 2;

// One row of noticesent: an event's delivery to a channel.
struct NoticeDelivery
{
    qint64 channel = 0;
    qint64 row = 0;        // the event's rowid
    QString logtime;       // the event's time, which the row must match
    int state = NOTICE_ACCEPTED;
};

// Stores the rows in one transaction on a connection of the calling thread.
bool storeNoticeDeliveries(const QList<NoticeDelivery> &deliveries, QString &error);

struct NoticeTiming
{
    int gatherMs = MAIL_GATHER_SECONDS * 1000;
    int startMs = 10 * 1000;
    int retryFirstMs = 60 * 1000;
    int retryMaxMs = 30 * 60 * 1000;
    int timeoutMs = APPRISE_TIMEOUT_MS;
    int markRetryFirstMs = 1000;
    int markRetryMaxMs = 60 * 1000;
    QString program = QString::fromLatin1(APPRISE_PROGRAM);
};

class NoticeService : public QObject
{
public:
    explicit NoticeService(NoticeTiming timing = {}, QObject *parent = nullptr);
    ~NoticeService() override;

    void start();
    // Kills sends in progress; their events stay unsent.
    void stop();

    // Apprise runs started, for tests.
    int sends() const { return m_sends; }
    // Every channel's last outcome, URLs masked, for the status bar; empty
    // while there is no channel or all is well.
    QString stateText() const { return m_stateText; }

private:
    struct Channel;
    using Mark = NoticeDelivery;

    void eventStored(const StoredEvent &event);
    void loadChannels();
    Channel *channel(qint64 id) const;
    bool held(qint64 channel) const;
    void sendPending(Channel &channel);
    void sendFinished(qint64 channelId, const NoticeResult &result);
    void storeMarks();
    void marksStored(bool ok, const QString &error, qsizetype count);
    void showState();

    NoticeTiming m_timing;
    bool m_started = false;
    std::vector<std::unique_ptr<Channel>> m_channels;
    QList<Mark> m_unmarked;
    std::unique_ptr<BackgroundWrite> m_marker;
    QTimer m_markRetry;
    int m_markRetryMs = 0;
    int m_sends = 0;
    QString m_stateText;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace vantoro
