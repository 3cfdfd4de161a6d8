// The daily summary of a plant: per device the day's yield, peak power and
// its time, time asleep and lost, faults and the month so far, and the
// totals; when it falls due; whether the station ran that day; its wording.
#pragma once

#include "core/station_bus.h"
#include "history/daily_yield.h"
#include "mail/mail_events.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QTime>
#include <optional>

namespace vantoro {

struct SummaryDevice
{
    QString deviceId;
    DayYield day;           // the day's row (an empty one when none)
    double monthKwh = 0;    // from the first of the month up to the day
};

struct DailySummary
{
    QDate day;
    QList<SummaryDevice> devices;
    double totalKwh = 0;
    double monthKwh = 0;
    int faults = 0;
};

// The day whose summary is due at `now`: today once its time has come on the
// wall clock, else yesterday (an evening the station missed). Only the most
// recent day ever falls due; earlier missed days are not sent.
QDate summaryDayAt(const QDateTime &now, const QTime &time);
// Whether a receiver that last accepted `lastSent` (invalid: never) gets the
// summary of `day`. A receiver that never had one starts with today's, so
// switching the summary on does not send last night's.
bool summaryDue(const QDate &day, const QDate &lastSent, const QDate &today);
// The next moment the clock should be looked at for `time`, never later
// than `maxWaitMs` from `now` (a clock set or a summer-time switch is then
// noticed); at least one second.
qint64 summaryWaitMs(const QDateTime &now, const QTime &time, qint64 maxWaitMs);

// Whether the station ran on `day`: a yield row, a history sample or an
// event of that local day. nullopt with `error` when the tables cannot be read.
std::optional<bool> stationRanOn(QSqlDatabase &db, const QDate &day, QString &error);

// The summary of `day` from the daily yield. `current` holds days the
// recorder has not written yet; a device's row of `day` there replaces the
// stored one. Devices of `devices` come first in their order, then any
// other device with a row.
std::optional<DailySummary> loadDailySummary(QSqlDatabase &db, const QDate &day, const QList<DeviceInfo> &devices,
                                             const QList<DayYield> &current, QString &error);

// Subject naming the station and the day; a plain-text body with a line per
// device and one for the totals, lines ending in "\n". In the station's
// language: call on the application's thread.
AlertContent composeSummary(const DailySummary &summary, const QList<DeviceInfo> &devices, const QDateTime &sentAt);

} // namespace vantoro
