// The daily summary service.
#include "summary/summary_service.h"

#include "core/background_write.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "events/event_log.h"
#include "mail/smtp_job.h"
#include "notices/notice_channels.h"
#include "summary/daily_summary.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <utility>

namespace vantoro {

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString serviceText(const char *key)
{
    return langText(QStringLiteral("Summary"), QString::fromLatin1(key)).trimmed();
}

QString noticeReceiver(qint64 channel)
{
    return QStringLiteral("notice:%1").arg(channel);
}

} // namespace

QHash<QString, QDate> storedSummaryDays(QString &error)
{
    QHash<QString, QDate> days;
    const auto rows = rsSqlGet(QStringLiteral("select receiver, day from summarysent"), {}, &error);
    if (!rows)
        return days;
    for (int i = 0; i < rows->recordCount(); ++i)
        days.insert(rows->text(i, QStringLiteral("receiver")),
                    QDate::fromString(rows->text(i, QStringLiteral("day")), dayFormat));
    return days;
}

bool storeSummaryDay(const QString &receiver, const QDate &day, const QDateTime &sentAt, QString &error)
{
    // A day never moves back, so a late mark of an older day changes nothing.
    return rsSqlGet2([&](QSqlDatabase &db, QString &err) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into summarysent (receiver, day, senttime) values (?, ?, ?) "
                                 "on conflict(receiver) do update set day = excluded.day, senttime = excluded.senttime "
                                 "where excluded.day > summarysent.day"));
        q.addBindValue(receiver);
        q.addBindValue(day.toString(dayFormat));
        q.addBindValue(sentAt.toString(timeFormat));
        if (!q.exec()) {
            err = q.lastError().text();
            return false;
        }
        return true;
    }, &error);
}

struct SummaryService::Receiver
{
    QString name;
    QString url;              // a notice channel's
    QDate lastSent;           // accepted, stored or not
    QDate unmarked;           // accepted and not stored yet
    QDateTime unmarkedAt;
    QDate inFlight;
    QDateTime inFlightAt;
    std::unique_ptr<SmtpJob> mailJob;
    std::unique_ptr<AppriseJob> noticeJob;
    QTimer retry;
    int retryMs = 0;
    bool seen = false;        // still wanted by the settings of the last look

    bool sending() const { return mailJob || noticeJob; }
};

// What a look at the database found, handed from the worker.
struct SummaryService::Look
{
    QDate day;
    QDate today;
    SummarySettingsText settings;
    QList<NoticeChannel> channels;
    QHash<QString, QDate> stored;
    QStringList due;
    bool ran = false;
    std::optional<DailySummary> summary;
    QString error;
};

SummaryService::SummaryService(SummaryTiming timing, QObject *parent)
    : QObject(parent)
    , m_timing(std::move(timing))
{
    setClock({});
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SummaryService::check);
    m_markRetry.setSingleShot(true);
    connect(&m_markRetry, &QTimer::timeout, this, &SummaryService::storeMarks);
    m_markRetryMs = m_timing.markRetryFirstMs;
}

SummaryService::~SummaryService()
{
    stop();
}

void SummaryService::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

void SummaryService::setCurrentDays(CurrentDays days)
{
    m_currentDays = std::move(days);
}

void SummaryService::start()
{
    if (m_started)
        return;
    m_started = true;
    m_connections << connect(&stationBus(), &StationBus::settingsSaved, this, [this] {
        // New channels or a new time: every receiver is judged afresh.
        m_settledDay = QDate();
        scheduleCheck(0);
    });
    scheduleCheck(m_timing.startMs);
}

void SummaryService::stop()
{
    if (!m_started)
        return;
    m_started = false;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_timer.stop();
    m_markRetry.stop();
    m_look.reset();
    m_checkAgain = false;
    m_marker.reset();
    // What stays unrecorded goes a second time after the next start.
    for (const auto &r : std::as_const(m_receivers)) {
        QString error;
        if (r->unmarked.isValid() && !storeSummaryDay(r->name, r->unmarked, r->unmarkedAt, error))
            logStatus(QStringLiteral("*Summary: sent day not stored: ") + error);
    }
    m_receivers.clear();
    m_settledDay = QDate();
}

SummaryService::Receiver &SummaryService::receiver(const QString &name)
{
    std::shared_ptr<Receiver> &r = m_receivers[name];
    if (!r) {
        r = std::make_shared<Receiver>();
        r->name = name;
        r->retryMs = m_timing.retryFirstMs;
        r->retry.setSingleShot(true);
        connect(&r->retry, &QTimer::timeout, this, &SummaryService::check);
    }
    return *r;
}

bool SummaryService::busy() const
{
    for (const auto &r : m_receivers) {
        if (r->sending())
            return true;
    }
    return false;
}

void SummaryService::scheduleCheck(int delayMs)
{
    if (m_started)
        m_timer.start(qMax(0, delayMs));
}

void SummaryService::check()
{
    if (!m_started)
        return;
    const SummarySettingsText settings = storedSummarySettings();
    const std::optional<QTime> time = parseSummaryTime(settings.time);
    if (!time || (!settings.byMail && !settings.byNotice)) {
        m_timer.stop();
        return;
    }
    const QDateTime now = m_clock();
    scheduleCheck(int(summaryWaitMs(now, *time, m_timing.checkMaxMs)));
    const QDate day = summaryDayAt(now, *time);
    // One look at a time; a check asked for meanwhile follows it.
    if (m_look) {
        m_checkAgain = true;
        return;
    }
    // A send in flight reports first.
    if (busy() || day == m_settledDay)
        return;
    QHash<QString, QDate> known;
    for (const auto &r : std::as_const(m_receivers))
        known.insert(r->name, r->lastSent);
    const QList<DeviceInfo> devices = stationBus().devices();
    const QList<DayYield> current = m_currentDays ? m_currentDays() : QList<DayYield>();
    const MailSettingsText mail = storedMailSettings();
    MailSettingsText mailServer = mail;
    mailServer.enabled = true;
    const bool mailUsable = settings.byMail && validateMailSettings(mailServer).isEmpty();
    auto look = std::make_shared<Look>();
    look->day = day;
    look->today = now.date();
    look->settings = settings;
    m_look = std::make_unique<BackgroundWrite>(
        [look, known, devices, current, mailUsable](QString &error) {
            look->stored = storedSummaryDays(error);
            if (!error.isEmpty())
                return false;
            QStringList wanted;
            if (mailUsable)
                wanted << QString::fromLatin1(SUMMARY_MAIL_RECEIVER);
            if (look->settings.byNotice) {
                look->channels = storedNoticeChannels(&error);
                if (!error.isEmpty())
                    return false;
                for (const NoticeChannel &c : std::as_const(look->channels))
                    wanted << noticeReceiver(c.id);
            }
            for (const QString &name : std::as_const(wanted)) {
                const QDate last = std::max(look->stored.value(name), known.value(name));
                if (summaryDue(look->day, last, look->today))
                    look->due << name;
            }
            if (look->due.isEmpty())
                return true;
            look->ran = std::any_of(current.cbegin(), current.cend(), [&](const DayYield &d) { return d.day == look->day; });
            DbConnection connection(QString(), DbConnection::Access::ReadOnly);
            if (!connection.isOpen()) {
                error = connection.errorText();
                return false;
            }
            QSqlDatabase db = connection.database();
            if (!look->ran) {
                const std::optional<bool> ran = stationRanOn(db, look->day, error);
                if (!ran)
                    return false;
                look->ran = *ran;
            }
            if (look->ran)
                look->summary = loadDailySummary(db, look->day, devices, current, error);
            return !look->ran || look->summary.has_value();
        },
        [this, look](bool ok, const QString &error) {
            m_look.release()->deleteLater();
            if (ok)
                lookFinished(*look);
            else
                logStatus(QStringLiteral("*Summary: the day could not be read: ") + error);
            if (std::exchange(m_checkAgain, false))
                scheduleCheck(0);
        });
}

void SummaryService::lookFinished(const Look &look)
{
    if (!m_started)
        return;
    for (const auto &r : std::as_const(m_receivers))
        r->seen = false;
    if (look.settings.byMail)
        receiver(QString::fromLatin1(SUMMARY_MAIL_RECEIVER)).seen = true;
    for (const NoticeChannel &c : look.channels) {
        Receiver &r = receiver(noticeReceiver(c.id));
        r.url = c.url;
        r.seen = true;
    }
    for (auto it = look.stored.cbegin(); it != look.stored.cend(); ++it) {
        if (m_receivers.contains(it.key()))
            m_receivers[it.key()]->lastSent = std::max(m_receivers[it.key()]->lastSent, it.value());
    }
    // A receiver no longer wanted is dropped, unless it still has a mark to store.
    m_receivers.removeIf([](const auto &entry) { return !entry.value()->seen && !entry.value()->unmarked.isValid(); });
    if (!look.ran) {
        // Off all day, or nothing left to send: nothing more for this day.
        if (!look.due.isEmpty())
            logStatus(serviceText("msgSkipped").arg(look.day.toString(dayFormat)));
        m_settledDay = look.day;
        return;
    }
    bool waiting = false;
    for (const QString &name : look.due) {
        Receiver &r = receiver(name);
        if (r.retry.isActive()) {
            waiting = true;
            continue;
        }
        if (!r.sending() && !(r.lastSent >= look.day))
            send(r, *look.summary);
    }
    if (!waiting && !busy())
        m_settledDay = look.day;
}

void SummaryService::send(Receiver &r, const DailySummary &summary)
{
    const QDateTime now = m_clock();
    const AlertContent content = composeSummary(summary, stationBus().devices(), now);
    r.inFlight = summary.day;
    r.inFlightAt = now;
    ++m_sends;
    const QString name = r.name;
    if (name == QLatin1String(SUMMARY_MAIL_RECEIVER)) {
        const SmtpConfig config = smtpConfigFrom(storedMailSettings());
        QString body = content.body;
        body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        r.mailJob = std::make_unique<SmtpJob>(config, composeStationMail(config, content.subject, body, now),
                                              [this, name](const SmtpResult &result) {
                                                  sendFinished(name, result.accepted, result.answer);
                                              });
    } else {
        r.noticeJob = std::make_unique<AppriseJob>(m_timing.program, r.url, content.subject, content.body.trimmed(),
                                                   m_timing.noticeTimeoutMs, [this, name](const NoticeResult &result) {
                                                       sendFinished(name, result.accepted, result.answer);
                                                   });
    }
}

void SummaryService::sendFinished(const QString &name, bool accepted, const QString &answer)
{
    const auto it = m_receivers.constFind(name);
    if (it == m_receivers.constEnd())
        return;
    Receiver &r = **it;
    // The job is in the middle of reporting: it goes once that is done.
    if (r.mailJob)
        r.mailJob.release()->deleteLater();
    if (r.noticeJob)
        r.noticeJob.release()->deleteLater();
    const QString shown = name.startsWith(QLatin1String("notice:")) ? maskNoticeUrl(r.url) : name;
    if (!accepted) {
        logStatus(serviceText("msgFailed").arg(r.inFlight.toString(dayFormat), shown) + QLatin1Char(' ') + answer);
        r.retry.start(r.retryMs);
        r.retryMs = qMin(r.retryMs * 2, m_timing.retryMaxMs);
        return;
    }
    logStatus(serviceText("msgSent").arg(r.inFlight.toString(dayFormat), shown) + QLatin1Char(' ') + answer);
    r.retryMs = m_timing.retryFirstMs;
    r.lastSent = std::max(r.lastSent, r.inFlight);
    r.unmarked = r.lastSent;
    r.unmarkedAt = r.inFlightAt;
    storeMarks();
    // The others of this day may all be done now.
    if (!busy())
        scheduleCheck(0);
}

void SummaryService::storeMarks()
{
    if (!m_started || m_marker)
        return;
    QList<std::tuple<QString, QDate, QDateTime>> marks;
    for (const auto &r : std::as_const(m_receivers)) {
        if (r->unmarked.isValid())
            marks << std::tuple{r->name, r->unmarked, r->unmarkedAt};
    }
    if (marks.isEmpty())
        return;
    m_marker = std::make_unique<BackgroundWrite>(
        [marks](QString &error) {
            for (const auto &[name, day, at] : marks) {
                if (!storeSummaryDay(name, day, at, error))
                    return false;
            }
            return true;
        },
        [this, marks](bool ok, const QString &error) {
            m_marker.release()->deleteLater();
            if (!ok) {
                logStatus(QStringLiteral("*Summary: sent day not stored, trying again in %1 s: ").arg(m_markRetryMs / 1000.0)
                          + error);
                m_markRetry.start(m_markRetryMs);
                m_markRetryMs = qMin(m_markRetryMs * 2, m_timing.markRetryMaxMs);
                return;
            }
            m_markRetryMs = m_timing.markRetryFirstMs;
            for (const auto &[name, day, at] : marks) {
                const auto it = m_receivers.constFind(name);
                // A later day accepted meanwhile stays to be stored.
                if (it != m_receivers.constEnd() && (*it)->unmarked == day)
                    (*it)->unmarked = QDate();
            }
            storeMarks();
        });
}

} // namespace vantoro
