// The settings dialog's test poll against the device simulator: a reply, a
// reply from another address, no reply, a damaged reply and a port that
// cannot be opened, each told apart, with nothing saved.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/connection_test.h"
#include "acquisition/qt_serial_port.h"
#include "core/system_settings.h"
#include "plant/line.h"
#include "core/user_settings.h"
#include "ui/dialogs/frm_sys_set.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace vantoro;
using vantoro::test::SimProcess;

class TestConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void outcomesAreToldApart_data();
    void outcomesAreToldApart();
    void dialogTestsTypedPathAndSavesNothing();

private:
    ConnectionTestOutcome poll(const QString &device, int protocol, int address);

    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    SimProcess m_sim;
};

void TestConnectionTest::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
    QVERIFY2(m_sim.start({"--baud", "0", "--address", "5"}), qPrintable(m_sim.errorText()));
}

void TestConnectionTest::cleanupTestCase()
{
    m_sim.stop();
    m_messages.reset();
    m_home.reset();
}

ConnectionTestOutcome TestConnectionTest::poll(const QString &device, int protocol, int address)
{
    QtSerialPort port;
    port.setDeviceName(device);
    ConnectionTestValues values;
    values.protocol = protocol;
    values.address = address;
    values.timeoutSeconds = 0.5;
    return testConnection(port, values);
}

void TestConnectionTest::outcomesAreToldApart_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("replyAddress");
    const int ok = int(PollResult::Ok), wrong = int(PollResult::WrongAddress), none = int(PollResult::Timeout),
              bad = int(PollResult::BadChecksum);
    QTest::newRow("v1 reply") << "none" << 1 << 5 << ok << 5;
    QTest::newRow("v2 reply") << "none" << 2 << 5 << ok << 5;
    QTest::newRow("v1 other address answers") << "wrongaddr" << 1 << 5 << wrong << 6;
    QTest::newRow("v2 other address answers") << "wrongaddr" << 2 << 5 << wrong << 6;
    // The device ignores a poll to an address that is not its own.
    QTest::newRow("v2 nobody at the address") << "none" << 2 << 7 << none << -1;
    QTest::newRow("v2 silent device") << "noreply" << 2 << 5 << none << -1;
    QTest::newRow("v2 damaged reply") << "badcrc" << 2 << 5 << bad << 5;
    QTest::newRow("v1 damaged reply") << "badsum" << 1 << 5 << bad << 5;
}

void TestConnectionTest::outcomesAreToldApart()
{
    QFETCH(QString, fault);
    QFETCH(int, protocol);
    QFETCH(int, address);
    QFETCH(int, result);
    QFETCH(int, replyAddress);
    QVERIFY(m_sim.writeScenario(QStringLiteral("fault=%1\n").arg(fault)));
    const ConnectionTestOutcome outcome = poll(m_sim.ptyPath(), protocol, address);
    QCOMPARE(int(outcome.result), result);
    QCOMPARE(outcome.replyAddress, replyAddress);
}

void TestConnectionTest::dialogTestsTypedPathAndSavesNothing()
{
    QVERIFY(m_sim.writeScenario(QString()));
    const SystemSettings before = sysSettings;
    const auto devicesBefore = loadDevices();
    QVERIFY(devicesBefore && !devicesBefore->isEmpty());
    const QString mapped = portDeviceName(sysSettings.comport);
    frmSysSet dialog;
    dialog.cmbSets(1)->setEditText(m_sim.ptyPath());
    dialog.cmbSets(9)->setCurrentText(QStringLiteral("5"));
    dialog.cmbSets(10)->setCurrentText(QStringLiteral("2"));
    dialog.cmdTestPortClick();
    QVERIFY2(dialog.lblTestPort()->text().contains(QStringLiteral("5")), qPrintable(dialog.lblTestPort()->text()));
    const QString replied = dialog.lblTestPort()->text();

    dialog.cmbSets(9)->setCurrentText(QStringLiteral("9"));
    dialog.cmdTestPortClick();
    QVERIFY(dialog.lblTestPort()->text() != replied);
    QVERIFY(dialog.lblTestPort()->text().contains(m_sim.ptyPath()));

    dialog.cmbSets(1)->setEditText(QStringLiteral("/dev/vantoro-no-such-port"));
    dialog.cmdTestPortClick();
    QVERIFY(dialog.lblTestPort()->text().contains(QStringLiteral("/dev/vantoro-no-such-port")));
    QVERIFY(dialog.cmdTestPort()->isEnabled());

    // Nothing of it was kept.
    QCOMPARE(portDeviceName(sysSettings.comport), mapped);
    QCOMPARE(sysSettings.comport, before.comport);
    const auto devicesAfter = loadDevices();
    QVERIFY(devicesAfter && devicesAfter->size() == devicesBefore->size());
    QCOMPARE(devicesAfter->at(0).address, devicesBefore->at(0).address);
    QCOMPARE(devicesAfter->at(0).protocol, devicesBefore->at(0).protocol);
    QVERIFY(m_messages->texts.isEmpty());
}

QTEST_MAIN(TestConnectionTest)
#include "tst_connection_test.moc"
