// The MQTT service on the main thread: bus in, queued messages out.
#include "mqtt/mqtt_publisher.h"

#include "plant/polling.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"

#include <algorithm>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("Mqtt");

QString text(const char *key, const char *english)
{
    return langText(kSection, QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(english));
}

// The sensors' back-stop against a station that stops sending without a
// word: a few poll intervals, never under a minute.
constexpr int EXPIRE_POLL_INTERVALS = 3;
constexpr int EXPIRE_MIN_SECONDS = 60;

int sensorExpirySeconds()
{
    const int intervalSeconds = (reloadIntervalMs(sysSettings.PauseSeconds) + 999) / 1000;
    return std::max(EXPIRE_MIN_SECONDS, EXPIRE_POLL_INTERVALS * intervalSeconds);
}

// A report of a device nobody watches (polling off, or on again without a
// cycle yet): its last values and faults are not today's.
CycleReport unwatched(const CycleReport &report)
{
    CycleReport r = report;
    r.time = QDateTime::currentDateTime();
    r.linkUp = false;
    r.replied = false;
    r.parameters.clear();
    r.faults.clear();
    r.alarm = false;
    return r;
}

// Changes to any of these change the sensors' configs.
QString sensorSignature(const QList<ParameterReading> &sensors)
{
    QString signature;
    for (const ParameterReading &p : sensors)
        signature += p.code + QChar(1) + p.name + QChar(1) + p.unit + QChar(2);
    return signature;
}

} // namespace

MqttPublisher::MqttPublisher(StationBus &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(&m_bus, &StationBus::cycleFinished, this, &MqttPublisher::onCycle);
    connect(&m_bus, &StationBus::roundFinished, this, &MqttPublisher::onRound);
    connect(&m_bus, &StationBus::devicesChanged, this, &MqttPublisher::onDevices);
    connect(&m_bus, &StationBus::pollingChanged, this, &MqttPublisher::onPolling);
    connect(&m_bus, &StationBus::eventStored, this, &MqttPublisher::onEvent);
    connect(&m_bus, &StationBus::settingsSaved, this, &MqttPublisher::onSettingsSaved);
    onDevices();
    for (const CycleReport &r : m_bus.lastCycles()) {
        Device &device = deviceOf(r);
        absorb(device, r);
        device.answering = r.linkUp;
        m_polling = r.polling;
    }
    MqttSettings settings;
    QString error;
    if (!loadMqttSettings(settings, &error))
        logStatus(text("msgSettingsUnread", "MQTT: settings cannot be read:") + QLatin1Char(' ') + error);
    apply(settings);
}

void MqttPublisher::stop()
{
    if (!m_started)
        return;
    m_started = false;
    disconnect(&m_bus, nullptr, this, nullptr);
    stopLink();
}

void MqttPublisher::apply(const MqttSettings &settings)
{
    const bool wasOn = m_link != nullptr;
    stopLink();
    m_settings = settings;
    if (!settings.enabled) {
        if (wasOn)
            showState(text("msgOff", "MQTT: publishing off"));
        m_bus.publishServiceState(QStringLiteral("mqtt"), QString()); // nothing to watch in the status bar
        return;
    }
    if (const QString problem = mqttSettingsProblem(settings); !problem.isEmpty()) {
        showState(text("msgNotStarted", "MQTT: not started:") + QLatin1Char(' ') + problem);
        return;
    }
    startLink();
}

void MqttPublisher::startLink()
{
    MqttLinkOptions options;
    options.host = m_settings.host.trimmed();
    options.port = m_settings.port;
    options.tls = m_settings.tls;
    options.caFile = m_settings.caFile;
    options.userName = m_settings.userName;
    options.password = m_settings.password;
    options.clientId = m_settings.effectiveClientId();
    options.willTopic = availabilityTopic(stationTopic());
    options.willPayload = MQTT_OFFLINE;

    m_link = std::make_unique<MqttLink>();
    connect(m_link.get(), &MqttLink::connected, this, &MqttPublisher::onConnected);
    connect(m_link.get(), &MqttLink::connectFailed, this, &MqttPublisher::onConnectFailed);
    connect(m_link.get(), &MqttLink::connectionLost, this, &MqttPublisher::onConnectionLost);
    connect(m_link.get(), &MqttLink::messageArrived, this, &MqttPublisher::onMessage);
    m_lastFailure.clear();
    m_link->start(options);
}

void MqttPublisher::stopLink()
{
    if (!m_link)
        return;
    m_link->disconnect(this);
    m_link->stop(availabilityTopic(stationTopic()), MQTT_OFFLINE);
    m_link.reset();
    m_stationDiscovery.reset();
    m_stationExpirySent = -1;
    for (Device &d : m_devices) {
        d.discovery.reset();
        d.linkSent.reset();
        d.linkTopicSent.reset();
    }
}

MqttPublisher::Device &MqttPublisher::deviceOf(const CycleReport &report)
{
    const QString id = report.deviceId.isEmpty() ? QStringLiteral("001") : report.deviceId;
    auto it = m_devices.find(id);
    if (it == m_devices.end()) {
        it = m_devices.insert(id, Device());
        const DeviceInfo *listed = m_bus.device(id);
        it->listed = listed != nullptr;
        it->info = listed ? *listed : DeviceInfo{id, report.deviceName, report.address, report.protocol, report.rating, true};
    }
    return *it;
}

// Notes what a report says about the device and, while the link is up,
// which numeric parameters are enabled.
void MqttPublisher::absorb(Device &device, const CycleReport &report)
{
    device.reported = true;
    // The poll path's names are the ones its messages carry.
    device.info.name = report.deviceName;
    device.info.rating = report.rating;
    m_energy.add(report);
    if (!report.linkUp)
        return;
    QList<ParameterReading> sensors;
    for (const ParameterReading &p : report.parameters) {
        if (p.numeric)
            sensors << p;
    }
    device.sensors = sensors;
    device.sensorsKnown = true;
}

void MqttPublisher::onCycle(const CycleReport &report)
{
    m_polling = report.polling;
    Device &device = deviceOf(report);
    device.answering = report.linkUp;
    absorb(device, report);
    if (!m_link)
        return;
    if (m_settings.discovery && m_link->isConnected()) {
        // Building every config each cycle would cost more than the rest of
        // the publishing; a signature of what they depend on is enough.
        if (deviceSignature(device) != device.deviceSignature
            || sensorSignature(device.sensors) != device.sensorSignature)
            publishDiscovery(device);
    }
    publishLinkAvailability(device);
    // Every good reply, and one message when the link goes down.
    const CycleReport shown = report.polling ? report : unwatched(report);
    if ((shown.replied && shown.linkUp) || (!shown.linkUp && device.linkSent != false))
        publishState(device, shown);
}

void MqttPublisher::onRound(const RoundReport &)
{
    publishPlant();
}

void MqttPublisher::onDevices()
{
    const QList<DeviceInfo> &list = m_bus.devices();
    // Before the line's list is known nothing is taken for removed.
    if (list.isEmpty())
        return;
    QStringList gone;
    for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
        if (!m_bus.device(it.key()))
            gone << it.key();
    }
    for (const QString &id : std::as_const(gone)) {
        removeDevice(m_devices[id]);
        m_devices.remove(id);
    }
    for (const DeviceInfo &info : list) {
        auto it = m_devices.find(info.id);
        if (it == m_devices.end())
            it = m_devices.insert(info.id, Device());
        it->info = info;
        it->listed = true;
        if (!info.enabled)
            it->answering = false;
        if (!isConnected())
            continue;
        if (m_settings.discovery && deviceSignature(*it) != it->deviceSignature)
            publishDiscovery(*it);
        publishLinkAvailability(*it);
    }
}

void MqttPublisher::onPolling(bool on)
{
    // Switched on again, a device counts as answering from its next reply.
    m_polling = on;
    for (Device &device : m_devices) {
        device.answering = false;
        if (!m_link)
            continue;
        publishLinkAvailability(device);
        if (device.reported && device.linkSent != false)
            publishState(device, currentReport(device));
    }
}

void MqttPublisher::onEvent(const StoredEvent &event)
{
    if (!m_link)
        return;
    QString id = event.deviceId;
    if (id.isEmpty())
        id = m_bus.devices().isEmpty() ? QStringLiteral("001") : m_bus.devices().first().id;
    publish({eventTopic(deviceTopic(stationTopic(), id)), eventJson(event), false, 1});
}

void MqttPublisher::onSettingsSaved()
{
    MqttSettings settings;
    QString error;
    if (!loadMqttSettings(settings, &error)) {
        logStatus(text("msgSettingsUnread", "MQTT: settings cannot be read:") + QLatin1Char(' ') + error);
        return;
    }
    // The sound switch saves the settings too; only our own changes count.
    if (settings == m_settings)
        return;
    apply(settings);
}

void MqttPublisher::onConnected()
{
    m_lastFailure.clear();
    m_stationDiscovery.reset();
    for (Device &d : m_devices) {
        d.discovery.reset();
        d.linkSent.reset();
        d.linkTopicSent.reset();
    }
    publish({availabilityTopic(stationTopic()), MQTT_ONLINE, true, 1});
    for (Device &d : m_devices)
        publishLinkAvailability(d);
    if (m_settings.discovery) {
        const QString prefix = m_settings.discoveryPrefix.trimmed();
        // Every node the station may have left configs under, so those of
        // devices removed or parameters disabled since are found.
        m_link->subscribe(configPattern(prefix, QLatin1String(STATION_NODE)));
        m_link->subscribe(configPattern(prefix, QLatin1String(PLANT_NODE)));
        for (int i = 1; i <= PLANT_MAX_DEVICES; ++i)
            m_link->subscribe(configPattern(prefix, discoveryNode(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')))));
        m_link->subscribe(homeAssistantStatusTopic(prefix));
        publishStationDiscovery();
        for (Device &d : m_devices)
            publishDiscovery(d);
    }
    for (Device &d : m_devices) {
        if (d.reported)
            publishState(d, currentReport(d));
    }
    publishPlant();
    showState(text("msgConnected", "MQTT: connected to") + QLatin1Char(' ') + brokerName());
}

void MqttPublisher::onConnectFailed(const QString &reason)
{
    // One message per reason, not one per retry.
    if (reason == m_lastFailure)
        return;
    m_lastFailure = reason;
    showState(text("msgConnectFailed", "MQTT: cannot connect to") + QLatin1Char(' ') + brokerName()
              + QLatin1String(": ") + reason);
}

void MqttPublisher::onConnectionLost(const QString &reason)
{
    m_lastFailure = reason;
    showState(text("msgConnectionLost", "MQTT: connection lost to") + QLatin1Char(' ') + brokerName()
              + QLatin1String(": ") + reason);
}

void MqttPublisher::onMessage(const QString &topic, const QByteArray &payload)
{
    if (!m_settings.discovery)
        return;
    const QString prefix = m_settings.discoveryPrefix.trimmed();
    if (topic == homeAssistantStatusTopic(prefix)) {
        // Home Assistant restarted: it may have come back without the
        // retained configs.
        if (payload == MQTT_ONLINE) {
            for (const MqttMessage &m : m_stationDiscovery.resendAll())
                publish(m);
            for (Device &d : m_devices) {
                for (const MqttMessage &m : d.discovery.resendAll())
                    publish(m);
            }
        }
        return;
    }
    const QString node = configNode(prefix, topic);
    if (node == QLatin1String(STATION_NODE) || node == QLatin1String(PLANT_NODE)) {
        for (const MqttMessage &m : m_stationDiscovery.found(topic, payload))
            publish(m);
        return;
    }
    for (Device &d : m_devices) {
        if (discoveryNode(d.info.id) == node) {
            for (const MqttMessage &m : d.discovery.found(topic, payload))
                publish(m);
            return;
        }
    }
    // A config of a device no longer on the line, left from an earlier run.
    if (!payload.isEmpty() && !node.isEmpty() && !m_bus.devices().isEmpty())
        publish({topic, QByteArray(), true, 1});
}

void MqttPublisher::publishDiscovery(Device &device)
{
    const DiscoveryContext context = discoveryContext(device);
    QList<MqttMessage> wanted = binarySensorConfigs(context);
    for (const ParameterReading &p : std::as_const(device.sensors))
        wanted << sensorConfig(context, p);
    for (const MqttMessage &m : device.discovery.update(wanted, device.sensorsKnown))
        publish(m);
    device.deviceSignature = deviceSignature(device);
    device.sensorSignature = sensorSignature(device.sensors);
}

void MqttPublisher::publishStationDiscovery()
{
    StationContext c;
    c.prefix = m_settings.discoveryPrefix.trimmed();
    c.stationTopic = stationTopic();
    c.stationName = text("StationName", "Vantoro station");
    c.plantName = text("PlantName", "Plant");
    c.onlineName = text("OnlineName", "Station");
    c.powerName = text("PlantPowerName", "Power");
    c.energyName = text("PlantEnergyName", "Energy");
    c.devicesUpName = text("DevicesUpName", "Devices answering");
    c.expireAfterSeconds = sensorExpirySeconds();
    for (const MqttMessage &m : m_stationDiscovery.update(stationConfigs(c), true))
        publish(m);
    m_stationExpirySent = c.expireAfterSeconds;
}

void MqttPublisher::removeDevice(Device &device)
{
    if (!isConnected())
        return;
    for (const MqttMessage &m : device.discovery.update({}, true))
        publish(m);
    // Its retained link state would otherwise outlive it.
    publish({linkTopic(topicOf(device)), QByteArray(), true, 1});
}

void MqttPublisher::publishState(Device &device, const CycleReport &report)
{
    // Not even built while there is no one to send it to.
    if (!isConnected())
        return;
    if (publish({stateTopic(topicOf(device)), stateJson(report), false, 0}))
        device.linkSent = report.linkUp;
}

void MqttPublisher::publishLinkAvailability(Device &device)
{
    const bool online = watched(device);
    if (!isConnected() || device.linkTopicSent == online)
        return;
    if (publish({linkTopic(topicOf(device)), online ? MQTT_ONLINE : MQTT_OFFLINE, true, 1}))
        device.linkTopicSent = online;
}

void MqttPublisher::publishPlant()
{
    const RoundReport &round = m_bus.lastRound();
    if (!isConnected() || !round.time.isValid())
        return;
    PlantState plant;
    plant.time = round.time;
    plant.powerWatts = round.powerWatts;
    plant.devicesUp = round.devicesUp;
    const QList<DeviceInfo> devices = m_bus.devices();
    plant.devices = int(devices.size());
    plant.energyKwh = m_energy.totalKwh(devices);
    // The sensors' expiry follows the poll interval.
    if (m_settings.discovery && sensorExpirySeconds() != m_stationExpirySent)
        publishStationDiscovery();
    publish({stateTopic(plantTopic(stationTopic())), plantStateJson(plant), false, 0});
}

CycleReport MqttPublisher::currentReport(const Device &device) const
{
    CycleReport report;
    if (const CycleReport *last = m_bus.lastCycle(device.info.id))
        report = *last;
    report.deviceId = device.info.id;
    return watched(device) ? report : unwatched(report);
}

bool MqttPublisher::publish(const MqttMessage &message)
{
    return m_link && m_link->publish(message.topic, message.payload, message.qos, message.retain);
}

DiscoveryContext MqttPublisher::discoveryContext(const Device &device) const
{
    DiscoveryContext c;
    c.prefix = m_settings.discoveryPrefix.trimmed();
    c.baseTopic = topicOf(device);
    c.stationTopic = stationTopic();
    c.deviceId = device.info.id;
    c.deviceName = device.info.name;
    c.model = device.info.rating;
    c.manufacturer = m_settings.manufacturer;
    c.linkName = text("LinkName", "Link");
    c.alarmName = text("AlarmName", "Alarm");
    c.expireAfterSeconds = sensorExpirySeconds();
    return c;
}

QString MqttPublisher::deviceSignature(const Device &device) const
{
    return device.info.id + QChar(1) + device.info.name + QChar(1) + device.info.rating + QChar(1)
        + QString::number(sensorExpirySeconds());
}

QString MqttPublisher::brokerName() const
{
    return m_settings.host.trimmed() + QLatin1Char(':') + QString::number(m_settings.port);
}

void MqttPublisher::showState(const QString &text)
{
    m_stateText = text;
    emit stateChanged(text);
    m_bus.publishServiceState(QStringLiteral("mqtt"), text);
    logStatus(text);
}

} // namespace vantoro
