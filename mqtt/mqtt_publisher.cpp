// The MQTT service on the main thread: bus in, queued messages out.
#include "mqtt/mqtt_publisher.h"

#include "acquisition/param_table.h"
#include "core/localisation.h"
#include "events/event_log.h"

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("Mqtt");

QString text(const char *key, const char *english)
{
    return langText(kSection, QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(english));
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
    connect(&m_bus, &StationBus::eventStored, this, &MqttPublisher::onEvent);
    connect(&m_bus, &StationBus::settingsSaved, this, &MqttPublisher::onSettingsSaved);
    if (m_bus.lastCycle().time.isValid())
        absorb(m_bus.lastCycle());
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
    if (!m_link)
        return;
    absorb(report);
    if (m_settings.discovery && m_link->isConnected()) {
        // Building every config each cycle would cost more than the rest of
        // the publishing; a signature of what they depend on is enough.
        const QString deviceSignature = m_deviceId + QChar(1) + m_deviceName + QChar(1) + m_model;
        const QString signature = sensorSignature(m_sensors);
        if (deviceSignature != m_deviceSignature || signature != m_sensorSignature)
            publishDiscovery();
    }
    // Every good reply, and one message when the link goes down.
    if ((report.replied && report.linkUp) || (!report.linkUp && m_linkSent != false))
        publishState(report);
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
    const QString base = m_settings.effectiveBaseTopic();
    publish({availabilityTopic(base), MQTT_ONLINE, true, 1});
    if (m_settings.discovery) {
        m_link->subscribe(sensorConfigPattern(discoveryContext()));
        if (m_haveDevice)
            publishDiscovery();
    }
    if (m_bus.lastCycle().time.isValid())
        publishState(m_bus.lastCycle());
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
    m_deviceSignature = m_deviceId + QChar(1) + m_deviceName + QChar(1) + m_model;
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
    return c;
}

QString MqttPublisher::brokerName() const
{
    return m_settings.host.trimmed() + QLatin1Char(':') + QString::number(m_settings.port);
}

void MqttPublisher::showState(const QString &text)
{
    m_stateText = text;
    emit stateChanged(text);
    logStatus(text);
}

} // namespace vantoro
