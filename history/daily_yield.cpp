#include "history/daily_yield.h"

#include "core/localisation.h"
#include "core/number_format.h"
#include "history/history_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vantoro {

namespace {

// A counter of 0.1 kWh resolution can step by one unit early; half again
// over the rating covers a short overload.
constexpr double JUMP_MARGIN = 1.5;
constexpr double COUNTER_RESOLUTION_KWH = 0.1;

std::optional<double> numberOf(const CycleReport &report, const char *code)
{
    const ParameterReading *p = report.parameter(QString::fromLatin1(code));
    if (!p || !p->numeric)
        return std::nullopt;
    // Kept as the device's scale gives it, not as its single-precision form.
    return tidyValue(p->value);
}

QVariant optionalValue(const std::optional<double> &v)
{
    return v ? QVariant(*v) : QVariant();
}

std::optional<double> optionalOf(const QVariant &v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

void addCounter(DayYield &day, double counter, const QDateTime &time, double ratingW, int clockBackSeconds)
{
    if (!day.firstCounter)
        day.firstCounter = counter;
    if (day.lastCounter) {
        const double step = counter - *day.lastCounter;
        qint64 seconds = day.lastReply.isValid() ? day.lastReply.secsTo(time) : 0;
        if (seconds < 0)
            seconds = clockBackSeconds;
        // What the rating could make in this step. The excess carried over
        // bounds the rise against every earlier counted reading at once, so
        // the counter's resolution is granted once, not at every poll.
        const double due = ratingW > 0 ? ratingW / 1000.0 * JUMP_MARGIN * double(seconds) / 3600.0
                                       : std::numeric_limits<double>::infinity();
        if (step < 0) {
            // A reset or another device: what follows is judged from here.
            day.flagged |= YIELD_FLAG_BACKWARDS;
            day.excessKwh = 0;
        } else if (step > due + COUNTER_RESOLUTION_KWH - day.excessKwh) {
            day.flagged |= YIELD_FLAG_TOO_FAST;
            day.excessKwh = std::max(0.0, day.excessKwh - due);
        } else {
            day.energyKwh = roundedKwh(day.energyKwh + step);
            day.excessKwh = std::max(0.0, day.excessKwh + step - due);
        }
    }
    day.lastCounter = counter;
}

QString historyText(const char *key, const char *fallback)
{
    return langText(QStringLiteral("History"), QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(fallback));
}

} // namespace

double roundedKwh(double kwh)
{
    return std::round(kwh * 1000.0) / 1000.0;
}

YieldReading yieldReading(const CycleReport &report)
{
    YieldReading r;
    r.time = report.time;
    r.counterKwh = numberOf(report, ENERGY_COUNTER_CODE);
    r.powerW = report.outputPowerWatts();
    r.moduleTemp = numberOf(report, MODULE_TEMPERATURE_CODE);
    return r;
}

QString yieldFlagText(int flagged)
{
    QStringList reasons;
    if (flagged & YIELD_FLAG_BACKWARDS)
        reasons << historyText("flagBackwards", "the energy counter went backwards");
    if (flagged & YIELD_FLAG_TOO_FAST)
        reasons << historyText("flagTooFast", "the energy counter rose faster than the rating allows");
    if ((flagged & YIELD_FLAG_UNKNOWN) || (flagged && reasons.isEmpty()))
        reasons << historyText("flagUnknown", "a jump of the energy counter was not counted");
    return reasons.join(QStringLiteral("; "));
}

QStringList yieldFlagNames(int flagged)
{
    QStringList names;
    if (flagged & YIELD_FLAG_BACKWARDS)
        names << QStringLiteral("counterBackwards");
    if (flagged & YIELD_FLAG_TOO_FAST)
        names << QStringLiteral("counterTooFast");
    if ((flagged & YIELD_FLAG_UNKNOWN) || (flagged && names.isEmpty()))
        names << QStringLiteral("counterStepLeftOut");
    return names;
}

void addReading(DayYield &day, const YieldReading &reading, double ratingW, int clockBackSeconds)
{
    if (reading.counterKwh)
        addCounter(day, *reading.counterKwh, reading.time, ratingW, clockBackSeconds);
    if (reading.powerW && (!day.peakPowerW || *reading.powerW > *day.peakPowerW)) {
        day.peakPowerW = reading.powerW;
        day.peakTime = reading.time;
    }
    if (reading.moduleTemp && (!day.maxModuleTemp || *reading.moduleTemp > *day.maxModuleTemp))
        day.maxModuleTemp = reading.moduleTemp;
    day.lastReply = reading.time;
}

DayYield loadDayYield(QSqlDatabase &db, const QString &deviceId, const QDate &day)
{
    DayYield y;
    y.deviceId = deviceId;
    y.day = day;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select energy, flagged, peakpower, peaktime, maxtmod, linkseconds, faults, "
                                 "firstcounter, lastcounter, lastreply, asleepseconds, lostseconds from %1 where devid = ? and day = ?")
                      .arg(QLatin1String(YIELD_TABLE)));
    query.addBindValue(deviceId);
    query.addBindValue(day.toString(Qt::ISODate));
    if (!query.exec() || !query.next())
        return y;
    y.energyKwh = query.value(0).toDouble();
    y.flagged = query.value(1).toInt();
    y.peakPowerW = optionalOf(query.value(2));
    if (!query.value(3).isNull())
        y.peakTime = QDateTime::fromSecsSinceEpoch(query.value(3).toLongLong());
    y.maxModuleTemp = optionalOf(query.value(4));
    y.linkSeconds = query.value(5).toLongLong();
    y.faults = query.value(6).toInt();
    y.firstCounter = optionalOf(query.value(7));
    y.lastCounter = optionalOf(query.value(8));
    if (!query.value(9).isNull())
        y.lastReply = QDateTime::fromSecsSinceEpoch(query.value(9).toLongLong());
    y.asleepSeconds = query.value(10).toLongLong();
    y.lostSeconds = query.value(11).toLongLong();
    return y;
}

bool saveDayYield(QSqlDatabase &db, const DayYield &day, QString &error)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("insert or replace into %1 (devid, day, energy, flagged, peakpower, peaktime, "
                                 "maxtmod, linkseconds, faults, firstcounter, lastcounter, lastreply, asleepseconds, lostseconds) "
                                 "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                      .arg(QLatin1String(YIELD_TABLE)));
    const QVariantList values = {
        day.deviceId,
        day.day.toString(Qt::ISODate),
        day.energyKwh,
        day.flagged,
        optionalValue(day.peakPowerW),
        day.peakTime.isValid() ? QVariant(day.peakTime.toSecsSinceEpoch()) : QVariant(),
        optionalValue(day.maxModuleTemp),
        day.linkSeconds,
        day.faults,
        optionalValue(day.firstCounter),
        optionalValue(day.lastCounter),
        day.lastReply.isValid() ? QVariant(day.lastReply.toSecsSinceEpoch()) : QVariant(),
        day.asleepSeconds,
        day.lostSeconds,
    };
    for (const QVariant &v : values)
        query.addBindValue(v);
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

} // namespace vantoro
