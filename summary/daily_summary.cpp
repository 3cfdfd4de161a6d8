// Gathering and wording the daily summary.
#include "summary/daily_summary.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "history/history_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <cmath>

namespace vantoro {

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

QString summaryText(const char *key)
{
    return langText(QStringLiteral("Summary"), QString::fromLatin1(key)).trimmed();
}

QString kwhText(double kwh)
{
    return QString::number(roundedKwh(kwh), 'f', 2);
}

QString minutesText(qint64 seconds)
{
    return QString::number(std::llround(double(seconds) / 60.0));
}

bool anyRow(QSqlDatabase &db, const QString &sql, const QVariantList &binds, bool &found, QString &error)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec()) {
        error = q.lastError().text();
        return false;
    }
    found = q.next();
    return true;
}

} // namespace

QDate summaryDayAt(const QDateTime &now, const QTime &time)
{
    // The wall clock, not an instant: a time in the hour summer time skips
    // falls due when the clock has passed it.
    const QDate today = now.date();
    return now.time() >= time ? today : today.addDays(-1);
}

bool summaryDue(const QDate &day, const QDate &lastSent, const QDate &today)
{
    if (!day.isValid())
        return false;
    if (!lastSent.isValid())
        return day == today;
    return day > lastSent;
}

qint64 summaryWaitMs(const QDateTime &now, const QTime &time, qint64 maxWaitMs)
{
    QDate day = now.date();
    if (now.time() >= time)
        day = day.addDays(1);
    const QDateTime next(day, time);
    qint64 wait = next.isValid() ? now.msecsTo(next) : maxWaitMs;
    if (wait <= 0)
        wait = maxWaitMs;
    return qBound(qint64(1000), wait, maxWaitMs);
}

std::optional<bool> stationRanOn(QSqlDatabase &db, const QDate &day, QString &error)
{
    bool found = false;
    if (!anyRow(db, QStringLiteral("select 1 from %1 where day = ? limit 1").arg(QLatin1String(YIELD_TABLE)),
                {day.toString(dayFormat)}, found, error))
        return std::nullopt;
    if (found)
        return true;
    // The day's own span, 23 or 25 hours on a summer-time switch.
    const qint64 from = day.startOfDay().toSecsSinceEpoch();
    const qint64 to = day.addDays(1).startOfDay().toSecsSinceEpoch();
    if (!anyRow(db, QStringLiteral("select 1 from %1 where t >= ? and t < ? limit 1").arg(QLatin1String(HISTORY_TABLE)),
                {from, to}, found, error))
        return std::nullopt;
    if (found)
        return true;
    if (!anyRow(db, QStringLiteral("select 1 from eventlog where logtime >= ? and logtime < ? limit 1"),
                {day.toString(dayFormat), day.addDays(1).toString(dayFormat)}, found, error))
        return std::nullopt;
    return found;
}

std::optional<DailySummary> loadDailySummary(QSqlDatabase &db, const QDate &day, const QList<DeviceInfo> &devices,
                                             const QList<DayYield> &current, QString &error)
{
    DailySummary s;
    s.day = day;
    for (const DeviceInfo &d : devices) {
        if (d.enabled)
            s.devices << SummaryDevice{d.id, {}, 0};
    }
    auto entry = [&s](const QString &id) -> SummaryDevice & {
        for (SummaryDevice &d : s.devices) {
            if (d.deviceId == id)
                return d;
        }
        s.devices << SummaryDevice{id, {}, 0};
        return s.devices.last();
    };
    const QDate first(day.year(), day.month(), 1);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select devid, sum(energy) from %1 where day >= ? and day < ? group by devid order by devid")
                  .arg(QLatin1String(YIELD_TABLE)));
    q.addBindValue(first.toString(dayFormat));
    q.addBindValue(day.toString(dayFormat));
    if (!q.exec()) {
        error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        entry(q.value(0).toString()).monthKwh = q.value(1).toDouble();
    QStringList withRow;
    q.prepare(QStringLiteral("select devid from %1 where day = ? order by devid").arg(QLatin1String(YIELD_TABLE)));
    q.addBindValue(day.toString(dayFormat));
    if (!q.exec()) {
        error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next())
        withRow << q.value(0).toString();
    for (const QString &id : std::as_const(withRow))
        entry(id).day = loadDayYield(db, id, day);
    for (const DayYield &d : current) {
        if (d.day == day)
            entry(d.deviceId).day = d;
    }
    for (SummaryDevice &d : s.devices) {
        d.day.deviceId = d.deviceId;
        d.day.day = day;
        d.monthKwh = roundedKwh(d.monthKwh + d.day.energyKwh);
        s.totalKwh += d.day.energyKwh;
        s.monthKwh += d.monthKwh;
        s.faults += d.day.faults;
    }
    s.totalKwh = roundedKwh(s.totalKwh);
    s.monthKwh = roundedKwh(s.monthKwh);
    return s;
}

AlertContent composeSummary(const DailySummary &summary, const QList<DeviceInfo> &devices, const QDateTime &sentAt)
{
    const QString name = sysSettings.Userfname.trimmed();
    const QString station = name.isEmpty() ? QStringLiteral("Vantoro") : QStringLiteral("Vantoro %1").arg(name);
    const QString day = summary.day.toString(dayFormat);
    AlertContent c;
    c.subject = QStringLiteral("[%1] ").arg(station) + summaryText("msgSubject").arg(day, kwhText(summary.totalKwh));
    QStringList lines;
    lines << summaryText("msgIntro").arg(day, station, sentAt.toString(QStringLiteral("yyyy-MM-dd HH:mm"))) << QString();
    for (const SummaryDevice &d : summary.devices) {
        const DayYield &y = d.day;
        const QString peak = y.peakPowerW
            ? summaryText("msgPeak").arg(QString::number(std::lround(*y.peakPowerW)), y.peakTime.toString(QStringLiteral("HH:mm")))
            : summaryText("msgNoPeak");
        QString line = summaryText("msgDevice")
                           .arg(deviceLabel(d.deviceId, devices), kwhText(y.energyKwh), peak, minutesText(y.asleepSeconds),
                                minutesText(y.lostSeconds), QString::number(y.faults), kwhText(d.monthKwh));
        if (y.flagged)
            line += QStringLiteral(" (") + yieldFlagText(y.flagged) + QLatin1Char(')');
        lines << line;
    }
    lines << summaryText("msgTotal").arg(kwhText(summary.totalKwh), QString::number(summary.faults), kwhText(summary.monthKwh));
    c.body = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return c;
}

} // namespace vantoro
