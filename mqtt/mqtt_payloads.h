// The messages the station publishes, built from a cycle report or a stored
// event: pure functions, so every payload can be checked without a broker.
#pragma once

#include "core/station_bus.h"

#include <QByteArray>
#include <QList>
#include <QString>

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
    QString baseTopic;     // e.g. "vantoro/001"
    QString deviceId;      // "001"
    QString deviceName;
    QString model;         // the power rating
    QString manufacturer;
    QString linkName;      // entity names in the station's language
    QString alarmName;
    int expireAfterSeconds = 0; // the sensors' back-stop; 0: none
};

inline constexpr const char *MQTT_ONLINE = "online";
inline constexpr const char *MQTT_OFFLINE = "offline";

QString availabilityTopic(const QString &baseTopic);
// Whether the device is answering and watched: "online" only while polling
// is on and the link is up, retained, so the numbers go unavailable with it.
QString linkTopic(const QString &baseTopic);
QString stateTopic(const QString &baseTopic);
QString eventTopic(const QString &baseTopic);

// The state message of a cycle: time, link state, the numbers by code under
// "readings", the status texts by code, the running faults and the alarm.
QByteArray stateJson(const CycleReport &report);
QByteArray eventJson(const StoredEvent &event);

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

// The node folder of the station's discovery topics, "vantoro_<device id>".
QString discoveryNode(const DiscoveryContext &context);
// The retained config of one numeric parameter's sensor.
MqttMessage sensorConfig(const DiscoveryContext &context, const ParameterReading &parameter);
// The retained configs of the link and alarm binary sensors.
QList<MqttMessage> binarySensorConfigs(const DiscoveryContext &context);
// The topic pattern matching every sensor config of the station (for the
// subscription that finds configs left from parameters disabled since).
QString sensorConfigPattern(const DiscoveryContext &context);

} // namespace vantoro
