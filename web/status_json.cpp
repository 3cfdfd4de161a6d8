// Building the status document from a snapshot.
#include "web/status_json.h"

#include "core/iso_time.h"

#include <QJsonArray>
#include <cmath>

namespace vantoro {

namespace {

QJsonValue number(std::optional<double> value)
{
    // JSON has no NaN or infinity.
    if (!value || !std::isfinite(*value))
        return QJsonValue::Null;
    return tidyValue(*value);
}

QJsonObject deviceJson(const CycleReport &r)
{
    return {{QStringLiteral("id"), r.deviceId},
            {QStringLiteral("name"), r.deviceName},
            {QStringLiteral("address"), r.address},
            {QStringLiteral("protocol"), r.protocol},
            {QStringLiteral("rating"), r.rating}};
}

QJsonObject linkJson(const StationSnapshot &s)
{
    return {{QStringLiteral("up"), s.report.linkUp},
            {QStringLiteral("lastReply"), isoTime(s.report.lastReplyTime)},
            {QStringLiteral("ageSeconds"), number(s.ageSeconds())},
            {QStringLiteral("stale"), s.stale()},
            {QStringLiteral("pollIntervalSeconds"), s.pollIntervalSeconds}};
}

QJsonObject parameterJson(const ParameterReading &p)
{
    QJsonObject o{{QStringLiteral("code"), p.code},
                  {QStringLiteral("name"), p.name},
                  {QStringLiteral("value"), p.numeric ? number(p.value) : QJsonValue::Null},
                  {QStringLiteral("text"), p.text},
                  {QStringLiteral("unit"), p.unit},
                  {QStringLiteral("low"), number(p.low)},
                  {QStringLiteral("high"), number(p.high)},
                  {QStringLiteral("inLimits"), p.inLimits},
                  {QStringLiteral("watched"), p.watched}};
    if (isStatusEntry(p))
        o.insert(QStringLiteral("bit"), p.bitSet ? 1 : 0);
    if (p.numeric) {
        // A value the station computed in place of the device's reading.
        o.insert(QStringLiteral("calibrated"), p.calibrated);
        o.insert(QStringLiteral("raw"), number(p.raw));
    }
    return o;
}

} // namespace

QJsonValue isoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    return isoWithOffset(time);
}

QJsonObject devicesJson(const PlantSnapshot &plant)
{
    QJsonArray devices;
    for (const StationSnapshot &s : plant.devices) {
        const CycleReport &r = s.report;
        QJsonObject device = deviceJson(r);
        const std::optional<double> power = r.outputPowerWatts();
        device.insert(QStringLiteral("enabled"), s.enabled);
        device.insert(QStringLiteral("linkUp"), r.linkUp);
        device.insert(QStringLiteral("asleep"), r.asleep);
        device.insert(QStringLiteral("alarm"), r.alarm);
        device.insert(QStringLiteral("faults"), int(r.faults.size()));
        device.insert(QStringLiteral("polling"), r.polling);
        device.insert(QStringLiteral("stale"), s.stale());
        device.insert(QStringLiteral("lastReply"), isoTime(r.lastReplyTime));
        device.insert(QStringLiteral("powerWatts"),
                      power ? number(*power) : QJsonValue::Null);
        device.insert(QStringLiteral("todayYieldKwh"), number(s.todayYieldKwh));
        devices.append(device);
    }
    const QJsonObject totals{{QStringLiteral("powerWatts"), number(plant.powerWatts)},
                             {QStringLiteral("todayYieldKwh"), number(plant.todayYieldKwh)},
                             {QStringLiteral("energyKwh"), number(plant.energyKwh)},
                             {QStringLiteral("devicesUp"), plant.devicesUp},
                             {QStringLiteral("devices"), int(plant.devices.size())}};
    return {{QStringLiteral("time"), isoTime(plant.now)},
            {QStringLiteral("devices"), devices},
            {QStringLiteral("plant"), totals},
            {QStringLiteral("version"), plant.version}};
}

QJsonObject statusJson(const StationSnapshot &s)
{
    QJsonArray parameters;
    for (const ParameterReading &p : s.report.parameters)
        parameters.append(parameterJson(p));
    return {{QStringLiteral("time"), isoTime(s.now)},
            {QStringLiteral("device"), deviceJson(s.report)},
            {QStringLiteral("link"), linkJson(s)},
            {QStringLiteral("parameters"), parameters},
            {QStringLiteral("faults"), QJsonArray::fromStringList(s.report.faults)},
            {QStringLiteral("alarm"), s.report.alarm},
            {QStringLiteral("asleep"), s.report.asleep},
            {QStringLiteral("polling"), s.report.polling},
            {QStringLiteral("todayYieldKwh"), number(s.todayYieldKwh)},
            {QStringLiteral("version"), s.version}};
}

} // namespace vantoro
