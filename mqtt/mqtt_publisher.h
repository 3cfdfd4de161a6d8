// The station's MQTT service: follows the station bus and publishes each
// device's cycle state, each stored event, the availability of the station
// and of each device's link, the plant's totals and the Home Assistant
// discovery configs to the broker in the settings. Runs on the main thread
// and only builds messages and queues them; the connection lives on the
// link's own thread.
#pragma once

#include "core/plant.h"
#include "core/station_bus.h"
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_settings.h"

#include <QMap>
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
    // What the cycles told about one device and its numeric parameters.
    struct Device
    {
        DeviceInfo info;
        bool listed = false;      // on the line's list (not only seen reporting)
        bool reported = false;    // a cycle of it was seen
        QList<ParameterReading> sensors;
        bool sensorsKnown = false;
        QString sensorSignature;
        QString deviceSignature;
        DiscoveryTracker discovery;
        // Whether the last cycle since polling was switched on found the
        // device answering: with polling, it makes the link topic "online".
        bool answering = false;
        std::optional<bool> linkSent;      // link state of the last state message
        std::optional<bool> linkTopicSent;
    };

    void apply(const MqttSettings &settings);
    void startLink();
    void stopLink();
    Device &deviceOf(const CycleReport &report);
    void absorb(Device &device, const CycleReport &report);
    void onCycle(const CycleReport &report);
    void onRound(const RoundReport &round);
    void onDevices();
    void onPolling(bool on);
    void onEvent(const StoredEvent &event);
    void onSettingsSaved();
    void onConnected();
    void onConnectFailed(const QString &reason);
    void onConnectionLost(const QString &reason);
    void onMessage(const QString &topic, const QByteArray &payload);
    void publishDiscovery(Device &device);
    void publishStationDiscovery();
    void removeDevice(Device &device);
    void publishState(Device &device, const CycleReport &report);
    void publishLinkAvailability(Device &device);
    void publishPlant();
    // The device's last cycle as it may be shown now: without values while
    // the device is not watched.
    CycleReport currentReport(const Device &device) const;
    bool watched(const Device &device) const { return m_polling && device.answering && device.info.enabled; }
    bool publish(const MqttMessage &message);
    QString stationTopic() const { return m_settings.effectiveBaseTopic(); }
    QString topicOf(const Device &device) const { return deviceTopic(stationTopic(), device.info.id); }
    DiscoveryContext discoveryContext(const Device &device) const;
    // What the configs depend on besides the sensors.
    QString deviceSignature(const Device &device) const;
    QString brokerName() const;
    void showState(const QString &text);

    StationBus &m_bus;
    MqttSettings m_settings;
    std::unique_ptr<MqttLink> m_link;
    bool m_started = false;

    // By device id, in id order.
    QMap<QString, Device> m_devices;
    DiscoveryTracker m_stationDiscovery;
    int m_stationExpirySent = -1; // the plant sensors' expiry in the configs sent
    PlantEnergy m_energy;
    // Polling as last told.
    bool m_polling = false;

    QString m_lastFailure;
    QString m_stateText;
};

} // namespace vantoro
