// The broker connection and topic settings: one row of the mqttset table,
// read and written here only.
#pragma once

#include <QString>

namespace vantoro {

inline constexpr int MQTT_DEFAULT_PORT = 1883;
inline constexpr int MQTT_DEFAULT_TLS_PORT = 8883;

struct MqttSettings
{
    bool enabled = false;
    QString host = QStringLiteral("localhost");
    int port = MQTT_DEFAULT_PORT;
    bool tls = false;
    QString caFile;             // empty: the system's certificate store
    QString userName;           // empty: no authentication
    QString password;
    QString clientId;           // empty: defaultMqttClientId()
    QString baseTopic;          // empty: defaultMqttBaseTopic()
    bool discovery = true;
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString manufacturer = QStringLiteral("Vantoro");

    bool operator==(const MqttSettings &) const = default;

    // The values in use: empty client id and base topic give their defaults.
    QString effectiveClientId() const;
    QString effectiveBaseTopic() const;
};

QString defaultMqttClientId();   // "vantoro-<device id>"
QString defaultMqttBaseTopic();  // "vantoro"; each device under "vantoro/<device id>"

// Reads the row; missing or empty values keep their defaults. False (with
// the defaults returned) when the table cannot be read.
bool loadMqttSettings(MqttSettings &settings, QString *error = nullptr);
bool saveMqttSettings(const MqttSettings &settings, QString *error = nullptr);

// Why `topic` cannot be a base topic or discovery prefix (wildcards, a
// leading '/', empty levels); empty when it can.
QString mqttTopicProblem(const QString &topic);
// The first problem of the settings as a message naming the field; empty
// when they can be saved. Disabled settings are still checked.
QString mqttSettingsProblem(const MqttSettings &settings);

} // namespace vantoro
