// The station's MQTT service: follows the station bus and publishes each
// cycle's state, each stored event, the availability and the Home Assistant
// discovery configs to the broker in the settings. Runs on the main thread
// and only builds messages and queues them; the connection lives on the
// link's own thread.
#pragma once

#include "core/station_bus.h"
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_settings.h"

#include <QObject>
#include <memory>
#include <optional>

namespace vantoro {

class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    explicit MqttPublisher(StationBus &bus, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Reads the settings and connects when they switch publishing on; from
    // then on every settings save that changes them is applied at once.
    void start();
    // Publishes "offline" and disconnects; safe to call twice.
    void stop();

    const MqttSettings &settings() const { return m_settings; }
    bool isConnected() const { return m_link && m_link->isConnected(); }
    // The last broker state shown in the status bar.
    QString stateText() const { return m_stateText; }

signals:
    void stateChanged(const QString &text);

private:
    void apply(const MqttSettings &settings);
    void startLink();
    void stopLink();
    void absorb(const CycleReport &report);
    void onCycle(const CycleReport &report);
    void onPolling(bool on);
    void onEvent(const StoredEvent &event);
    void onSettingsSaved();
    void onConnected();
    void onConnectFailed(const QString &reason);
    void onConnectionLost(const QString &reason);
    void onMessage(const QString &topic, const QByteArray &payload);
    void publishDiscovery();
    void publishState(const CycleReport &report);
    void publishLinkAvailability();
    // The last cycle as it may be shown now: without values while the
    // device is not watched.
    CycleReport currentReport() const;
    bool deviceWatched() const { return m_polling && m_answering; }
    bool publish(const MqttMessage &message);
    DiscoveryContext discoveryContext() const;
    // What the configs depend on besides the sensors.
    QString deviceSignature() const;
    QString brokerName() const;
    void showState(const QString &text);

    StationBus &m_bus;
    MqttSettings m_settings;
    std::unique_ptr<MqttLink> m_link;
    DiscoveryTracker m_discovery;
    bool m_started = false;

    // What the cycles told about the device and its numeric parameters.
    bool m_haveDevice = false;
    QString m_deviceId;
    QString m_deviceName;
    QString m_model;
    QString m_deviceSignature;
    QList<ParameterReading> m_sensors;
    bool m_sensorsKnown = false;
    QString m_sensorSignature;

    // Polling as last told, and whether the last cycle since then found
    // the device answering: both make the link topic "online".
    bool m_polling = false;
    bool m_answering = false;

    std::optional<bool> m_linkSent;   // link state of the last state message
    std::optional<bool> m_linkTopicSent;
    QString m_lastFailure;
    QString m_stateText;
};

} // namespace vantoro
