// The MQTT messages without a broker: the state message, the discovery
// configs and their classes, their templates as Jinja renders them, the
// topic checks, the config bookkeeping and the retry delays.
#include "mqtt/mqtt_discovery.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_payloads.h"
#include "mqtt/mqtt_settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

using namespace vantoro;

namespace {

ParameterReading numeric(const QString &code, const QString &unit, double value)
{
    ParameterReading p;
    p.code = code;
    p.name = code.toLower();
    p.unit = unit;
    p.numeric = true;
    p.value = value;
    return p;
}

DiscoveryContext context()
{
    return {QStringLiteral("ha"), QStringLiteral("site/001"), QStringLiteral("001"), QStringLiteral("INV"),
            QStringLiteral("3K"), QStringLiteral("Maker"), QStringLiteral("Link"), QStringLiteral("Alarm"), 0,
            QStringLiteral("site")};
}

QJsonObject object(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        qWarning("not a JSON object: %s", json.constData());
    return doc.object();
}

// The template rendered as Home Assistant does (value_json is the parsed
// payload), by Jinja itself and with undefined values as errors; "error: ..."
// when it cannot be rendered, empty when Jinja is not installed.
QString render(const QString &valueTemplate, const QByteArray &payload)
{
    static const char *const script = R"PY(
import json, sys
try:
    from jinja2 import Environment, StrictUndefined
except ImportError:
    sys.exit(3)
try:
    print(Environment(undefined=StrictUndefined).from_string(sys.argv[1]).render(
        value=sys.argv[2], value_json=json.loads(sys.argv[2])))
except Exception as e:
    print("error:", type(e).__name__, e)
)PY";
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(script), valueTemplate,
                                            QString::fromUtf8(payload)});
    if (!python.waitForFinished(10000) || python.exitCode() != 0)
        return {};
    return QString::fromUtf8(python.readAllStandardOutput()).trimmed();
}

QStringList topics(const QList<MqttMessage> &messages)
{
    QStringList out;
    for (const MqttMessage &m : messages)
        out << m.topic + (m.payload.isEmpty() ? QStringLiteral(" (removed)") : QString());
    out.sort();
    return out;
}

} // namespace

class TestMqttPayloads : public QObject
{
    Q_OBJECT

private slots:
    void stateMessage();
    void sensorConfig_data();
    void sensorConfig();
    void sensorTemplatesStandAMessageWithoutReadings();
    void binarySensors();
    void stationAndPlant();
    void topicChecks_data();
    void topicChecks();
    void discoveryBookkeeping();
    void retryDelays();
};

void TestMqttPayloads::stateMessage()
{
    CycleReport report;
    report.time = QDateTime(QDate(2026, 5, 1), QTime(12, 30, 5), QTimeZone(3600));
    report.linkUp = true;
    report.replied = true;
    report.parameters << numeric("VAC", "V", 2301 * 0.1) << numeric("TMOD", "°C", double(444 * 0.1f));
    // The station's value in place of the device's implausible reading.
    ParameterReading vdc = numeric("VDC", "V", 395.1);
    vdc.calibrated = true;
    vdc.raw = 360.0;
    report.parameters << vdc;
    ParameterReading run;
    run.code = QStringLiteral("RUN");
    run.text = QStringLiteral("运行中");
    report.parameters << run;
    report.faults << QStringLiteral("grid under-frequency");
    report.alarm = true;

    const QJsonObject state = object(stateJson(report));
    QCOMPARE(state.value("time").toString(), QStringLiteral("2026-05-01T12:30:05+01:00"));
    QCOMPARE(state.value("link").toBool(), true);
    // The decoding residue (230.10000000000002) is not published.
    QVERIFY(QString::fromUtf8(stateJson(report)).contains(QRegularExpression(R"("VAC":230\.1[,}])")));
    QCOMPARE(state.value("readings").toObject().value("TMOD").toDouble(), 44.4); // kept as float: 44.400002
    QCOMPARE(state.value("readings").toObject().size(), 3);
    QCOMPARE(state.value("readings").toObject().value("VDC").toDouble(), 395.1);
    QCOMPARE(state.value("calibrated").toArray(), QJsonArray{QStringLiteral("VDC")});
    QCOMPARE(state.value("raw").toObject().value("VDC").toDouble(), 360.0);
    QCOMPARE(state.value("asleep").toBool(), false);
    QCOMPARE(state.value("status").toObject().value("RUN").toString(), QStringLiteral("运行中"));
    QCOMPARE(state.value("faults").toArray().first().toString(), QStringLiteral("grid under-frequency"));
    QCOMPARE(state.value("alarm").toBool(), true);

    // Asleep at night without answering: link down, and why.
    report.linkUp = false;
    report.asleep = true;
    report.parameters.clear();
    const QJsonObject down = object(stateJson(report));
    QCOMPARE(down.value("link").toBool(), false);
    QCOMPARE(down.value("asleep").toBool(), true);
    QVERIFY(!down.contains("readings"));
    QVERIFY(!down.contains("status"));
}

void TestMqttPayloads::sensorConfig_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("deviceClass");
    QTest::addColumn<QString>("stateClass");
    QTest::newRow("voltage") << "X.1" << "V" << "voltage" << "measurement";
    QTest::newRow("current") << "X.1" << "A" << "current" << "measurement";
    QTest::newRow("power") << "X.1" << "W" << "power" << "measurement";
    QTest::newRow("energy counter") << "X.1" << "kWh" << "energy" << "total_increasing";
    QTest::newRow("temperature") << "X.1" << "°C" << "temperature" << "measurement";
    QTest::newRow("frequency") << "X.1" << "Hz" << "frequency" << "measurement";
    QTest::newRow("hours") << "X.1" << "h" << "" << "measurement";
    QTest::newRow("no unit") << "X.1" << "" << "" << "measurement";
    // Diagnostic: no statistics of a status word or an address.
    QTest::newRow("status word") << "STAT" << "" << "" << "";
    QTest::newRow("address") << "ADDR" << "" << "" << "";
}

void TestMqttPayloads::sensorConfig()
{
    QFETCH(QString, code);
    QFETCH(QString, unit);
    QFETCH(QString, deviceClass);
    QFETCH(QString, stateClass);

    DiscoveryContext withExpiry = context();
    withExpiry.expireAfterSeconds = 90;
    const MqttMessage m = vantoro::sensorConfig(withExpiry, numeric(code, unit, 1));
    const QString node = code == "X.1" ? QStringLiteral("X_1") : code;
    QCOMPARE(m.topic, QStringLiteral("ha/sensor/vantoro_001/%1/config").arg(node));
    QVERIFY(m.retain);
    const QJsonObject c = object(m.payload);
    QCOMPARE(c.value("name").toString(), code.toLower());
    QCOMPARE(c.value("unique_id").toString(), QStringLiteral("vantoro_001_") + node);
    QCOMPARE(c.value("state_topic").toString(), QStringLiteral("site/001/state"));
    // Both the station and the device must be there; one topic per kind.
    QVERIFY(!c.contains("availability_topic"));
    QCOMPARE(c.value("availability").toArray(),
             QJsonArray({QJsonObject{{"topic", "site/availability"}}, QJsonObject{{"topic", "site/001/link"}}}));
    QCOMPARE(c.value("availability_mode").toString(), QStringLiteral("all"));
    QCOMPARE(c.value("expire_after").toInt(), 90);
    QCOMPARE(c.contains("state_class"), !stateClass.isEmpty());
    QCOMPARE(c.value("state_class").toString(), stateClass);
    QCOMPARE(c.value("entity_category").toString(), stateClass.isEmpty() ? QStringLiteral("diagnostic") : QString());
    QCOMPARE(c.contains("device_class"), !deviceClass.isEmpty());
    QCOMPARE(c.value("device_class").toString(), deviceClass);
    QCOMPARE(c.contains("unit_of_measurement"), !unit.isEmpty());
    QCOMPARE(c.value("unit_of_measurement").toString(), unit);
    const QJsonObject device = c.value("device").toObject();
    QCOMPARE(device.value("identifiers").toArray(), QJsonArray({"vantoro_001"}));
    QCOMPARE(device.value("name").toString(), QStringLiteral("INV"));
    QCOMPARE(device.value("model").toString(), QStringLiteral("3K"));
    QCOMPARE(device.value("manufacturer").toString(), QStringLiteral("Maker"));
    QCOMPARE(device.value("via_device").toString(), QStringLiteral("vantoro_station"));
    QVERIFY(!object(vantoro::sensorConfig(context(), numeric(code, unit, 1)).payload).contains("expire_after"));
}

void TestMqttPayloads::sensorTemplatesStandAMessageWithoutReadings()
{
    CycleReport report;
    report.time = QDateTime(QDate(2026, 5, 1), QTime(12, 30, 5), QTimeZone(3600));
    report.linkUp = true;
    report.replied = true;
    report.parameters << numeric("VAC", "V", 230.1) << numeric("it's", "A", 2.5);
    const QString vac = object(vantoro::sensorConfig(context(), report.parameters[0]).payload)["value_template"].toString();
    const QString quoted = object(vantoro::sensorConfig(context(), report.parameters[1]).payload)["value_template"].toString();
    const QString up = render(vac, stateJson(report));
    if (up.isEmpty())
        QSKIP("python3-jinja2 is not installed (scripts/install-deps.sh)");
    QCOMPARE(up, QStringLiteral("230.1"));
    QCOMPARE(render(quoted, stateJson(report)), QStringLiteral("2.5"));

    // A reading the message lacks, and a message without any: unknown, not
    // an error that would leave the last number standing.
    report.parameters.removeLast();
    QCOMPARE(render(quoted, stateJson(report)), QStringLiteral("None"));
    report.linkUp = false;
    report.parameters.clear();
    QCOMPARE(render(vac, stateJson(report)), QStringLiteral("None"));
}

void TestMqttPayloads::binarySensors()
{
    const QList<MqttMessage> configs = binarySensorConfigs(context());
    QCOMPARE(topics(configs), QStringList({"ha/binary_sensor/vantoro_001/alarm/config",
                                           "ha/binary_sensor/vantoro_001/link/config"}));
    const QJsonObject link = object(configs[0].payload);
    QCOMPARE(link.value("device_class").toString(), QStringLiteral("connectivity"));
    QCOMPARE(link.value("value_template").toString(), QStringLiteral("{{ 'ON' if value_json.link else 'OFF' }}"));
    QCOMPARE(object(configs[1].payload).value("device_class").toString(), QStringLiteral("problem"));
    // The link sensor shows the link: only the station governs whether it is
    // known. The alarm is unknown while the device is not watched too.
    QCOMPARE(link.value("availability").toArray(), QJsonArray({QJsonObject{{"topic", "site/availability"}}}));
    QCOMPARE(object(configs[1].payload).value("availability").toArray(),
             QJsonArray({QJsonObject{{"topic", "site/availability"}}, QJsonObject{{"topic", "site/001/link"}}}));
}

void TestMqttPayloads::stationAndPlant()
{
    StationContext c;
    c.prefix = QStringLiteral("ha");
    c.stationTopic = QStringLiteral("site");
    c.stationName = QStringLiteral("Station");
    c.plantName = QStringLiteral("Plant");
    c.expireAfterSeconds = 90;
    const QList<MqttMessage> configs = stationConfigs(c);
    QCOMPARE(topics(configs), QStringList({"ha/binary_sensor/vantoro_station/online/config",
                                           "ha/sensor/vantoro_plant/devices_up/config",
                                           "ha/sensor/vantoro_plant/energy/config",
                                           "ha/sensor/vantoro_plant/power/config"}));
    const QJsonObject online = object(configs[0].payload);
    QCOMPARE(online.value("state_topic").toString(), QStringLiteral("site/availability"));
    QCOMPARE(online.value("device").toObject().value("identifiers").toArray(), QJsonArray({"vantoro_station"}));
    QVERIFY(!online.contains("availability"));
    const QJsonObject energy = object(configs[2].payload);
    QCOMPARE(energy.value("state_topic").toString(), QStringLiteral("site/plant/state"));
    QCOMPARE(energy.value("state_class").toString(), QStringLiteral("total_increasing"));
    QCOMPARE(energy.value("unit_of_measurement").toString(), QStringLiteral("kWh"));
    const QJsonObject plantDevice = energy.value("device").toObject();
    QCOMPARE(plantDevice.value("identifiers").toArray(), QJsonArray({"vantoro_plant"}));
    QCOMPARE(plantDevice.value("via_device").toString(), QStringLiteral("vantoro_station"));

    PlantState plant;
    plant.time = QDateTime(QDate(2026, 5, 1), QTime(12, 0), QTimeZone(3600));
    plant.powerWatts = 3306.5;
    plant.devicesUp = 2;
    plant.devices = 3;
    const QString energyTemplate = energy.value("value_template").toString();
    const QString none = render(energyTemplate, plantStateJson(plant));
    if (none.isEmpty())
        QSKIP("python3-jinja2 is not installed (scripts/install-deps.sh)");
    // No counter read yet: unknown, never a 0 that would read as a reset.
    QCOMPARE(none, QStringLiteral("None"));
    plant.energyKwh = 12945.85;
    QCOMPARE(render(energyTemplate, plantStateJson(plant)), QStringLiteral("12945.85"));
    QCOMPARE(render(object(configs[1].payload).value("value_template").toString(), plantStateJson(plant)),
             QStringLiteral("3306.5"));
    QCOMPARE(render(object(configs[3].payload).value("value_template").toString(), plantStateJson(plant)),
             QStringLiteral("2"));

    QCOMPARE(configNode("ha", "ha/sensor/vantoro_007/VAC/config"), QStringLiteral("vantoro_007"));
    QCOMPARE(configNode("ha", "ha/status"), QString());
    QCOMPARE(configNode("ha", "hass/sensor/vantoro_007/VAC/config"), QString());
    QCOMPARE(configNode("ha", "ha/sensor/x/vantoro_007/VAC/config"), QString());
}

void TestMqttPayloads::topicChecks_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << "vantoro/001" << true;
    QTest::newRow("single level") << "station" << true;
    QTest::newRow("plus") << "site/+/inv" << false;
    QTest::newRow("hash") << "site/#" << false;
    QTest::newRow("leading slash") << "/site/inv" << false;
    QTest::newRow("empty level") << "site//inv" << false;
    QTest::newRow("trailing slash") << "site/" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMqttPayloads::topicChecks()
{
    QFETCH(QString, topic);
    QFETCH(bool, accepted);
    QCOMPARE(mqttTopicProblem(topic).isEmpty(), accepted);

    MqttSettings s;
    s.baseTopic = topic;
    // An empty base topic means the default one.
    QCOMPARE(mqttSettingsProblem(s).isEmpty(), accepted || topic.isEmpty());
    s = MqttSettings();
    s.discoveryPrefix = topic;
    QCOMPARE(mqttSettingsProblem(s).isEmpty(), accepted);
    s.discovery = false;
    QVERIFY(mqttSettingsProblem(s).isEmpty());
}

void TestMqttPayloads::discoveryBookkeeping()
{
    const DiscoveryContext c = context();
    const MqttMessage vac = vantoro::sensorConfig(c, numeric("VAC", "V", 0));
    const MqttMessage iac = vantoro::sensorConfig(c, numeric("IAC", "A", 0));
    const QString old = QStringLiteral("ha/sensor/vantoro_001/OLD/config");
    DiscoveryTracker tracker;

    // A config found on the broker stays until the parameters are known.
    QVERIFY(tracker.found(old, "{}").isEmpty());
    QCOMPARE(topics(tracker.update({vac}, false)), QStringList({vac.topic}));
    QCOMPARE(topics(tracker.update({vac, iac}, true)), QStringList({iac.topic, old + " (removed)"}));
    QVERIFY(tracker.update({vac, iac}, true).isEmpty());
    QVERIFY(tracker.found(vac.topic, vac.payload).isEmpty()); // our own, coming back

    MqttMessage renamed = vantoro::sensorConfig(c, numeric("VAC", "kV", 0));
    QCOMPARE(topics(tracker.update({renamed}, true)), QStringList({iac.topic + " (removed)", vac.topic}));

    // Home Assistant restarted: everything wanted once more, nothing else.
    QCOMPARE(topics(tracker.resendAll()), QStringList({vac.topic}));
    QVERIFY(tracker.update({renamed}, true).isEmpty());

    tracker.reset();
    QCOMPARE(topics(tracker.update({renamed}, true)), QStringList({vac.topic}));
}

void TestMqttPayloads::retryDelays()
{
    QList<int> delays;
    for (int attempt = 0; attempt < 9; ++attempt)
        delays << mqttRetryDelaySeconds(attempt);
    QCOMPARE(delays, QList<int>({1, 2, 4, 8, 16, 32, 60, 60, 60}));
}

QTEST_GUILESS_MAIN(TestMqttPayloads)
#include "tst_mqtt_payloads.moc"
