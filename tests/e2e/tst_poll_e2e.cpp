// The station's poll cycle against the device simulator: both protocol
// versions, every injected fault, recovery on the next good reply, and a
// whole PV day with its night.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "acquisition/serial_link.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/after_cycle.h"
#include "events/alarm_acknowledge.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"

#include <QFile>
#include <QTest>
#include <memory>

using namespace vantoro;
using vantoro::test::SimProcess;

namespace {

// A reply at --baud 0 arrives within milliseconds; the faults that end in a
// time-out cost this much each.
constexpr float TIMEOUT_SECONDS = 0.3f;
constexpr int LATE_MS = 500;

class StatusCapture : public StatusSink
{
public:
    void showStatus(const QString &text) override { texts << text; }
    void runningLogChanged(const QString &, bool) override { }
    bool has(const QString &text) const { return texts.contains(text); }
    bool hasPrefix(const QString &prefix) const
    {
        return std::any_of(texts.begin(), texts.end(), [&](const QString &t) { return t.startsWith(prefix); });
    }
    QStringList texts;
};

QStringList events()
{
    QStringList out;
    if (const auto rs = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid")))
        for (const QVariantList &row : rs->rows)
            out << row[0].toString();
    return out;
}

void clearDecodedValues(ParamTable &table)
{
    for (int row = 2; row <= 10; ++row)
        table[size_t(row)].paravalue = 0;
}

// The simulator's values (see initTestCase) as the default parameter table reads them.
void verifyDecodedValues(const ParamTable &table)
{
    QCOMPARE(table[0].number(), 1.0);
    QVERIFY(qAbs(table[2].number() - 230.1) < 1e-6);
    QVERIFY(qAbs(table[3].number() - 10.02) < 1e-6);
    QVERIFY(qAbs(table[4].number() - 360.3) < 1e-6);
    QVERIFY(qAbs(table[5].number() - 7.04) < 1e-6);
    QVERIFY(qAbs(table[6].number() - (-5.5)) < 1e-4);
    QVERIFY(qAbs(table[7].number() - 25.6) < 1e-4);
    QVERIFY(qAbs(table[8].number() - 12345.6) < 1e-6);
    QCOMPARE(table[10].number(), 1.0 * 0x0101);
    QCOMPARE(table[14].text(), table[14].srcstring); // bit 0 set
    QCOMPARE(table[15].text(), table[15].okstring);
    QCOMPARE(table[22].text(), table[22].srcstring); // bit 8 set
}

} // namespace

class TestPollE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void faults_data();
    void faults();
    void aRetryRecoversFromOneLostReply();
    void aNightIsSleepNotAnAlarm();
    void remoteCommandsReachTheDevice();
    void aPlantOfThreeIsJudgedPerDevice();

private:
    void startPoller();
    void setProtocol(int protocol)
    {
        DeviceRecord r = m_dev->record();
        r.protocol = protocol;
        m_dev->setRecord(r);
    }

    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    SimProcess m_sim;
    StatusCapture m_status;
    std::unique_ptr<Line> m_line;   // the database's device, polled through the simulator's port
    Device *m_dev = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    int m_refreshes = 0;
    int m_linkDowns = 0;
    int m_eventsBefore = 0;
};

void TestPollE2e::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_home->removeLanguageFiles();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
    m_line = std::make_unique<Line>(std::make_unique<QtSerialPort>());
    QVERIFY(m_line->load());
    m_dev = m_line->first();
    QVERIFY(m_dev);

    QVERIFY2(m_sim.start({"--baud", "0", "--vac", "2301", "--iac", "1002", "--vdc", "3603", "--idc", "704", "--tmod",
                 "-55", "--tamb", "256", "--energy", "123456", "--status", "0x0101"}),
        qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
    setStatusSink(&m_status);
}

void TestPollE2e::cleanupTestCase()
{
    setStatusSink(nullptr);
    m_sim.stop();
    m_dev = nullptr;
    m_line.reset();
    m_messages.reset();
    m_home.reset();
}

void TestPollE2e::startPoller()
{
    DeviceRecord record = test::pollOneDevice(m_dev->record().protocol, TIMEOUT_SECONDS);
    record.rating = m_dev->record().rating;
    m_dev->setRecord(record);
    sysSettings.PauseSeconds = 60;
    m_timer = std::make_unique<QTimer>();
    m_poller = std::make_unique<Poller>(*m_line, *m_timer,
        PollHooks{[this](Device &) { ++m_refreshes; }, [this](Device &) { ++m_linkDowns; }, {}, {}, {}});
    m_timer->start(3600 * 1000); // polling on; the test drives the ticks
    m_refreshes = 0;
    m_linkDowns = 0;
}

void TestPollE2e::init()
{
    QVERIFY(m_sim.writeScenario(QString()));
    startPoller();
    m_status.texts.clear();
    m_eventsBefore = int(events().size());
    resetEventThrottle();
}

void TestPollE2e::cleanup()
{
    m_poller.reset();
    m_timer.reset();
}

void TestPollE2e::faults_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("message"); // a status text the faulted cycle writes (prefix)
    QTest::addColumn<int>("linkOk"); // after the faulted cycle
    QTest::addColumn<bool>("valuesStored"); // the faulted reply was decoded anyway

    const QString late = QStringLiteral("fault=late\nlate-ms=%1\n").arg(LATE_MS);
    for (const int v : {1, 2}) {
        const char *tag = v == 1 ? "v1" : "v2";
        QTest::addRow("%s none", tag) << v << QString() << "msgDataProcessOk(INV)" << 1 << true;
        QTest::addRow("%s noreply", tag) << v << "fault=noreply\n"
                                         << "msgConnTimeOut0" << 0 << false;
        QTest::addRow("%s late", tag) << v << late << "msgConnTimeOut0" << 0 << false;
        QTest::addRow("%s truncated", tag) << v << "fault=truncated\ntruncate-to=20\n"
                                           << "msgConnTimeOut20" << 0 << false;
        // Pieces 200 ms apart: the wait ends with two of them.
        QTest::addRow("%s split past the time-out", tag) << v << "fault=split\nsplit-pieces=3\nsplit-gap-ms=200\n"
                                                         << "msgConnTimeOut" << 0 << false;
        QTest::addRow("%s split within the time-out", tag) << v << "fault=split\nsplit-pieces=3\nsplit-gap-ms=40\n"
                                                           << "msgDataProcessOk(INV)" << 1 << true;
        // Unpaced, the whole reply is waiting behind the noise when the head is searched.
        QTest::addRow("%s garbage", tag) << v << "fault=garbage\ngarbage-bytes=5\n"
                                         << "msgDataProcessOk(INV)" << 1 << true;
    }
    // A check mismatch is reported, and the reply is still used.
    QTest::newRow("v1 badsum") << 1 << "fault=badsum\n"
                               << "msgConnCheckError" << 1 << true;
    QTest::newRow("v2 badcrc") << 2 << "fault=badcrc\n"
                               << "msgConnCheckError" << 1 << true;
    QTest::newRow("v1 wrongaddr") << 1 << "fault=wrongaddr\n"
                                  << "msgAddrReplyError(INV) [2]" << 0 << false;
    // A version-2 reply is found by its function and length: another
    // device's address is named, as in version 1.
    QTest::newRow("v2 wrongaddr") << 2 << "fault=wrongaddr\n"
                                  << "msgAddrReplyError(INV) [2]" << 0 << false;
    QTest::newRow("v1 noterm") << 1 << "fault=noterm\n"
                               << "msgConnDataBad" << 0 << false;
    // Version 2 has no terminator: the simulator sends the reply unchanged.
    QTest::newRow("v2 noterm") << 2 << "fault=noterm\n"
                               << "msgDataProcessOk(INV)" << 1 << true;
}

void TestPollE2e::faults()
{
    QFETCH(int, version);
    QFETCH(QString, scenario);
    QFETCH(QString, message);
    QFETCH(int, linkOk);
    QFETCH(bool, valuesStored);
    setProtocol(version);

    QVERIFY(m_sim.writeScenario(scenario));
    clearDecodedValues(m_dev->table());
    m_poller->reloadTick();
    QVERIFY2(m_status.hasPrefix(message), qPrintable(m_status.texts.join(QLatin1String(" | "))));
    QCOMPARE(m_dev->link().linkOk, linkOk);
    QCOMPARE(m_refreshes, linkOk);
    QCOMPARE(m_linkDowns, 1 - linkOk);
    // Held for the next round while the device answers; a silent line is
    // opened afresh by the next round.
    if (linkOk == 1)
        QVERIFY(m_line->port().isOpen());
    if (valuesStored)
        verifyDecodedValues(m_dev->table());
    else
        QCOMPARE(m_dev->table()[2].number(), 0.0);
    if (QTest::currentTestFailed())
        return;

    // A late reply lands between the rounds in the port held open; the next
    // cycle starts after it, as the station's next tick would, and is not
    // misled by it.
    if (scenario.contains(QLatin1String("late")))
        QTest::qWait(LATE_MS - int(TIMEOUT_SECONDS * 1000) + 100);

    QVERIFY(m_sim.writeScenario(QString()));
    clearDecodedValues(m_dev->table());
    m_status.texts.clear();
    m_poller->reloadTick();
    QVERIFY2(
        m_status.has(QStringLiteral("msgDataProcessOk(INV)")), qPrintable(m_status.texts.join(QLatin1String(" | "))));
    QCOMPARE(m_dev->link().linkOk, 1);
    verifyDecodedValues(m_dev->table());
    QCOMPARE(
        events().mid(m_eventsBefore), linkOk == 1 ? QStringList() : QStringList({"msgConnFail0(INV)", "msgConnResumed(INV)"}));
}

void TestPollE2e::aRetryRecoversFromOneLostReply()
{
    // A simulator of its own, so that its request count starts at the cycle.
    SimProcess sim;
    QVERIFY2(sim.start({"--baud", "0", "--fault", "noreply", "--fault-every", "2"}), qPrintable(sim.errorText()));
    setPortDeviceName(1, sim.ptyPath());
    setProtocol(2);
    sysSettings.retrytimes = 1;

    m_poller->reloadTick(); // request 1 answered
    QCOMPARE(m_dev->link().linkOk, 1);
    m_status.texts.clear();
    m_poller->reloadTick(); // request 2 lost, its retry (3) answered
    setPortDeviceName(1, m_sim.ptyPath());

    QVERIFY2(m_status.has(QStringLiteral("msgConnTimeOut0")), qPrintable(m_status.texts.join(QLatin1String(" | "))));
    QVERIFY(m_status.has(QStringLiteral("msgRetryTimes1 (INV)")));
    QVERIFY(m_status.has(QStringLiteral("msgDataProcessOk(INV)")));
    QCOMPARE(m_dev->link().linkOk, 1);
    QCOMPARE(m_refreshes, 2);
    QCOMPARE(events().size(), m_eventsBefore);
}

void TestPollE2e::aNightIsSleepNotAnAlarm()
{
    // Noon to noon on midsummer day, ten simulated minutes a poll; the
    // inverter falls silent once dusk's twilight is over.
    SimProcess sun;
    QVERIFY2(sun.start({"--baud", "0", "--solar-day", "--silent-at-night", "--clock-start", "2026-06-21T12:00",
                 "--clock-step", "600", "--cloud-seed", "0"}),
        qPrintable(sun.errorText()));
    setPortDeviceName(1, sun.ptyPath());
    sysSettings.TimeOut = 0.1f;
    QCOMPARE(m_dev->record().rating, QStringLiteral("3K"));
    QCOMPARE(sysSettings.StandbyPercent, STANDBY_PERCENT_DEFAULT);
    AfterCycleRules rules;
    QStringList faults;
    int silentAsleep = 0, alarms = 0;
    m_poller->setHooks({[&](Device &d) {
                            const QString found = checkDevStatus(d.table());
                            if (!found.isEmpty())
                                faults << found;
                            rules.conclude(d.table(), d.id(), d.name());
                        },
        [&](Device &d) { silentAsleep += d.link().sleep.silentlyAsleep() ? 1 : 0; }, {}, {}, {}});
    for (int poll = 0; poll < 24 * 6; ++poll) {
        m_poller->reloadTick();
        alarms += alarmDue(!faults.isEmpty(), 1, m_dev->link().linkOk, m_timer->isActive(), m_dev->link().sleep.silentlyAsleep());
    }
    setPortDeviceName(1, m_sim.ptyPath());

    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    QCOMPARE(alarms, 0);
    QVERIFY2(silentAsleep > 20, qPrintable(QString::number(silentAsleep))); // some four hours silent
    QCOMPARE(events().mid(m_eventsBefore), (QStringList{"msgDeviceAsleep(INV)", "msgDeviceAwake(INV)"}));
    QCOMPARE(m_dev->link().linkOk, 1);
    QVERIFY(!m_dev->link().sleep.asleep());
}

void TestPollE2e::remoteCommandsReachTheDevice()
{
    setProtocol(2);
    const int before = int(m_sim.recordLines().size());

    // A control command ("start") and its reply, as the remote-control dialog sends it.
    QVERIFY(setupCommPort(m_line->port(), sysSettings.ComSettings, sysSettings.comport, true));
    QVERIFY(sendCrcFrame(m_line->port(), 1, QByteArray::fromHex("CF00000000000000"), FUNCTION_CONTROL));
    clearDecodedValues(m_dev->table());
    QVERIFY(m_poller->receiveReplyV2(*m_dev, sysSettings.TimeOut, 1, FUNCTION_CONTROL));
    m_line->port().close();
    verifyDecodedValues(m_dev->table());

    // A setting (output frequency 50 Hz) as the remote-set dialog sends it.
    QVERIFY(setupCommPort(m_line->port(), sysSettings.ComSettings, sysSettings.comport, true));
    QVERIFY(sendSetFrame(m_line->port(), 1, QByteArray::fromHex("32000000000000"), 0x0B));
    m_line->port().close();

    QVERIFY(QTest::qWaitFor([&] { return m_sim.recordLines().size() >= before + 2; }, 2000));
    const QStringList lines = m_sim.recordLines().mid(before);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(
        lines[0].section(QLatin1Char(' '), 1), QStringLiteral("control 01 10 08 00 CF 00 00 00 00 00 00 00 00 FB"));
    QCOMPARE(lines[1].section(QLatin1Char(' '), 1), QStringLiteral("set FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D"));
}

void TestPollE2e::aPlantOfThreeIsJudgedPerDevice()
{
    // One line, three devices: the second silent, the third's output voltage
    // out of its limits.
    SimProcess plant;
    QVERIFY2(plant.start({"--baud", "0", "--devices", "3", "--fault", "noreply@2", "--vac", "2700@3"}),
        qPrintable(plant.errorText()));
    setPortDeviceName(1, plant.ptyPath());
    Line line(std::make_unique<QtSerialPort>());
    for (int n = 1; n <= 3; ++n) {
        DeviceRecord r = test::pollOneDevice(2, TIMEOUT_SECONDS);
        r.id = deviceIdText(n);
        r.name = QStringLiteral("INV%1").arg(n);
        r.address = n;
        r.rating = QStringLiteral("3K");
        QVERIFY(loadParamTable(line.addDevice(r).table(), QString::fromLatin1(PARAM_DEVICE_ID)));
    }
    QTimer timer;
    Poller poller(line, timer, PollHooks{[](Device &d) { d.rules().conclude(d.table(), d.id(), d.name()); }, {}, {}, {}, {}});
    timer.start(3600 * 1000);
    QStringList reported;
    const auto watch = connect(&stationBus(), &StationBus::cycleFinished, this,
                               [&](const CycleReport &r) { reported << r.deviceId; });
    poller.reloadTick();
    poller.reloadTick();
    disconnect(watch);
    setPortDeviceName(1, m_sim.ptyPath());

    Device &first = *line.device(QStringLiteral("001"));
    Device &silent = *line.device(QStringLiteral("002"));
    Device &faulty = *line.device(QStringLiteral("003"));
    QCOMPARE(reported, (QStringList{"001", "002", "003", "001", "002", "003"}));
    QCOMPARE(first.link().linkOk, 1);
    QCOMPARE(silent.link().linkOk, 0);
    QVERIFY2(faulty.link().linkOk == 1, qPrintable(m_status.texts.join(QLatin1String(" | "))));
    QVERIFY(checkDevStatus(first.table()).isEmpty());
    QCOMPARE(faultKey(faulty.table()), QStringLiteral("2")); // the output voltage
    QCOMPARE(stationBus().lastRound().devices.size(), 3);
    QCOMPARE(stationBus().lastRound().devicesUp, 2);
    QVERIFY(stationBus().lastCycle(QStringLiteral("003"))->alarm);
    QVERIFY(!stationBus().lastCycle(QStringLiteral("002"))->linkUp);

    // Each event under its own device: the loss once, with its name; the
    // fault once (the 13-minute rule runs per device); nothing for the first.
    QStringList stored;
    if (const auto rs = rsSqlGet(QStringLiteral("select devid, eventname from eventlog order by rowid")))
        for (const QVariantList &row : rs->rows.mid(m_eventsBefore))
            stored << row[0].toString() + QLatin1Char(' ') + row[1].toString().section(QLatin1Char('='), 0, 0);
    QCOMPARE(stored, (QStringList{"002 msgConnFail0(INV2)", QStringLiteral("003 ") + faultParameter(checkDevStatus(faulty.table()))}));

    // The bell rings for both, and one acknowledgement silences each for its own cause.
    PlantAcknowledgement acknowledgement;
    QList<DeviceAlarm> alarms;
    for (const auto &d : line.devices())
        alarms.append({d->id(), {faultEntries(d->table()), poller.linkLost(*d)}});
    QCOMPARE(acknowledgement.bell(alarms), BellState::Due);
    const auto added = acknowledgement.acknowledge(alarms);
    QCOMPARE(added.size(), 2);
    QCOMPARE(added[0].first, QStringLiteral("002"));
    QCOMPARE(added[0].second, QStringList{QStringLiteral("link")});
    QCOMPARE(added[1].first, QStringLiteral("003"));
    QCOMPARE(acknowledgement.bell(alarms), BellState::Acknowledged);
}

QTEST_GUILESS_MAIN(TestPollE2e)
#include "tst_poll_e2e.moc"
