// The MQTT service on the main thread: bus in, queued messages out.
#include "mqtt/mqtt_publisher.h"

#include "acquisition/param_table.h"
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
    connect(&m_bus, &StationBus::pollingChanged, this, &MqttPublisher::onPolling);
    connect(&m_bus, &StationBus::eventStored, this, &MqttPublisher::onEvent);
    connect(&m_bus, &StationBus::settingsSaved, this, &MqttPublisher::onSettingsSaved);
    if (m_bus.lastCycle().time.isValid()) {
        absorb(m_bus.lastCycle());
        m_polling = m_bus.lastCycle().polling;
        m_answering = m_bus.lastCycle().linkUp;
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
    options.willTopic = availabilityTopic(m_settings.effectiveBaseTopic());
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
    m_link->stop(availabilityTopic(m_settings.effectiveBaseTopic()), MQTT_OFFLINE);
    m_link.reset();
    m_discovery.reset();
    m_linkSent.reset();
    m_linkTopicSent.reset();
}

// Notes what a report says about the device and, while the link is up,
// which numeric parameters are enabled.
void MqttPublisher::absorb(const CycleReport &report)
{
    m_haveDevice = true;
    m_deviceId = report.deviceId.isEmpty() ? QString::fromLatin1(PARAM_DEVICE_ID) : report.deviceId;
    m_deviceName = report.deviceName;
    m_model = report.rating;
    if (!report.linkUp)
        return;
    QList<ParameterReading> sensors;
    for (const ParameterReading &p : report.parameters) {
        if (p.numeric)
            sensors << p;
    }
    m_sensors = sensors;
    m_sensorsKnown = true;
}

void MqttPublisher::onCycle(const CycleReport &report)
{
    m_polling = report.polling;
    m_answering = report.linkUp;
    if (!m_link)
        return;
    absorb(report);
    if (m_settings.discovery && m_link->isConnected()) {
        // Building every config each cycle would cost more than the rest of
        // the publishing; a signature of what they depend on is enough.
        const QString signature = sensorSignature(m_sensors);
        if (deviceSignature() != m_deviceSignature || signature != m_sensorSignature)
            publishDiscovery();
    }
    publishLinkAvailability();
    // Every good reply, and one message when the link goes down.
    const CycleReport shown = report.polling ? report : unwatched(report);
    if ((shown.replied && shown.linkUp) || (!shown.linkUp && m_linkSent != false))
        publishState(shown);
}

void MqttPublisher::onPolling(bool on)
{
    // Switched on again, the device counts as answering from its next reply.
    m_polling = on;
    m_answering = false;
    if (!m_link)
        return;
    publishLinkAvailability();
    if (m_linkSent != false)
        publishState(unwatched(m_bus.lastCycle()));
}

void MqttPublisher::onEvent(const StoredEvent &event)
{
    if (m_link)
        publish({eventTopic(m_settings.effectiveBaseTopic()), eventJson(event), false, 1});
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
    m_discovery.reset();
    m_linkSent.reset();
    m_linkTopicSent.reset();
    const QString base = m_settings.effectiveBaseTopic();
    publish({availabilityTopic(base), MQTT_ONLINE, true, 1});
    publishLinkAvailability();
    if (m_settings.discovery) {
        const DiscoveryContext context = discoveryContext();
        m_link->subscribe(sensorConfigPattern(context));
        m_link->subscribe(homeAssistantStatusTopic(context.prefix));
        if (m_haveDevice)
            publishDiscovery();
    }
    if (m_bus.lastCycle().time.isValid())
        publishState(currentReport());
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
    if (topic == homeAssistantStatusTopic(m_settings.discoveryPrefix.trimmed())) {
        // Home Assistant restarted: it may have come back without the
        // retained configs.
        if (payload == MQTT_ONLINE) {
            for (const MqttMessage &m : m_discovery.resendAll())
                publish(m);
        }
        return;
    }
    for (const MqttMessage &m : m_discovery.found(topic, payload))
        publish(m);
}

void MqttPublisher::publishDiscovery()
{
    const DiscoveryContext context = discoveryContext();
    QList<MqttMessage> wanted = binarySensorConfigs(context);
    for (const ParameterReading &p : std::as_const(m_sensors))
        wanted << sensorConfig(context, p);
    for (const MqttMessage &m : m_discovery.update(wanted, m_sensorsKnown))
        publish(m);
    m_deviceSignature = deviceSignature();
    m_sensorSignature = sensorSignature(m_sensors);
}

void MqttPublisher::publishState(const CycleReport &report)
{
    // Not even built while there is no one to send it to.
    if (!isConnected())
        return;
    if (publish({stateTopic(m_settings.effectiveBaseTopic()), stateJson(report), false, 0}))
        m_linkSent = report.linkUp;
}

void MqttPublisher::publishLinkAvailability()
{
    const bool online = deviceWatched();
    if (!isConnected() || m_linkTopicSent == online)
        return;
    if (publish({linkTopic(m_settings.effectiveBaseTopic()), online ? MQTT_ONLINE : MQTT_OFFLINE, true, 1}))
        m_linkTopicSent = online;
}

CycleReport MqttPublisher::currentReport() const
{
    return deviceWatched() ? m_bus.lastCycle() : unwatched(m_bus.lastCycle());
}

bool MqttPublisher::publish(const MqttMessage &message)
{
    return m_link && m_link->publish(message.topic, message.payload, message.qos, message.retain);
}

DiscoveryContext MqttPublisher::discoveryContext() const
{
    DiscoveryContext c;
    c.prefix = m_settings.discoveryPrefix.trimmed();
    c.baseTopic = m_settings.effectiveBaseTopic();
    c.deviceId = m_deviceId.isEmpty() ? QString::fromLatin1(PARAM_DEVICE_ID) : m_deviceId;
    c.deviceName = m_deviceName;
    c.model = m_model;
    c.manufacturer = m_settings.manufacturer;
    c.linkName = text("LinkName", "Link");
    c.alarmName = text("AlarmName", "Alarm");
    c.expireAfterSeconds = sensorExpirySeconds();
    return c;
}

QString MqttPublisher::deviceSignature() const
{
    return m_deviceId + QChar(1) + m_deviceName + QChar(1) + m_model + QChar(1) + QString::number(sensorExpirySeconds());
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
