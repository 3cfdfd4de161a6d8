// The mail alert service.
#include "mail/mail_service.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "mail/mail_message.h"
#include "mail/smtp_job.h"

#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString serviceText(const char *key)
{
    return langText(QStringLiteral("Application"), QString::fromLatin1(key));
}

struct Backlog
{
    QList<MailEvent> fresh;
    QList<qint64> tooOld;
};

// Unsent mail events, oldest first; the "*" traces never qualify, so the
// database leaves them out.
Backlog loadBacklog(const QDateTime &now)
{
    Backlog b;
    QString error;
    const auto rows = rsSqlGet(QStringLiteral("select rowid as rid, eventname, logtime from eventlog "
                                              "where coalesce(mailsent, 0) = 0 and eventname not like '*%' "
                                              "order by logtime, rowid"),
                               {}, &error);
    if (!rows) {
        logStatus(QStringLiteral("*Mail: events not read: ") + error);
        return b;
    }
    const QDateTime oldest = now.addSecs(-qint64(MAIL_MAX_AGE_HOURS) * 3600);
    for (int i = 0; i < rows->recordCount(); ++i) {
        const QString text = rows->text(i, QStringLiteral("eventname"));
        if (!isMailEvent(text))
            continue;
        const qint64 row = rows->value(i, QStringLiteral("rid")).toLongLong();
        const QDateTime time = QDateTime::fromString(rows->text(i, QStringLiteral("logtime")), timeFormat);
        if (!time.isValid() || time < oldest)
            b.tooOld << row;
        else
            b.fresh << MailEvent{row, time, text};
    }
    return b;
}

} // namespace

MailService::MailService(MailTiming timing, QObject *parent)
    : QObject(parent)
    , m_timing(timing)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MailService::sendPending);
}

MailService::~MailService()
{
    stop();
}

void MailService::start()
{
    if (m_started)
        return;
    m_started = true;
    m_connections << connect(&stationBus(), &StationBus::eventStored, this, &MailService::eventStored)
                  << connect(&stationBus(), &StationBus::settingsSaved, this, &MailService::settingsSaved);
    m_settings = storedMailSettings();
    applySettings();
}

void MailService::stop()
{
    if (!m_started)
        return;
    m_started = false;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_timer.stop();
    m_job.reset();
    m_inFlight.clear();
    m_inFlightLeftOut.clear();
}

void MailService::applySettings()
{
    m_retryMs = m_timing.retryFirstMs;
    if (!active()) {
        m_timer.stop();
        return;
    }
    schedule(m_timing.startMs);
}

bool MailService::active() const
{
    // Settings the page would refuse (an old database, a hand edit) send nothing.
    return m_settings.enabled && validateMailSettings(m_settings).isEmpty();
}

void MailService::settingsSaved()
{
    const MailSettingsText now = storedMailSettings();
    const bool same = now.enabled == m_settings.enabled && smtpConfigFrom(now) == smtpConfigFrom(m_settings);
    m_settings = now;
    if (!same)
        applySettings();
}

void MailService::eventStored(const StoredEvent &event)
{
    if (!active() || !isMailEvent(event.text))
        return;
    if (m_job) {
        m_arrivedDuringSend = true;
        return;
    }
    // A running timer is either the gathering window already open or the
    // wait before a retry: the event joins whichever comes.
    if (!m_timer.isActive())
        schedule(m_timing.gatherMs);
}

void MailService::schedule(int delayMs)
{
    m_timer.start(qMax(0, delayMs));
}

void MailService::sendPending()
{
    if (!m_started || m_job || !active())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    Backlog backlog = loadBacklog(now);
    if (backlog.fresh.isEmpty()) {
        if (!backlog.tooOld.isEmpty() && markEvents(backlog.tooOld, MAILSENT_LEFT_OUT))
            logStatus(serviceText("msgMailLeftOut").arg(backlog.tooOld.size()).arg(MAIL_MAX_AGE_HOURS));
        return;
    }
    m_moreWaiting = backlog.fresh.size() > MAIL_EVENTS_PER_MESSAGE;
    const QList<MailEvent> events = backlog.fresh.mid(0, MAIL_EVENTS_PER_MESSAGE);
    const AlertContent content = composeAlert(sysSettings.devname, events, int(backlog.tooOld.size()));
    const SmtpConfig config = smtpConfigFrom(m_settings);
    MailMessage message;
    message.fromName = QStringLiteral("Vantoro");
    message.from = config.sender;
    message.to = config.recipients;
    message.subject = content.subject;
    message.body = content.body;
    message.date = now;

    m_inFlight.clear();
    for (const MailEvent &e : events)
        m_inFlight << e.rowId;
    m_inFlightLeftOut = backlog.tooOld;
    m_arrivedDuringSend = false;
    ++m_sends;
    m_job = std::make_unique<SmtpJob>(config, composeMessage(message),
                                      [this](const SmtpResult &r) { sendFinished(r); });
}

void MailService::sendFinished(const SmtpResult &result)
{
    // The job is in the middle of reporting: it goes once that is done.
    m_job.release()->deleteLater();
    m_lastAnswer = result.answer;
    if (!result.accepted) {
        logStatus(serviceText("msgMailFailed") + result.answer);
        schedule(m_retryMs);
        m_retryMs = qMin(m_retryMs * 2, m_timing.retryMaxMs);
        return;
    }
    m_retryMs = m_timing.retryFirstMs;
    markEvents(m_inFlight, MAILSENT_ACCEPTED);
    markEvents(m_inFlightLeftOut, MAILSENT_LEFT_OUT);
    logStatus(serviceText("msgMailSent").arg(m_inFlight.size()) + result.answer);
    m_inFlight.clear();
    m_inFlightLeftOut.clear();
    if (m_moreWaiting)
        schedule(0);
    else if (m_arrivedDuringSend)
        schedule(m_timing.gatherMs);
}

bool MailService::markEvents(const QList<qint64> &rows, int value)
{
    if (rows.isEmpty())
        return true;
    QString error;
    const bool ok = rsSqlGet2([&rows, value](QSqlDatabase &db, QString &err) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("update eventlog set mailsent=? where rowid=?"));
        for (const qint64 row : rows) {
            q.addBindValue(value);
            q.addBindValue(row);
            if (!q.exec()) {
                err = q.lastError().text();
                return false;
            }
        }
        return true;
    }, &error);
    if (!ok)
        logStatus(QStringLiteral("*Mail: mailsent not stored: ") + error);
    return ok;
}

} // namespace vantoro
