// Mail alerts: fault and link events gathered for two minutes and sent as
// one mail; mailsent marks exactly the events the server accepted, stored
// off the station's thread and retried until it is, before the next mail is
// built; events left unsent go out at the next chance, oldest first, with
// backoff while the server fails.
#pragma once

#include "mail/mail_events.h"
#include "mail/mail_settings.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace vantoro {

class BackgroundWrite;
class SmtpJob;
struct StoredEvent;

// mailsent values: the server accepted the event's mail, or the event was
// too old at its first chance and was left out.
inline constexpr int MAILSENT_ACCEPTED = 1;
inline constexpr int MAILSENT_LEFT_OUT = 2;

struct MailTiming
{
    int gatherMs = MAIL_GATHER_SECONDS * 1000;
    // The first look at the backlog after start, so events of the start
    // itself join it.
    int startMs = 10 * 1000;
    int retryFirstMs = 60 * 1000;
    int retryMaxMs = 30 * 60 * 1000;
    // A database that would not take the mailsent marks is asked again.
    int markRetryFirstMs = 1000;
    int markRetryMaxMs = 60 * 1000;
};

class MailService : public QObject
{
public:
    explicit MailService(MailTiming timing = {}, QObject *parent = nullptr);
    ~MailService() override;

    // Subscribes to the station bus and, when mail is on, looks at the backlog.
    void start();
    // Ends a send in progress; its events stay unsent.
    void stop();

    // The outcome of the last send, for the running log and tests.
    QString lastAnswer() const { return m_lastAnswer; }
    int sends() const { return m_sends; }
    // The mail server's last state in one line, for the status bar; empty
    // while mail is off.
    QString stateText() const { return m_stateText; }

private:
    void eventStored(const StoredEvent &event);
    void settingsSaved();
    void applySettings();
    bool active() const;
    void schedule(int delayMs);
    void sendPending();
    void sendFinished(const SmtpResult &result);
    void storeMarks();
    void marksStored(bool ok, const QString &error, qsizetype accepted, qsizetype leftOut);
    void afterMarks();
    void showState(const QString &text);

    MailTiming m_timing;
    MailSettingsText m_settings;
    bool m_started = false;
    QTimer m_timer;
    std::unique_ptr<SmtpJob> m_job;
    QList<qint64> m_inFlight;
    QList<qint64> m_inFlightLeftOut;
    // Marks not yet stored, in the order they were due.
    QList<qint64> m_unmarkedAccepted;
    QList<qint64> m_unmarkedLeftOut;
    std::unique_ptr<BackgroundWrite> m_marker;
    QTimer m_markRetry;
    int m_markRetryMs = 0;
    bool m_sendHeld = false;
    bool m_moreWaiting = false;
    bool m_arrivedDuringSend = false;
    int m_retryMs = 0;
    int m_sends = 0;
    QString m_lastAnswer;
    QString m_stateText;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace vantoro
