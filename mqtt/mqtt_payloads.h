// The messages the station publishes, built from a cycle report or a stored
// event: pure functions, so every payload can be checked without a broker.
#pragma once

#include "core/station_bus.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace vantoro {

// One message to publish; an empty retained payload removes a retained one.
struct MqttMessage
{
    QString topic;
    QByteArray payload;
    bool retain = false;
    int qos = 0;
};

// What the discovery configs need besides the parameters.
struct DiscoveryContext
{
    QString prefix;        // e.g. "homeassistant"
    QString baseTopic;     // the device's, e.g. "vantoro/001"
    QString deviceId;      // "001"
    QString deviceName;
    QString model;         // the power rating
    QString manufacturer;
    QString linkName;      // entity names in the station's language
    QString alarmName;
    int expireAfterSeconds = 0; // the sensors' back-stop; 0: none
    QString stationTopic;  // the station's base topic, e.g. "vantoro"
};

// The station and the plant as Home Assistant devices of their own.
struct StationContext
{
    QString prefix;
    QString stationTopic;
    QString stationName;   // entity and device names in the station's language
    QString plantName;
    QString onlineName;
    QString powerName;
    QString energyName;
    QString devicesUpName;
    int expireAfterSeconds = 0;
};

// What the plant message carries.
struct PlantState
{
    QDateTime time;
    double powerWatts = 0;
    std::optional<double> energyKwh;
    int devicesUp = 0;
    int devices = 0;
};

inline constexpr const char *MQTT_ONLINE = "online";
inline constexpr const char *MQTT_OFFLINE = "offline";

// The station's own availability (its last will), under the station's topic.
QString availabilityTopic(const QString &stationTopic);
// A device's topics are under "<station topic>/<device id>", the plant's
// under "<station topic>/plant".
QString deviceTopic(const QString &stationTopic, const QString &deviceId);
QString plantTopic(const QString &stationTopic);
// Whether the device is answering and watched: "online" only while polling
// is on and the link is up, retained, so the numbers go unavailable with it.
QString linkTopic(const QString &baseTopic);
QString stateTopic(const QString &baseTopic);
QString eventTopic(const QString &baseTopic);

// The state message of a cycle: time, link state, the numbers by code under
// "readings", the status texts by code, the running faults and the alarm.
QByteArray stateJson(const CycleReport &report);
QByteArray eventJson(const StoredEvent &event);
QByteArray plantStateJson(const PlantState &plant);

// Home Assistant's classes for a unit; empty when none fits.
QString deviceClassForUnit(const QString &unit);
QString stateClassForUnit(const QString &unit);
// A code made fit for a topic level and an id: letters, digits, '_' and '-'.
QString topicSafe(const QString &code);

// Where Home Assistant announces itself ("online" after each of its starts).
QString homeAssistantStatusTopic(const QString &prefix);
// Parameters that describe the device rather than measure: diagnostic
// entities without a state class, so no statistics are kept of them.
bool isDiagnosticParameter(const QString &code);

// The node folder of a device's discovery topics, "vantoro_<device id>";
// the station's and the plant's are STATION_NODE and PLANT_NODE.
QString discoveryNode(const DiscoveryContext &context);
QString discoveryNode(const QString &deviceId);
inline constexpr const char *STATION_NODE = "vantoro_station";
inline constexpr const char *PLANT_NODE = "vantoro_plant";
// The retained config of one numeric parameter's sensor.
MqttMessage sensorConfig(const DiscoveryContext &context, const ParameterReading &parameter);
// The retained configs of the link and alarm binary sensors.
QList<MqttMessage> binarySensorConfigs(const DiscoveryContext &context);
// The station's connectivity sensor and the plant's sensors.
QList<MqttMessage> stationConfigs(const StationContext &context);
// The topic pattern matching every config of one node (for the
// subscription that finds configs left from parameters disabled or devices
// removed since).
QString configPattern(const QString &prefix, const QString &node);
// The node of a config topic under `prefix`; empty when it is none.
QString configNode(const QString &prefix, const QString &topic);

} // namespace vantoro
