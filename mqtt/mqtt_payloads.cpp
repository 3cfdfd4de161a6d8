// Topics and JSON payloads of the station's MQTT messages and its Home
// Assistant discovery configs.
#include "mqtt/mqtt_payloads.h"

#include "core/iso_time.h"
#include "core/number_format.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vantoro {

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A Jinja string literal of `text`.
QString templateLiteral(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QJsonObject deviceBlock(const DiscoveryContext &c)
{
    QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{discoveryNode(c)}},
                       {QStringLiteral("name"), c.deviceName.isEmpty() ? discoveryNode(c) : c.deviceName},
                       {QStringLiteral("manufacturer"), c.manufacturer},
                       {QStringLiteral("sw_version"), QStringLiteral(VANTORO_VERSION)},
                       {QStringLiteral("via_device"), QLatin1String(STATION_NODE)}};
    if (!c.model.isEmpty())
        device.insert(QStringLiteral("model"), c.model);
    return device;
}

QJsonObject availabilityOf(const QStringList &topics)
{
    QJsonArray list;
    for (const QString &t : topics)
        list.append(QJsonObject{{QStringLiteral("topic"), t}});
    // Available only while every one of them says so.
    return {{QStringLiteral("availability"), list}, {QStringLiteral("availability_mode"), QStringLiteral("all")}};
}

void insertAll(QJsonObject &into, const QJsonObject &from)
{
    for (auto it = from.begin(); it != from.end(); ++it)
        into.insert(it.key(), it.value());
}

QString configTopic(const QString &prefix, const char *component, const QString &node, const QString &object)
{
    return prefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + node + QLatin1Char('/') + object
        + QLatin1String("/config");
}

QString configTopic(const DiscoveryContext &c, const char *component, const QString &object)
{
    return configTopic(c.prefix, component, discoveryNode(c), object);
}

// The link sensor shows the device's link itself: only the station's
// availability governs it. The alarm means nothing while the device is not
// watched.
MqttMessage binarySensor(const DiscoveryContext &c, const char *object, const QString &name, const char *field,
                         const char *deviceClass, bool followsLink)
{
    QJsonObject config{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), discoveryNode(c) + QLatin1Char('_') + QLatin1String(object)},
        {QStringLiteral("state_topic"), stateTopic(c.baseTopic)},
        {QStringLiteral("value_template"),
         QStringLiteral("{{ 'ON' if value_json.%1 else 'OFF' }}").arg(QLatin1String(field))},
        {QStringLiteral("device_class"), QLatin1String(deviceClass)},
        {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
        {QStringLiteral("device"), deviceBlock(c)}};
    QStringList availability{availabilityTopic(c.stationTopic)};
    if (followsLink)
        availability << linkTopic(c.baseTopic);
    insertAll(config, availabilityOf(availability));
    return {configTopic(c, "binary_sensor", QLatin1String(object)), compact(config), true, 1};
}

QJsonObject stationDevice(const StationContext &c, bool plant)
{
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{QLatin1String(plant ? PLANT_NODE : STATION_NODE)}},
        {QStringLiteral("name"), plant ? c.plantName : c.stationName},
        {QStringLiteral("manufacturer"), QStringLiteral("Vantoro")},
        {QStringLiteral("sw_version"), QStringLiteral(VANTORO_VERSION)}};
    if (plant)
        device.insert(QStringLiteral("via_device"), QLatin1String(STATION_NODE));
    return device;
}

MqttMessage plantSensor(const StationContext &c, const char *object, const QString &name, const char *field,
                        const char *unit, const char *deviceClass, const char *stateClass)
{
    const QString node = QLatin1String(PLANT_NODE);
    QJsonObject config{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), node + QLatin1Char('_') + QLatin1String(object)},
        {QStringLiteral("state_topic"), stateTopic(plantTopic(c.stationTopic))},
        // The energy is missing until a counter was read: unknown, not 0.
        {QStringLiteral("value_template"),
         QStringLiteral("{{ value_json.%1 if value_json.%1 is defined else None }}").arg(QLatin1String(field))},
        {QStringLiteral("state_class"), QLatin1String(stateClass)},
        {QStringLiteral("device"), stationDevice(c, true)}};
    insertAll(config, availabilityOf({availabilityTopic(c.stationTopic)}));
    if (*unit)
        config.insert(QStringLiteral("unit_of_measurement"), QLatin1String(unit));
    if (*deviceClass)
        config.insert(QStringLiteral("device_class"), QLatin1String(deviceClass));
    if (c.expireAfterSeconds > 0)
        config.insert(QStringLiteral("expire_after"), c.expireAfterSeconds);
    return {configTopic(c.prefix, "sensor", node, QLatin1String(object)), compact(config), true, 1};
}

} // namespace

QString availabilityTopic(const QString &stationTopic)
{
    return stationTopic + QLatin1String("/availability");
}

QString deviceTopic(const QString &stationTopic, const QString &deviceId)
{
    return stationTopic + QLatin1Char('/') + topicSafe(deviceId);
}

QString plantTopic(const QString &stationTopic)
{
    return stationTopic + QLatin1String("/plant");
}

QString linkTopic(const QString &baseTopic)
{
    return baseTopic + QLatin1String("/link");
}

QString homeAssistantStatusTopic(const QString &prefix)
{
    return prefix + QLatin1String("/status");
}

bool isDiagnosticParameter(const QString &code)
{
    // The status word and the communication address.
    return code.compare(QLatin1String("STAT"), Qt::CaseInsensitive) == 0
        || code.compare(QLatin1String("ADDR"), Qt::CaseInsensitive) == 0;
}

QString stateTopic(const QString &baseTopic)
{
    return baseTopic + QLatin1String("/state");
}

QString eventTopic(const QString &baseTopic)
{
    return baseTopic + QLatin1String("/event");
}

QByteArray stateJson(const CycleReport &report)
{
    QJsonObject readings;
    QJsonObject status;
    QJsonArray calibrated;
    QJsonObject raw;
    for (const ParameterReading &p : report.parameters) {
        if (p.numeric)
            readings.insert(p.code, tidyValue(p.value));
        else
            status.insert(p.code, p.text);
        if (p.calibrated && p.raw) {
            calibrated.append(p.code);
            raw.insert(p.code, tidyValue(*p.raw));
        }
    }
    QJsonObject state{{QStringLiteral("time"), isoWithOffset(report.time)},
                      {QStringLiteral("link"), report.linkUp},
                      {QStringLiteral("faults"), QJsonArray::fromStringList(report.faults)},
                      {QStringLiteral("alarm"), report.alarm},
                      {QStringLiteral("asleep"), report.asleep}};
    if (report.linkUp) {
        state.insert(QStringLiteral("readings"), readings);
        state.insert(QStringLiteral("status"), status);
        // The readings computed by the station, with what the device sent.
        state.insert(QStringLiteral("calibrated"), calibrated);
        state.insert(QStringLiteral("raw"), raw);
    }
    return compact(state);
}

QByteArray eventJson(const StoredEvent &event)
{
    return compact(QJsonObject{{QStringLiteral("id"), event.rowId},
                               {QStringLiteral("time"), isoWithOffset(event.time)},
                               {QStringLiteral("device"), event.deviceId},
                               {QStringLiteral("text"), event.text}});
}

QByteArray plantStateJson(const PlantState &plant)
{
    QJsonObject state{{QStringLiteral("time"), isoWithOffset(plant.time)},
                      {QStringLiteral("powerWatts"), tidyValue(plant.powerWatts)},
                      {QStringLiteral("devicesUp"), plant.devicesUp},
                      {QStringLiteral("devices"), plant.devices}};
    if (plant.energyKwh)
        state.insert(QStringLiteral("energyKwh"), tidyValue(*plant.energyKwh));
    return compact(state);
}

QString deviceClassForUnit(const QString &unit)
{
    static const QList<QPair<QStringList, QString>> classes = {
        {{"V", "mV", "kV"}, "voltage"},   {{"A", "mA"}, "current"},
        {{"W", "kW", "MW"}, "power"},     {{"Wh", "kWh", "MWh"}, "energy"},
        {{"°C", "°F", "K"}, "temperature"}, {{"Hz", "kHz"}, "frequency"},
    };
    const QString u = unit.trimmed();
    for (const auto &[units, deviceClass] : classes) {
        if (units.contains(u))
            return deviceClass;
    }
    return {};
}

QString stateClassForUnit(const QString &unit)
{
    // Energy is a counter; Home Assistant takes a drop as a meter reset.
    return deviceClassForUnit(unit) == QLatin1String("energy") ? QStringLiteral("total_increasing")
                                                               : QStringLiteral("measurement");
}

QString topicSafe(const QString &code)
{
    QString safe = code;
    for (QChar &c : safe) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-');
        if (!plain)
            c = QLatin1Char('_');
    }
    return safe;
}

QString discoveryNode(const QString &deviceId)
{
    return QStringLiteral("vantoro_") + topicSafe(deviceId);
}

QString discoveryNode(const DiscoveryContext &context)
{
    return discoveryNode(context.deviceId);
}

MqttMessage sensorConfig(const DiscoveryContext &c, const ParameterReading &p)
{
    const QString object = topicSafe(p.code);
    const QString code = templateLiteral(p.code);
    QJsonObject config{
        {QStringLiteral("name"), p.name.isEmpty() ? p.code : p.name},
        {QStringLiteral("unique_id"), discoveryNode(c) + QLatin1Char('_') + object},
        {QStringLiteral("state_topic"), stateTopic(c.baseTopic)},
        // A link-down message has no readings at all: subscripting the
        // missing object would be an error, and the sensor would keep its
        // last number. None makes it unknown.
        {QStringLiteral("value_template"),
         QStringLiteral("{{ value_json.readings[%1] if value_json.readings is defined and %1 in value_json.readings "
                        "else None }}")
             .arg(code)},
        {QStringLiteral("device"), deviceBlock(c)}};
    // Unavailable when the station is gone or the device is not watched.
    insertAll(config, availabilityOf({availabilityTopic(c.stationTopic), linkTopic(c.baseTopic)}));
    if (isDiagnosticParameter(p.code))
        config.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    else
        config.insert(QStringLiteral("state_class"), stateClassForUnit(p.unit));
    if (c.expireAfterSeconds > 0)
        config.insert(QStringLiteral("expire_after"), c.expireAfterSeconds);
    if (!p.unit.trimmed().isEmpty())
        config.insert(QStringLiteral("unit_of_measurement"), p.unit.trimmed());
    if (const QString deviceClass = deviceClassForUnit(p.unit); !deviceClass.isEmpty())
        config.insert(QStringLiteral("device_class"), deviceClass);
    return {configTopic(c, "sensor", object), compact(config), true, 1};
}

QList<MqttMessage> binarySensorConfigs(const DiscoveryContext &c)
{
    return {binarySensor(c, "link", c.linkName, "link", "connectivity", false),
            binarySensor(c, "alarm", c.alarmName, "alarm", "problem", true)};
}

QList<MqttMessage> stationConfigs(const StationContext &c)
{
    const QString station = QLatin1String(STATION_NODE);
    // The station's availability is the state itself: nothing governs it.
    const QJsonObject online{{QStringLiteral("name"), c.onlineName},
                             {QStringLiteral("unique_id"), station + QStringLiteral("_online")},
                             {QStringLiteral("state_topic"), availabilityTopic(c.stationTopic)},
                             {QStringLiteral("payload_on"), QLatin1String(MQTT_ONLINE)},
                             {QStringLiteral("payload_off"), QLatin1String(MQTT_OFFLINE)},
                             {QStringLiteral("device_class"), QStringLiteral("connectivity")},
                             {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
                             {QStringLiteral("device"), stationDevice(c, false)}};
    return {{configTopic(c.prefix, "binary_sensor", station, QStringLiteral("online")), compact(online), true, 1},
            plantSensor(c, "power", c.powerName, "powerWatts", "W", "power", "measurement"),
            plantSensor(c, "energy", c.energyName, "energyKwh", "kWh", "energy", "total_increasing"),
            plantSensor(c, "devices_up", c.devicesUpName, "devicesUp", "", "", "measurement")};
}

QString configPattern(const QString &prefix, const QString &node)
{
    return prefix + QStringLiteral("/+/") + node + QStringLiteral("/+/config");
}

QString configNode(const QString &prefix, const QString &topic)
{
    // <prefix>/<component>/<node>/<object>/config
    if (!topic.startsWith(prefix + QLatin1Char('/')) || !topic.endsWith(QLatin1String("/config")))
        return {};
    const QStringList levels = topic.mid(prefix.size() + 1).split(QLatin1Char('/'));
    return levels.size() == 4 ? levels[1] : QString();
}

} // namespace vantoro
