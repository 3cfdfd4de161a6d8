// The mail alert service.
#include "mail/mail_service.h"

#include "core/background_write.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
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

// The language file's reader drops the space its texts end with.
QString withAnswer(const QString &lead, const QString &answer)
{
    return lead.trimmed() + QLatin1Char(' ') + answer;
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
    const auto rows = rsSqlGet(QStringLiteral("select rowid as rid, devid, eventname, logtime from eventlog "
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
            b.fresh << MailEvent{row, time, text, rows->text(i, QStringLiteral("devid")).trimmed()};
    }
    return b;
}

// Stores the marks in one transaction on a connection of the calling
// thread, waiting for the database as long as its busy timeout allows.
bool storeMailsent(const QList<qint64> &accepted, const QList<qint64> &leftOut, QString &error)
{
    return rsSqlGet2([&](QSqlDatabase &db, QString &err) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("update eventlog set mailsent=? where rowid=?"));
        for (const auto &[rows, value] : {std::pair{&accepted, MAILSENT_ACCEPTED}, std::pair{&leftOut, MAILSENT_LEFT_OUT}}) {
            for (const qint64 row : *rows) {
                q.addBindValue(value);
                q.addBindValue(row);
                if (!q.exec()) {
                    err = q.lastError().text();
                    return false;
                }
            }
        }
        return true;
    }, &error);
}

} // namespace

MailService::MailService(MailTiming timing, QObject *parent)
    : QObject(parent)
    , m_timing(timing)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MailService::sendPending);
    m_markRetry.setSingleShot(true);
    connect(&m_markRetry, &QTimer::timeout, this, &MailService::storeMarks);
    m_markRetryMs = m_timing.markRetryFirstMs;
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
    m_markRetry.stop();
    m_job.reset();
    m_inFlight.clear();
    m_inFlightLeftOut.clear();
    m_marker.reset(); // waits; its report is dropped with it
    // One last try for marks the database refused: polling is over, and
    // what stays unmarked goes out a second time after the next start.
    QString error;
    if ((!m_unmarkedAccepted.isEmpty() || !m_unmarkedLeftOut.isEmpty())
        && !storeMailsent(m_unmarkedAccepted, m_unmarkedLeftOut, error))
        logStatus(QStringLiteral("*Mail: mailsent not stored: ") + error);
    m_unmarkedAccepted.clear();
    m_unmarkedLeftOut.clear();
    m_sendHeld = false;
}

void MailService::applySettings()
{
    m_retryMs = m_timing.retryFirstMs;
    if (!active()) {
        m_timer.stop();
        showState(QString());
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
    // The backlog would still hold the events of the last mail.
    if (m_marker || !m_unmarkedAccepted.isEmpty() || !m_unmarkedLeftOut.isEmpty()) {
        m_sendHeld = true;
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    Backlog backlog = loadBacklog(now);
    if (backlog.fresh.isEmpty()) {
        if (!backlog.tooOld.isEmpty()) {
            logStatus(serviceText("msgMailLeftOut").arg(backlog.tooOld.size()).arg(MAIL_MAX_AGE_HOURS));
            m_unmarkedLeftOut << backlog.tooOld;
            storeMarks();
        }
        return;
    }
    m_moreWaiting = backlog.fresh.size() > MAIL_EVENTS_PER_MESSAGE;
    const QList<MailEvent> events = backlog.fresh.mid(0, MAIL_EVENTS_PER_MESSAGE);
    const AlertContent content = composeAlert(events, int(backlog.tooOld.size()), stationBus().devices());
    const SmtpConfig config = smtpConfigFrom(m_settings);

    m_inFlight.clear();
    for (const MailEvent &e : events)
        m_inFlight << e.rowId;
    m_inFlightLeftOut = backlog.tooOld;
    m_arrivedDuringSend = false;
    ++m_sends;
    m_job = std::make_unique<SmtpJob>(config, composeStationMail(config, content.subject, content.body, now),
                                      [this](const SmtpResult &r) { sendFinished(r); });
}

void MailService::sendFinished(const SmtpResult &result)
{
    // The job is in the middle of reporting: it goes once that is done.
    m_job.release()->deleteLater();
    m_lastAnswer = result.answer;
    if (!result.accepted) {
        const QString line = withAnswer(serviceText("msgMailFailed"), result.answer);
        logStatus(line);
        showState(line);
        schedule(m_retryMs);
        m_retryMs = qMin(m_retryMs * 2, m_timing.retryMaxMs);
        return;
    }
    m_retryMs = m_timing.retryFirstMs;
    const QString line = withAnswer(serviceText("msgMailSent").arg(m_inFlight.size()), result.answer);
    logStatus(line);
    showState(line);
    m_unmarkedAccepted << m_inFlight;
    m_unmarkedLeftOut << m_inFlightLeftOut;
    m_inFlight.clear();
    m_inFlightLeftOut.clear();
    storeMarks();
}

void MailService::storeMarks()
{
    if (!m_started || m_marker)
        return;
    if (m_unmarkedAccepted.isEmpty() && m_unmarkedLeftOut.isEmpty()) {
        afterMarks();
        return;
    }
    const QList<qint64> accepted = m_unmarkedAccepted;
    const QList<qint64> leftOut = m_unmarkedLeftOut;
    m_marker = std::make_unique<BackgroundWrite>(
        [accepted, leftOut](QString &error) { return storeMailsent(accepted, leftOut, error); },
        [this, accepted = accepted.size(), leftOut = leftOut.size()](bool ok, const QString &error) {
            // It is in the middle of reporting: it goes once that is done.
            m_marker.release()->deleteLater();
            marksStored(ok, error, accepted, leftOut);
        });
}

void MailService::marksStored(bool ok, const QString &error, qsizetype accepted, qsizetype leftOut)
{
    if (!ok) {
        logStatus(QStringLiteral("*Mail: mailsent not stored, trying again in %1 s: ").arg(m_markRetryMs / 1000.0) + error);
        m_markRetry.start(m_markRetryMs);
        m_markRetryMs = qMin(m_markRetryMs * 2, m_timing.markRetryMaxMs);
        return;
    }
    m_markRetryMs = m_timing.markRetryFirstMs;
    // Marks that fell due while these were stored stay for the next round.
    m_unmarkedAccepted.remove(0, accepted);
    m_unmarkedLeftOut.remove(0, leftOut);
    storeMarks();
}

void MailService::afterMarks()
{
    if (m_moreWaiting || m_sendHeld)
        schedule(0);
    else if (m_arrivedDuringSend)
        schedule(m_timing.gatherMs);
    m_moreWaiting = false;
    m_sendHeld = false;
    m_arrivedDuringSend = false;
}

void MailService::showState(const QString &text)
{
    if (text == m_stateText)
        return;
    m_stateText = text;
    stationBus().publishServiceState(QStringLiteral("mail"), text);
}

} // namespace vantoro
