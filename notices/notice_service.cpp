// The notice service.
#include "notices/notice_service.h"

#include "core/background_write.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "events/event_log.h"
#include "notices/notice_text.h"

#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString serviceText(const char *key)
{
    return langText(QStringLiteral("Application"), QString::fromLatin1(key)).trimmed();
}

} // namespace

struct NoticeService::Channel
{
    NoticeChannel stored;
    QTimer timer;
    std::unique_ptr<AppriseJob> job;
    QList<Mark> inFlight;
    int retryMs = 0;
    bool arrivedDuringSend = false;
    bool moreWaiting = false;
    bool sendHeld = false;
    QString state;
};

namespace {

struct Backlog
{
    QList<NoticeEvent> fresh;
    QList<std::pair<qint64, QString>> tooOld;
};

// The channel's undelivered events since it was added, oldest first. A
// delivery row counts only with its event's time, so a log cleared and
// refilled (rowids used again) is not taken as delivered.
std::optional<Backlog> loadBacklog(const NoticeChannel &channel, const QDateTime &now)
{
    QString error;
    const auto rows = rsSqlGet(
        QStringLiteral("select e.rowid as rid, e.devid, e.eventname, e.logtime from eventlog e "
                       "where e.logtime >= ? and e.eventname not like '*%' and not exists "
                       "(select 1 from noticesent n where n.channel = ? and n.eventrow = e.rowid and n.logtime = e.logtime) "
                       "order by e.logtime, e.rowid"),
        {channel.added.toString(timeFormat), channel.id}, &error);
    if (!rows) {
        logStatus(QStringLiteral("*Notices: events not read: ") + error);
        return std::nullopt;
    }
    Backlog b;
    const QDateTime oldest = now.addSecs(-qint64(MAIL_MAX_AGE_HOURS) * 3600);
    for (int i = 0; i < rows->recordCount(); ++i) {
        const QString text = rows->text(i, QStringLiteral("eventname"));
        if (!isMailEvent(text))
            continue;
        const qint64 row = rows->value(i, QStringLiteral("rid")).toLongLong();
        const QString logtime = rows->text(i, QStringLiteral("logtime"));
        const QDateTime time = QDateTime::fromString(logtime, timeFormat);
        if (!time.isValid() || time < oldest)
            b.tooOld << std::pair{row, logtime};
        else
            b.fresh << NoticeEvent{MailEvent{row, time, text}, rows->text(i, QStringLiteral("devid"))};
    }
    return b;
}

} // namespace

bool storeNoticeDeliveries(const QList<NoticeDelivery> &deliveries, QString &error)
{
    return rsSqlGet2([&](QSqlDatabase &db, QString &err) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert or replace into noticesent (eventrow, logtime, channel, state) values (?, ?, ?, ?)"));
        for (const NoticeDelivery &d : deliveries) {
            q.addBindValue(d.row);
            q.addBindValue(d.logtime);
            q.addBindValue(d.channel);
            q.addBindValue(d.state);
            if (!q.exec()) {
                err = q.lastError().text();
                return false;
            }
        }
        return true;
    }, &error);
}

NoticeService::NoticeService(NoticeTiming timing, QObject *parent)
    : QObject(parent)
    , m_timing(std::move(timing))
{
    m_markRetry.setSingleShot(true);
    connect(&m_markRetry, &QTimer::timeout, this, &NoticeService::storeMarks);
    m_markRetryMs = m_timing.markRetryFirstMs;
}

NoticeService::~NoticeService()
{
    stop();
}

void NoticeService::start()
{
    if (m_started)
        return;
    m_started = true;
    m_connections << connect(&stationBus(), &StationBus::eventStored, this, &NoticeService::eventStored)
                  << connect(&stationBus(), &StationBus::settingsSaved, this, &NoticeService::loadChannels);
    loadChannels();
}

void NoticeService::stop()
{
    if (!m_started)
        return;
    m_started = false;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_markRetry.stop();
    m_channels.clear();
    m_marker.reset();
    // What stays unmarked goes out a second time after the next start.
    QString error;
    if (!m_unmarked.isEmpty()) {
        const QList<Mark> marks = m_unmarked;
        if (!storeNoticeDeliveries(marks, error))
            logStatus(QStringLiteral("*Notices: deliveries not stored: ") + error);
    }
    m_unmarked.clear();
    showState();
}

void NoticeService::loadChannels()
{
    QString error;
    const QList<NoticeChannel> stored = storedNoticeChannels(&error);
    if (!error.isEmpty()) {
        logStatus(QStringLiteral("*Notices: channels not read: ") + error);
        return;
    }
    std::vector<std::unique_ptr<Channel>> kept;
    for (const NoticeChannel &s : stored) {
        std::unique_ptr<Channel> c;
        for (auto &old : m_channels) {
            if (old && old->stored.id == s.id && old->stored.url == s.url)
                c = std::move(old);
        }
        if (!c) {
            c = std::make_unique<Channel>();
            c->stored = s;
            c->retryMs = m_timing.retryFirstMs;
            c->timer.setSingleShot(true);
            Channel *raw = c.get();
            connect(&c->timer, &QTimer::timeout, this, [this, raw] { sendPending(*raw); });
            c->timer.start(m_timing.startMs);
        }
        kept.push_back(std::move(c));
    }
    // A removed channel's run is killed with it.
    m_channels = std::move(kept);
    showState();
}

NoticeService::Channel *NoticeService::channel(qint64 id) const
{
    for (const auto &c : m_channels) {
        if (c->stored.id == id)
            return c.get();
    }
    return nullptr;
}

bool NoticeService::held(qint64 channel) const
{
    for (const Mark &m : m_unmarked) {
        if (m.channel == channel)
            return true;
    }
    return false;
}

void NoticeService::eventStored(const StoredEvent &event)
{
    // All the poll path pays is a timer per channel: which events go out
    // (the language files' texts, in both languages) is judged when the
    // gathered backlog is read, after the cycle.
    if (m_channels.empty() || event.text.startsWith(QLatin1Char('*')))
        return;
    for (const auto &c : m_channels) {
        if (c->job)
            c->arrivedDuringSend = true;
        else if (!c->timer.isActive())
            c->timer.start(m_timing.gatherMs);
    }
}

void NoticeService::sendPending(Channel &c)
{
    if (!m_started || c.job)
        return;
    // Its backlog would still hold the events of the last notice.
    if (held(c.stored.id)) {
        c.sendHeld = true;
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const std::optional<Backlog> backlog = loadBacklog(c.stored, now);
    if (!backlog) {
        c.timer.start(c.retryMs);
        return;
    }
    QList<Mark> leftOut;
    for (const auto &[row, logtime] : backlog->tooOld)
        leftOut << Mark{c.stored.id, row, logtime, NOTICE_LEFT_OUT};
    if (!leftOut.isEmpty())
        logStatus(serviceText("msgMailLeftOut").arg(leftOut.size()).arg(MAIL_MAX_AGE_HOURS));
    if (backlog->fresh.isEmpty()) {
        m_unmarked << leftOut;
        storeMarks();
        return;
    }
    c.moreWaiting = backlog->fresh.size() > MAIL_EVENTS_PER_MESSAGE;
    const QList<NoticeEvent> events = backlog->fresh.mid(0, MAIL_EVENTS_PER_MESSAGE);
    const AlertContent content = composeNotice(events, int(leftOut.size()));
    c.inFlight = leftOut;
    for (const NoticeEvent &e : events)
        c.inFlight << Mark{c.stored.id, e.event.rowId, e.event.time.toString(timeFormat), NOTICE_ACCEPTED};
    c.arrivedDuringSend = false;
    ++m_sends;
    const qint64 id = c.stored.id;
    c.job = std::make_unique<AppriseJob>(m_timing.program, c.stored.url, content.subject, content.body,
                                         m_timing.timeoutMs, [this, id](const NoticeResult &r) { sendFinished(id, r); });
}

void NoticeService::sendFinished(qint64 channelId, const NoticeResult &result)
{
    Channel *c = channel(channelId);
    if (!c || !c->job)
        return;
    // The job is in the middle of reporting: it goes once that is done.
    c->job.release()->deleteLater();
    const QString name = maskNoticeUrl(c->stored.url);
    if (!result.accepted) {
        c->state = serviceText("msgNoticeFailed").arg(name) + QLatin1Char(' ') + result.answer;
        logStatus(c->state);
        showState();
        c->inFlight.clear();
        c->timer.start(c->retryMs);
        c->retryMs = qMin(c->retryMs * 2, m_timing.retryMaxMs);
        return;
    }
    c->retryMs = m_timing.retryFirstMs;
    qsizetype sent = 0;
    for (const Mark &m : std::as_const(c->inFlight))
        sent += m.state == NOTICE_ACCEPTED ? 1 : 0;
    logStatus(serviceText("msgNoticeSent").arg(sent).arg(name) + QLatin1Char(' ') + result.answer);
    c->state.clear();
    showState();
    m_unmarked << c->inFlight;
    c->inFlight.clear();
    // Until its marks are stored the channel waits; marksStored resumes it.
    c->sendHeld = c->sendHeld || c->moreWaiting;
    c->moreWaiting = false;
    storeMarks();
}

void NoticeService::storeMarks()
{
    if (!m_started || m_marker || m_unmarked.isEmpty())
        return;
    const QList<Mark> marks = m_unmarked;
    m_marker = std::make_unique<BackgroundWrite>(
        [marks](QString &error) { return storeNoticeDeliveries(marks, error); },
        [this, count = marks.size()](bool ok, const QString &error) {
            m_marker.release()->deleteLater();
            marksStored(ok, error, count);
        });
}

void NoticeService::marksStored(bool ok, const QString &error, qsizetype count)
{
    if (!ok) {
        logStatus(QStringLiteral("*Notices: deliveries not stored, trying again in %1 s: ").arg(m_markRetryMs / 1000.0) + error);
        m_markRetry.start(m_markRetryMs);
        m_markRetryMs = qMin(m_markRetryMs * 2, m_timing.markRetryMaxMs);
        return;
    }
    m_markRetryMs = m_timing.markRetryFirstMs;
    m_unmarked.remove(0, count);
    for (const auto &c : m_channels) {
        if (c->job || held(c->stored.id))
            continue;
        if (c->sendHeld)
            c->timer.start(0);
        else if (c->arrivedDuringSend)
            c->timer.start(m_timing.gatherMs);
        c->sendHeld = false;
        c->arrivedDuringSend = false;
    }
    storeMarks();
}

void NoticeService::showState()
{
    QStringList states;
    for (const auto &c : m_channels) {
        if (!c->state.isEmpty())
            states << c->state;
    }
    const QString text = states.join(QStringLiteral("; "));
    if (text == m_stateText)
        return;
    m_stateText = text;
    stationBus().publishServiceState(QStringLiteral("notices"), text);
}

} // namespace vantoro
