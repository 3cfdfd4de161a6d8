// The serial port vanishing in the middle of a poll cycle (the simulator's
// pseudo-terminal closes under the station) and coming back under a new
// name: reported once, no crash, and polling picks up again by itself.
#include "fault_support.h"
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/system_settings.h"
#include "core/user_settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

constexpr double TIMEOUT_SECONDS = 1.5;
constexpr int VANISH_AFTER_MS = 200;
const QStringList deviceValues = {"--baud", "0", "--vac", "2301", "--energy", "123456", "--status", "0x0101"};

} // namespace

class TestPortVanishing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void vanishingMidCycleIsReportedOnceAndPollingResumes_data();
    void vanishingMidCycleIsReportedOnceAndPollingResumes();
    void missingPortWhileTheLinkIsUpIsShownOnce();

private:
    void setProtocol(int protocol)
    {
        DeviceRecord r = m_dev->record();
        r.protocol = protocol;
        m_dev->setRecord(r);
    }
    void tick() { m_poller->reloadTick(); }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<StatusCapture> m_status;
    std::unique_ptr<Line> m_line;   // the database's device on the test's port
    Device *m_dev = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    int m_linkDowns = 0;
};

void TestPortVanishing::initTestCase()
{
    isolateUserSettings();
    m_home = std::make_unique<TestHome>();
    // Without language files every message reads as its key.
    m_home->removeLanguageFiles();
    m_messages = std::make_unique<MessageRecorder>();
    m_status = std::make_unique<StatusCapture>();
    QVERIFY(loadSystemSettings());
    m_line = std::make_unique<Line>(std::make_unique<QtSerialPort>());
    QVERIFY(m_line->load());
    m_dev = m_line->first();
}

void TestPortVanishing::cleanupTestCase()
{
    m_dev = nullptr;
    m_line.reset();
    m_status.reset();
    m_messages.reset();
    m_home.reset();
}

void TestPortVanishing::init()
{
    {
        DeviceRecord record = pollOneDevice(m_dev->record().protocol, TIMEOUT_SECONDS);
        record.rating = m_dev->record().rating;
        m_dev->setRecord(record);
    }
    m_timer = std::make_unique<QTimer>();
    m_linkDowns = 0;
    m_poller = std::make_unique<Poller>(*m_line, *m_timer, PollHooks{{}, [this](Device &) { ++m_linkDowns; }, {}, {}, {}});
    m_timer->start(3600 * 1000); // polling on; the test drives the ticks
    m_messages->texts.clear();
    m_status->texts.clear();
    resetEventThrottle();
}

void TestPortVanishing::cleanup()
{
    m_poller.reset();
    m_timer.reset();
}

void TestPortVanishing::vanishingMidCycleIsReportedOnceAndPollingResumes_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("protocol 1") << 1;
    QTest::newRow("protocol 2") << 2;
}

void TestPortVanishing::vanishingMidCycleIsReportedOnceAndPollingResumes()
{
    QFETCH(int, version);
    setProtocol(version);
    const int eventsBefore = int(storedEventNames().size());

    auto first = std::make_unique<SimProcess>();
    QVERIFY2(first->start(deviceValues), qPrintable(first->errorText()));
    setPortDeviceName(1, first->ptyPath());
    tick();
    QCOMPARE(m_dev->link().linkOk, 1);
    QCOMPARE(m_dev->table()[2].number(), 230.1);

    // The device stays silent, and its line goes away while the station waits.
    QVERIFY(first->writeScenario(QStringLiteral("fault=noreply\n")));
    QTimer::singleShot(VANISH_AFTER_MS, [&first] { first.reset(); });
    QElapsedTimer clock;
    clock.start();
    tick();
    QVERIFY(!first);
    QVERIFY(!m_line->port().isOpen());
    QCOMPARE(m_dev->link().linkOk, 0);
    QCOMPARE(m_linkDowns, 1);

    // Cycles without the port: they end at once, and nothing new is reported.
    m_dev->table()[2].paravalue = 0;
    for (int i = 0; i < 3; ++i) {
        clock.restart();
        tick();
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(m_dev->link().linkOk, 0);
    }
    QCOMPARE(m_linkDowns, 4);
    QVERIFY2(m_messages->texts.isEmpty(), qPrintable(m_messages->texts.join(QLatin1String(" | "))));
    QCOMPARE(storedEventNames().mid(eventsBefore), QStringList{QStringLiteral("msgConnFail0(INV)")});
    QVERIFY(m_poller->pollingOn());

    // The device is back under another name: the next tick polls it.
    SimProcess second;
    QVERIFY2(second.start(deviceValues), qPrintable(second.errorText()));
    setPortDeviceName(1, second.ptyPath());
    tick();
    QVERIFY2(m_status->texts.contains(QStringLiteral("msgDataProcessOk(INV)")), qPrintable(m_status->all()));
    QCOMPARE(m_dev->link().linkOk, 1);
    QCOMPARE(m_dev->table()[2].number(), 230.1);
    QCOMPARE(storedEventNames().mid(eventsBefore),
             (QStringList{QStringLiteral("msgConnFail0(INV)"), QStringLiteral("msgConnResumed(INV)")}));
    QVERIFY(m_messages->texts.isEmpty());
}

void TestPortVanishing::missingPortWhileTheLinkIsUpIsShownOnce()
{
    // Gone between two cycles: the port cannot be opened at all.
    setPortDeviceName(1, m_home->file(QStringLiteral("no-such-tty")));
    for (int i = 0; i < 3; ++i)
        tick();
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY2(m_messages->texts[0].startsWith(QStringLiteral("Send command code: Error found")), qPrintable(m_messages->texts[0]));
    QVERIFY(m_messages->texts[0].contains(QStringLiteral("no-such-tty")));
    QCOMPARE(m_status->containing(QStringLiteral("Error while send command!")).size(), 3);
    QCOMPARE(m_status->containing(QStringLiteral("Serial port not opened: ")).size(), 2);

    // Back, then gone again: a new outage is shown again, once.
    SimProcess sim;
    QVERIFY2(sim.start(deviceValues), qPrintable(sim.errorText()));
    setPortDeviceName(1, sim.ptyPath());
    tick();
    QCOMPARE(m_dev->link().linkOk, 1);
    // Named anew on the settings page, which lets go of the port held open.
    setPortDeviceName(1, m_home->file(QStringLiteral("no-such-tty")));
    m_poller->reopenPort();
    QVERIFY(!m_line->port().isOpen());
    tick();
    tick();
    QCOMPARE(m_messages->texts.size(), 2);
}

QTEST_GUILESS_MAIN(TestPortVanishing)
#include "tst_port_vanishing.moc"
