// Status and event log writers.
#include "events/event_log.h"

#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_query.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

StatusSink *statusSink = nullptr;
QString runningLog;
// The 13-minute rule runs per device: one device's events never make
// another's repeat look new.
struct EventThrottle
{
    QDateTime lastEventTime;
    QString lastUnforcedKey;   // of the last stored unforced event
};
QHash<QString, EventThrottle> throttles;
std::function<QDateTime()> eventClock;

QDateTime now()
{
    return eventClock ? eventClock() : QDateTime::currentDateTime();
}

} // namespace

void setEventClock(std::function<QDateTime()> clock)
{
    eventClock = std::move(clock);
}

void setStatusSink(StatusSink *sink)
{
    statusSink = sink;
}

const QString &runningLogText()
{
    return runningLog;
}

void clearRunningLog()
{
    runningLog.clear();
}

QString runningLogLine(const QString &text, const QDateTime &when, bool debugMode)
{
    const QTime t = when.time();
    const QString time = QStringLiteral("%1:%2:%3.%4")
                             .arg(t.hour(), 2, 10, QLatin1Char('0'))
                             .arg(t.minute(), 2, 10, QLatin1Char('0'))
                             .arg(t.second(), 2, 10, QLatin1Char('0'))
                             .arg(t.msec() / 10, 2, 10, QLatin1Char('0'));
    if (debugMode)
        return QLatin1Char('[') + time + QLatin1String("] ") + text;
    return QLatin1Char('[') + when.date().toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + time
        + QLatin1String("] ") + text;
}

bool appendToRunningLog(QString &log, const QString &line)
{
    bool trimmed = false;
    if (log.size() > RUNNING_LOG_LIMIT) {
        log = log.right(RUNNING_LOG_KEEP);
        trimmed = true;
    }
    log += line + QLatin1String("\r\n");
    return trimmed;
}

static void appendLine(const QString &text)
{
    // One reading of the clock gives date and time together, so a line
    // written at midnight never pairs one day's date with the next day's time.
    const QString line = runningLogLine(text, now(), sysSettings.debugMode != 0);
    const bool trimmed = appendToRunningLog(runningLog, line);
    if (statusSink)
        statusSink->runningLogChanged(line, trimmed);
    pauseMs(0);
}

void logStatus(const QString &text, bool statusOnly)
{
    if (statusSink)
        statusSink->showStatus(text);
    if (statusOnly || text == QStringLiteral("状态") || text.toLower() == QLatin1String("status"))
        return;
    appendLine(text);
}

namespace {
bool logDetails = false;
} // namespace

void setRunningLogDetails(bool on)
{
    logDetails = on;
}

bool runningLogDetails()
{
    return logDetails;
}

void logDetail(const QString &text)
{
    logStatus(text, !logDetails);
}

void logTrace(const QString &text)
{
    if (logDetails)
        appendLine(text);
}

namespace {

bool storeEvent(const QString &text, const QString &devid, const QDateTime &storedAt, bool force)
{
    QString error;
    qint64 rowId = 0;
    const QString storedText = leftChars(text, EVENT_TEXT_LIMIT);
    const bool stored = execSql(
        QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values (?, ?, ?, 0)"),
        {devid, storedText, storedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}, &error, &rowId);
    if (!stored) {
        // The station keeps running; the event is not lost from view.
        logStatus(QLatin1String(EVENT_NOT_STORED) + QStringLiteral(" (%1): %2").arg(error, text));
        return false;
    }
    logStatus(langText(QStringLiteral("Application"), QStringLiteral("SysEvent")) + text);
    stationBus().publishEvent({rowId, storedAt, devid, storedText, force});
    return true;
}

} // namespace

bool logEvent(const QString &text, const QString &devid, const QString &repeatKey, bool force)
{
    const QDateTime storedAt = now();
    const QString key = repeatKey.isEmpty() ? text : repeatKey;
    EventThrottle &t = throttles[devid];
    const QDateTime &lastEventTime = t.lastEventTime;
    // A clock set back makes the last event lie in the future; the window is
    // then over rather than stretched by the amount the clock moved.
    const bool withinWindow = lastEventTime.isValid() && lastEventTime <= storedAt
        && lastEventTime.secsTo(storedAt) < EVENT_QUIET_MINUTES * 60;
    if (!force && sysSettings.debugMode == 0 && withinWindow && key == t.lastUnforcedKey)
        return false;
    // A row that was not stored leaves the window as it was, so the next
    // report is tried again.
    if (!storeEvent(text, devid, storedAt, force))
        return false;
    t.lastEventTime = storedAt;
    if (!force)
        t.lastUnforcedKey = key;
    return true;
}

bool logOperatorAction(const QString &text, const QString &devid)
{
    return storeEvent(text, devid, now(), true);
}

void resetEventThrottle()
{
    throttles.clear();
}

void reportError(const QString &context, const QString &description, int number, const QString &source)
{
    const QString text = context.trimmed() + QLatin1String(": Error found # ") + QString::number(number)
        + QLatin1String(" from ") + source + QLatin1Char('\n') + description;
    // Raised from the poll path: a box that waited for the operator would
    // hold the cycle under it.
    messages().notify(QStringLiteral(" Error "), text, MessageIcon::None);
}

} // namespace vantoro
