// The MQTT service against a real broker: what a real poll of the simulator
// publishes, sensors unavailable while the device is not watched, discovery
// configs kept in line with the enabled parameters and sent again to a
// restarted Home Assistant, the last will of a killed station, reconnection
// after the broker restarts, a refused password and a broker that never
// answers.
#include "mqtt_test_support.h"
#include "plant_reports.h"
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "mqtt/mqtt_publisher.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <csignal>
#include <memory>

using namespace vantoro;
using test::ReceivedMessage;
using test::TestSubscriber;

namespace {

const QString kState = QStringLiteral("test/station/001/state");
const QString kAvailability = QStringLiteral("test/station/availability");
const QString kLink = QStringLiteral("test/station/001/link");

MqttSettings brokerSettings(int port)
{
    MqttSettings s;
    s.enabled = true;
    s.host = QStringLiteral("127.0.0.1");
    s.port = port;
    s.baseTopic = QStringLiteral("test/station");
    s.discoveryPrefix = QStringLiteral("ha");
    return s;
}

QString configTopic(const QString &code)
{
    return QStringLiteral("ha/sensor/vantoro_001/%1/config").arg(code);
}

auto payloadIs(const char *payload)
{
    return [payload](const ReceivedMessage &m) { return m.payload == payload; };
}

bool waitConnected(const MqttPublisher &publisher, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return publisher.isConnected(); }, timeoutMs);
}

int countInLog(const QString &text)
{
    return int(runningLogText().count(text));
}

ParameterReading numeric(const QString &code, const QString &unit, double value)
{
    ParameterReading p;
    p.code = code;
    p.name = code;
    p.unit = unit;
    p.numeric = true;
    p.value = value;
    return p;
}

CycleReport linkedReport(const QList<ParameterReading> &parameters)
{
    CycleReport r;
    r.time = QDateTime::currentDateTime();
    r.linkUp = true;
    r.replied = true;
    r.deviceId = QStringLiteral("001");
    r.deviceName = QStringLiteral("INV");
    r.rating = QStringLiteral("3K");
    r.parameters = parameters;
    r.polling = true;
    return r;
}

bool hasReadings(const ReceivedMessage &m)
{
    return TestSubscriber::json(m).contains("readings");
}

} // namespace

class TestMqttBroker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void publishesWhatThePollerRead();
    void sensorsUnavailableWhileTheDeviceIsNotWatched();
    void removesConfigsOfDisabledParameters();
    void plantOfThreeHasAvailabilityPerDevice();
    void lastWillWhenTheStationIsKilled();
    void reconnectsAfterTheBrokerRestarts();
    void refusedPasswordIsReportedOnce();
    void tlsWithTheBrokersCaAndWithout();
    void silentBrokerIsNamedAsSuch();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    test::SimProcess m_sim;
    test::BrokerProcess m_broker;
};

void TestMqttBroker::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_home->removeLanguageFiles();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
    QVERIFY(loadDevices());
    upgradeSchema();
    QVERIFY2(m_sim.start({"--baud", "0", "--vac", "2301", "--iac", "1002", "--vdc", "3603", "--idc", "704", "--tmod",
                 "-55", "--tamb", "256", "--energy", "123456", "--status", "0x0101"}),
        qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorText()));
}

void TestMqttBroker::cleanupTestCase()
{
    m_broker.stop();
    m_sim.stop();
    m_messages.reset();
    m_home.reset();
}

void TestMqttBroker::init()
{
    QVERIFY(saveMqttSettings(brokerSettings(m_broker.port())));
    clearRunningLog();
}

void TestMqttBroker::publishesWhatThePollerRead()
{
    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port()));
    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(waitConnected(publisher));
    QVERIFY(sub.waitFor(kAvailability, 5000, payloadIs("online")));

    // The database's device and table, polled as the one device of the test.
    Line line(std::make_unique<QtSerialPort>());
    QVERIFY(line.load());
    Device &dev = *line.first();
    DeviceRecord record = test::pollOneDevice(2, 0.3);
    record.rating = dev.record().rating;
    dev.setRecord(record);
    const ParamTable &table = dev.table();
    sysSettings.PauseSeconds = 60;
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    poller.reloadTick();
    QCOMPARE(dev.link().linkOk, 1);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("online")));

    // The state: every enabled number as the poll decoded it.
    const auto state = sub.waitFor(kState, 5000, [](const ReceivedMessage &m) { return TestSubscriber::json(m)["link"].toBool(); });
    QVERIFY(state);
    const QJsonObject json = TestSubscriber::json(*state);
    const QJsonObject readings = json["readings"].toObject();
    const QMap<QString, double> sent = {{"VAC", 230.1}, {"IAC", 10.02}, {"VDC", 360.3}, {"IDC", 7.04},
                                        {"TMOD", -5.5}, {"TAMB", 25.6}, {"EKWH", 12345.6}, {"STAT", 257}};
    for (auto it = sent.begin(); it != sent.end(); ++it)
        QVERIFY2(qAbs(readings[it.key()].toDouble() - it.value()) < 1e-9, qPrintable(it.key()));
    QCOMPARE(json["status"].toObject()["RUN"].toString(), table[14].srcstring);
    QCOMPARE(json["alarm"].toBool(), true); // status bit 8: grid under-frequency
    QVERIFY(!json["faults"].toArray().isEmpty());

    // One sensor per enabled number, with the unit and classes that fit it.
    const QMap<QString, QString> classes = {{"VAC", "voltage"},     {"IAC", "current"},     {"VDC", "voltage"},
                                            {"IDC", "current"},     {"TMOD", "temperature"}, {"TAMB", "temperature"},
                                            {"EKWH", "energy"},     {"STAT", ""},            {"ADDR", ""}};
    int sensors = 0;
    for (const ParamRecord &p : table) {
        if (p.isEmpty() || p.enabled == 0 || p.isstring != 0)
            continue;
        ++sensors;
        const auto config = sub.waitFor(configTopic(p.paracode));
        QVERIFY2(config, qPrintable(p.paracode));
        const QJsonObject c = TestSubscriber::json(*config);
        QCOMPARE(c["name"].toString(), p.paraname);
        QCOMPARE(c["unique_id"].toString(), "vantoro_001_" + p.paracode);
        QCOMPARE(c["state_topic"].toString(), kState);
        QCOMPARE(c["availability"].toArray(),
                 QJsonArray({QJsonObject{{"topic", kAvailability}}, QJsonObject{{"topic", kLink}}}));
        QVERIFY(c["value_template"].toString().contains("value_json.readings['" + p.paracode + "']"));
        QCOMPARE(c["unit_of_measurement"].toString(), p.unit);
        QCOMPARE(c["device_class"].toString(), classes.value(p.paracode));
        const bool diagnostic = p.paracode == "STAT" || p.paracode == "ADDR";
        QCOMPARE(c["state_class"].toString(),
                 diagnostic ? "" : p.paracode == "EKWH" ? "total_increasing" : "measurement");
        const QJsonObject device = c["device"].toObject();
        QCOMPARE(device["identifiers"].toArray(), QJsonArray({"vantoro_001"}));
        QCOMPARE(device["name"].toString(), QStringLiteral("INV"));
        QCOMPARE(device["model"].toString(), dev.record().rating);
        QCOMPARE(device["manufacturer"].toString(), QStringLiteral("Vantoro"));
    }
    QCOMPARE(sensors, classes.size());
    QVERIFY(sub.waitFor("ha/binary_sensor/vantoro_001/link/config"));
    QVERIFY(sub.waitFor("ha/binary_sensor/vantoro_001/alarm/config"));

    // A later subscriber finds the configs and the availability retained.
    TestSubscriber late;
    QVERIFY(late.connect(m_broker.port()));
    const auto retained = late.waitFor(configTopic("VAC"));
    QVERIFY(retained && retained->retained);
    QVERIFY(late.waitFor(kAvailability, 5000, [](const ReceivedMessage &m) { return m.retained && m.payload == "online"; }));

    QVERIFY(logEvent(QStringLiteral("MQTT test event"), QStringLiteral("001"), QString(), true));
    const auto event = sub.waitFor("test/station/001/event");
    QVERIFY(event);
    QCOMPARE(TestSubscriber::json(*event)["text"].toString(), QStringLiteral("MQTT test event"));

    // The link goes down: one message without values, not one per cycle.
    QVERIFY(m_sim.writeScenario("fault=noreply\n"));
    poller.reloadTick();
    poller.reloadTick();
    QVERIFY(m_sim.writeScenario(QString()));
    const auto down = sub.waitFor(kState, 5000, [](const ReceivedMessage &m) { return !TestSubscriber::json(m)["link"].toBool(); });
    QVERIFY(down);
    QVERIFY(!hasReadings(*down));
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("offline")));
    QTest::qWait(200);
    int downs = 0;
    for (const ReceivedMessage &m : sub.messages())
        downs += m.topic == kState && !TestSubscriber::json(m)["link"].toBool();
    QCOMPARE(downs, 1);

    publisher.stop();
    QVERIFY(sub.waitFor(kAvailability, 5000, payloadIs("offline")));
}

void TestMqttBroker::sensorsUnavailableWhileTheDeviceIsNotWatched()
{
    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port()));
    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(waitConnected(publisher));
    const CycleReport up = linkedReport({numeric("VAC", "V", 230)});
    stationBus().publishCycle(up);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("online")));
    QVERIFY(sub.waitFor(kState, 5000, hasReadings));

    // The device stops answering.
    sub.clear();
    CycleReport down = up;
    down.linkUp = false;
    down.replied = false;
    down.parameters.clear();
    stationBus().publishCycle(down);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("offline")));
    sub.clear();
    stationBus().publishCycle(up);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("online")));
    QVERIFY(sub.waitFor(kState, 5000, hasReadings));

    // Polling switched off: the last values are not published as live, not
    // even to a connection made afterwards.
    sub.clear();
    stationBus().publishPolling(false);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("offline")));
    const auto off = sub.waitFor(kState);
    QVERIFY(off);
    QCOMPARE(TestSubscriber::json(*off)["link"].toBool(), false);
    MqttSettings reconnect = brokerSettings(m_broker.port());
    reconnect.clientId = QStringLiteral("vantoro-reconnected");
    QVERIFY(saveMqttSettings(reconnect));
    stationBus().publishSettingsSaved();
    QVERIFY(sub.waitFor(kAvailability, 5000, payloadIs("online")));
    QVERIFY(waitConnected(publisher));
    QTest::qWait(200);
    for (const ReceivedMessage &m : sub.messages()) {
        QVERIFY2(m.topic != kState || !hasReadings(m), m.payload.constData());
        QVERIFY2(m.topic != kLink || m.payload == "offline", m.payload.constData());
    }
    TestSubscriber late;
    QVERIFY(late.connect(m_broker.port()));
    QVERIFY(late.waitFor(kLink, 5000, [](const ReceivedMessage &m) { return m.retained && m.payload == "offline"; }));

    // Switched on again: offline until the device answers.
    sub.clear();
    stationBus().publishPolling(true);
    QTest::qWait(200);
    QVERIFY(!sub.waitFor(kLink, 0));
    stationBus().publishCycle(up);
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("online")));

    // Home Assistant restarted without its retained messages.
    sub.clear();
    QVERIFY(sub.publish(QStringLiteral("ha/status"), "online", false));
    QVERIFY(sub.waitFor(configTopic("VAC")));
    QVERIFY(sub.waitFor("ha/binary_sensor/vantoro_001/link/config"));
}

void TestMqttBroker::removesConfigsOfDisabledParameters()
{
    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port()));
    // Left on the broker by an earlier run, for a parameter since disabled.
    QVERIFY(sub.publish(configTopic("GONE"), R"({"name":"gone"})", true));
    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(waitConnected(publisher));

    stationBus().publishCycle(linkedReport({numeric("VAC", "V", 230), numeric("IAC", "A", 5)}));
    QVERIFY(sub.waitFor(configTopic("IAC"), 5000, [](const ReceivedMessage &m) { return !m.payload.isEmpty(); }));
    QVERIFY(sub.waitFor(configTopic("GONE"), 5000, payloadIs("")));

    stationBus().publishCycle(linkedReport({numeric("VAC", "V", 231)}));
    QVERIFY(sub.waitFor(configTopic("IAC"), 5000, payloadIs("")));

    TestSubscriber late;
    QVERIFY(late.connect(m_broker.port()));
    QVERIFY(late.waitFor(configTopic("VAC")));
    // Nothing of them is kept. An empty one may still pass by live: our own
    // config echoed back after its removal is removed once more.
    for (const ReceivedMessage &m : late.messages()) {
        QVERIFY2(m.payload.isEmpty() || (m.topic != configTopic("IAC") && m.topic != configTopic("GONE")),
                 qPrintable(m.topic));
    }
}

// 001 answers, 002 has gone silent after one reply, 003 answers with a
// fault; then 003 is removed from the line and 004 added, while running.
void TestMqttBroker::plantOfThreeHasAvailabilityPerDevice()
{
    StationBus &bus = stationBus();
    const QList<DeviceInfo> single = bus.devices();
    QCOMPARE(single.size(), 1);
    test::PlantDevice first(single.first());
    first.powerWatts = 2000;
    first.energyKwh = 1000;
    test::PlantDevice west({QStringLiteral("002"), QStringLiteral("West"), 2, 2, QStringLiteral("3K"), true});
    west.powerWatts = 800;
    west.energyKwh = 100;
    test::PlantDevice east({QStringLiteral("003"), QStringLiteral("East"), 3, 2, QStringLiteral("5K"), true});
    east.powerWatts = 1500;
    east.energyKwh = 500;
    east.faults = QStringList{QStringLiteral("Grid frequency too low")};
    bus.publishDevices({single.first(), west.info, east.info});

    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port()));
    // Left on the broker by an earlier run, for a device since removed.
    const QString leftOver = QStringLiteral("ha/sensor/vantoro_009/VAC/config");
    QVERIFY(sub.publish(leftOver, R"({"name":"gone"})", true));
    MqttPublisher publisher(bus);
    publisher.start();
    QVERIFY(waitConnected(publisher));

    bus.publishCycle(test::plantReport(first));
    bus.publishCycle(test::plantReport(west));
    west.linkUp = false;
    west.attempts = {PollResult::Timeout};
    const CycleReport silent = test::plantReport(west);
    bus.publishCycle(silent);
    const CycleReport faulty = test::plantReport(east);
    bus.publishCycle(faulty);
    bus.publishRound(roundOf({test::plantReport(first), silent, faulty}, true, QDateTime::currentDateTime()));

    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("online")));
    QVERIFY(sub.waitFor("test/station/002/link", 5000, payloadIs("offline")));
    QVERIFY(sub.waitFor("test/station/003/link", 5000, payloadIs("online")));
    const auto down = sub.waitFor("test/station/002/state", 5000,
                                  [](const ReceivedMessage &m) { return !TestSubscriber::json(m)["link"].toBool(); });
    QVERIFY(down && !hasReadings(*down));
    const auto alarm = sub.waitFor("test/station/003/state");
    QVERIFY(alarm);
    QCOMPARE(TestSubscriber::json(*alarm)["alarm"].toBool(), true);
    QCOMPARE(TestSubscriber::json(*alarm)["readings"].toObject()["PAC"].toDouble(), 1500.0);

    // Each inverter a device of its own behind the station, unavailable
    // with the station or with its own link.
    const auto power = sub.waitFor(QStringLiteral("ha/sensor/vantoro_002/PAC/config"));
    QVERIFY(power);
    const QJsonObject config = TestSubscriber::json(*power);
    QCOMPARE(config["state_topic"].toString(), QStringLiteral("test/station/002/state"));
    QCOMPARE(config["availability"].toArray(), QJsonArray({QJsonObject{{"topic", kAvailability}},
                                                           QJsonObject{{"topic", "test/station/002/link"}}}));
    QCOMPARE(config["availability_mode"].toString(), QStringLiteral("all"));
    QCOMPARE(config["device"]["identifiers"].toArray(), QJsonArray({"vantoro_002"}));
    QCOMPARE(config["device"]["name"].toString(), QStringLiteral("West"));
    QCOMPARE(config["device"]["via_device"].toString(), QStringLiteral("vantoro_station"));
    QVERIFY(sub.waitFor(QStringLiteral("ha/binary_sensor/vantoro_station/online/config")));
    QVERIFY(sub.waitFor(QStringLiteral("ha/sensor/vantoro_plant/energy/config")));
    const auto plant = sub.waitFor(QStringLiteral("test/station/plant/state"));
    QVERIFY(plant);
    QCOMPARE(TestSubscriber::json(*plant)["powerWatts"].toDouble(), 3500.0);
    QCOMPARE(TestSubscriber::json(*plant)["devicesUp"].toInt(), 2);
    // The silent device's last counter stays in: the total never falls back.
    QCOMPARE(TestSubscriber::json(*plant)["energyKwh"].toDouble(), 1600.0);
    QVERIFY(sub.waitFor(leftOver, 5000, payloadIs("")));

    // Removed at run time: its configs and its retained link go; added: its
    // configs come before its first cycle.
    sub.clear();
    bus.publishDevices({single.first(), west.info,
                        {QStringLiteral("004"), QStringLiteral("North"), 4, 2, QStringLiteral("3K"), true}});
    QVERIFY(sub.waitFor(QStringLiteral("ha/sensor/vantoro_003/PAC/config"), 5000, payloadIs("")));
    QVERIFY(sub.waitFor(QStringLiteral("ha/binary_sensor/vantoro_003/alarm/config"), 5000, payloadIs("")));
    QVERIFY(sub.waitFor(QStringLiteral("test/station/003/link"), 5000, payloadIs("")));
    const auto added = sub.waitFor(QStringLiteral("ha/binary_sensor/vantoro_004/link/config"));
    QVERIFY(added && !added->payload.isEmpty());
    QVERIFY(sub.waitFor(QStringLiteral("test/station/004/link"), 5000, payloadIs("offline")));
    // The clears go out one after another: a subscriber that comes after
    // the last of them finds nothing retained of the removed device.
    const auto retainedOfTheRemoved = [&] {
        TestSubscriber late;
        if (!late.connect(m_broker.port()) || !late.waitFor(QStringLiteral("ha/sensor/vantoro_002/PAC/config")))
            return QStringList{QStringLiteral("(no late subscriber)")};
        QStringList found;
        for (const ReceivedMessage &m : late.messages()) {
            if (m.topic.contains(QLatin1String("003")) || m.topic == leftOver)
                found << m.topic;
        }
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(retainedOfTheRemoved(), QStringList(), 5000);

    // Disabled on the line: not watched, whatever its last cycle said.
    DeviceInfo disabled = single.first();
    disabled.enabled = false;
    bus.publishDevices({disabled, west.info});
    QVERIFY(sub.waitFor(kLink, 5000, payloadIs("offline")));

    publisher.stop();
    bus.publishDevices(single);
}

void TestMqttBroker::lastWillWhenTheStationIsKilled()
{
    MqttSettings s = brokerSettings(m_broker.port());
    s.baseTopic = QStringLiteral("test/killed");
    s.clientId = QStringLiteral("vantoro-killed");
    QVERIFY(saveMqttSettings(s));
    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port(), QStringLiteral("test/killed/#")));

    QProcess station;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTORO_HOME"), m_home->path());
    station.setProcessEnvironment(env);
    station.start(QStringLiteral(MQTT_HELPER_PATH), {});
    QVERIFY(station.waitForStarted());
    QVERIFY(sub.waitFor("test/killed/availability", 5000, payloadIs("online")));

    ::kill(pid_t(station.processId()), SIGKILL);
    QVERIFY(station.waitForFinished(3000));
    QVERIFY(sub.waitFor("test/killed/availability", 5000, payloadIs("offline")));
}

void TestMqttBroker::reconnectsAfterTheBrokerRestarts()
{
    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(waitConnected(publisher));
    stationBus().publishCycle(linkedReport({numeric("VAC", "V", 230)}));

    m_broker.stop();
    QVERIFY(QTest::qWaitFor([&] { return countInLog("MQTT: connection lost to 127.0.0.1") == 1; }, 5000));
    QVERIFY(!publisher.isConnected());
    QVERIFY2(m_broker.start(), qPrintable(m_broker.errorText()));
    QVERIFY(waitConnected(publisher, 10000));

    // The broker kept nothing: availability and configs were sent again.
    TestSubscriber sub;
    QVERIFY(sub.connect(m_broker.port()));
    QVERIFY(sub.waitFor(kAvailability, 5000, payloadIs("online")));
    QVERIFY(sub.waitFor(configTopic("VAC")));
    QVERIFY(sub.waitFor("ha/binary_sensor/vantoro_001/link/config"));
}

void TestMqttBroker::refusedPasswordIsReportedOnce()
{
    test::BrokerProcess secured;
    QVERIFY2(secured.start(QStringLiteral("station"), QStringLiteral("right")), qPrintable(secured.errorText()));
    MqttSettings s = brokerSettings(secured.port());
    s.userName = QStringLiteral("station");
    s.password = QStringLiteral("wrong");
    QVERIFY(saveMqttSettings(s));

    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(QTest::qWaitFor([&] { return runningLogText().contains("not authorised"); }, 5000));
    QVERIFY(publisher.stateText().startsWith("MQTT: cannot connect to 127.0.0.1"));
    QTest::qWait(1500); // the first retry is refused the same way: no second line
    QCOMPARE(countInLog("MQTT: cannot connect"), 1);
    QVERIFY(!publisher.isConnected());
    QVERIFY(m_messages->texts.isEmpty());

    // A corrected password applies on save, without a restart.
    s.password = QStringLiteral("right");
    QVERIFY(saveMqttSettings(s));
    stationBus().publishSettingsSaved();
    QVERIFY(waitConnected(publisher));
    // A save that changes nothing of the broker's keeps the connection.
    stationBus().publishSettingsSaved();
    QTest::qWait(100);
    QVERIFY(publisher.isConnected());
    QCOMPARE(countInLog("MQTT: connected to"), 1);
}

void TestMqttBroker::tlsWithTheBrokersCaAndWithout()
{
    test::BrokerProcess secured;
    QVERIFY2(secured.useTls(), qPrintable(secured.errorText()));
    QVERIFY2(secured.start(), qPrintable(secured.errorText()));
    MqttSettings s = brokerSettings(secured.port());
    s.tls = true;
    s.caFile = secured.caFile();
    QVERIFY(saveMqttSettings(s));
    MqttPublisher publisher(stationBus());
    publisher.start();
    QVERIFY(waitConnected(publisher));

    // The system's store does not know the test's authority: the handshake
    // fails, once reported, and the retries fail the same way.
    s.caFile.clear();
    QVERIFY(saveMqttSettings(s));
    stationBus().publishSettingsSaved();
    QVERIFY(QTest::qWaitFor([&] { return countInLog("MQTT: cannot connect") == 1; }, 5000));
    QVERIFY(publisher.stateText().contains("TLS"));
    QTest::qWait(1500);
    QCOMPARE(countInLog("MQTT: cannot connect"), 1);
    QVERIFY(!publisher.isConnected());
}

void TestMqttBroker::silentBrokerIsNamedAsSuch()
{
    // Takes the connection and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> taken;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = silent.nextPendingConnection())
            taken << socket;
    });
    MqttLink link;
    QStringList failures;
    connect(&link, &MqttLink::connectFailed, this, [&](const QString &reason) { failures << reason; });
    MqttLinkOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = silent.serverPort();
    options.clientId = QStringLiteral("vantoro-silent");
    options.answerTimeoutSeconds = 1;
    QVERIFY(link.start(options));
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, 5000);
    QCOMPARE(failures.first(), QStringLiteral("the broker did not answer within 1 s"));
    // The silent connection was given up, not left open beside the retry.
    QTRY_VERIFY_WITH_TIMEOUT(!taken.isEmpty() && taken.first()->state() == QAbstractSocket::UnconnectedState, 3000);
    link.stop();
}

QTEST_GUILESS_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
