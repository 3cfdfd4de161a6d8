// A line over the network against the simulator's loopback gateways: a poll
// through the factory's port in both forms, a connection dropped and made
// again, half a frame, a gateway that never answers, a Modbus TCP reply that
// does not match its request, a host that does not resolve, a port that refuses.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/connection_test.h"
#include "acquisition/frames.h"
#include "acquisition/line_port.h"
#include "acquisition/modbus_tcp.h"
#include "acquisition/serial_link.h"
#include "acquisition/tcp_line_port.h"
#include "core/system_settings.h"
#include "plant/polling.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace vantoro;
using vantoro::test::SimProcess;

namespace {

constexpr double TIMEOUT_SECONDS = 0.5;

ConnectionTestValues pollValues(int protocol, int address = 1)
{
    ConnectionTestValues values;
    values.protocol = protocol;
    values.address = address;
    values.timeoutSeconds = TIMEOUT_SECONDS;
    return values;
}

// A Modbus TCP gateway of the test's own that answers every request with
// a reply it is told to spoil.
class FakeGateway : public QObject
{
public:
    enum class Spoil { None, Transaction, Unit, Length, Protocol };

    explicit FakeGateway(Spoil spoil) : m_spoil(spoil)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_connections;
                m_sockets << socket;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    m_sockets.removeAll(socket);
                    socket->deleteLater();
                });
            }
        });
    }
    QString address() const { return QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(m_port); }
    int connections() const { return m_connections; }
    int open() const { return int(m_sockets.size()); }
    // Gone from the network: every connection cut, none taken.
    void goAway()
    {
        m_server.close();
        for (QTcpSocket *socket : std::as_const(m_sockets))
            socket->abort();
    }
    bool comeBack() { return m_server.listen(QHostAddress::LocalHost, m_port); }

private:
    void answer(QTcpSocket *socket)
    {
        m_received += socket->readAll();
        const auto header = readMbapHeader(m_received);
        if (!header || m_received.size() < MBAP_HEADER_BYTES - 1 + header->length)
            return;
        m_received.clear();
        const QByteArray rtu = buildReplyV2(header->unit, DeviceReading{});
        QByteArray frame = mbapFrame(header->transaction, rtu.left(REPLY_BYTES - 2));
        if (m_spoil == Spoil::Transaction)
            frame[1] = char(quint8(frame.at(1)) + 1);
        else if (m_spoil == Spoil::Protocol)
            frame[3] = 1;
        else if (m_spoil == Spoil::Unit)
            frame[6] = char(quint8(frame.at(6)) + 1);
        else if (m_spoil == Spoil::Length)
            frame[5] = char(quint8(frame.at(5)) + 1);
        socket->write(frame);
    }

    Spoil m_spoil;
    QTcpServer m_server;
    quint16 m_port = 0;
    QList<QTcpSocket *> m_sockets;
    int m_connections = 0;
    QByteArray m_received;
};

} // namespace

class TestNetworkLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pollsThroughTheGateway_data();
    void pollsThroughTheGateway();
    void modbusTcpRefusesProtocolOne();
    void faultsAreFailedAttempts_data();
    void faultsAreFailedAttempts();
    void droppedConnectionIsMadeAgain();
    void mismatchedModbusReplyIsNeverCredited_data();
    void mismatchedModbusReplyIsNeverCredited();
    void unreachableGatewayFailsAndBacksOff_data();
    void unreachableGatewayFailsAndBacksOff();
    void oneConnectInFlight();
    void pollingHoldsTheConnection();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
};

void TestNetworkLine::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
}

void TestNetworkLine::cleanupTestCase()
{
    m_messages.reset();
    m_home.reset();
}

void TestNetworkLine::pollsThroughTheGateway_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<bool>("ipv6");
    QTest::newRow("tcp, protocol 1") << "--tcp" << 1 << false;
    QTest::newRow("tcp, protocol 2") << "--tcp" << 2 << false;
    QTest::newRow("tcp over IPv6") << "--tcp" << 2 << true;
    QTest::newRow("modbus-tcp") << "--modbus-tcp" << 2 << false;
    QTest::newRow("modbus-tcp over IPv6") << "--modbus-tcp" << 2 << true;
}

void TestNetworkLine::pollsThroughTheGateway()
{
    QFETCH(QString, form);
    QFETCH(int, protocol);
    QFETCH(bool, ipv6);
    SimProcess sim;
    QStringList arguments{form, "0", "--baud", "0", "--devices", "1,7"};
    if (ipv6)
        arguments << "--ipv6";
    if (!sim.start(arguments) && ipv6)
        QSKIP("no IPv6 loopback here");
    QVERIFY2(!sim.lineAddress().isEmpty(), qPrintable(sim.errorText()));
    const auto port = makeLinePort(sim.lineAddress());
    // The same port object, closed and opened again for each exchange, and
    // each device answering for its own address.
    for (int address : {1, 7, 1}) {
        const ConnectionTestOutcome outcome = testConnection(*port, pollValues(protocol, address));
        QVERIFY2(outcome.result == PollResult::Ok, qPrintable(outcome.portError));
        QCOMPARE(outcome.replyAddress, address);
    }
}

void TestNetworkLine::modbusTcpRefusesProtocolOne()
{
    SimProcess sim;
    QVERIFY2(sim.start({"--modbus-tcp", "0", "--baud", "0"}), qPrintable(sim.errorText()));
    const auto port = makeLinePort(sim.lineAddress());
    const ConnectionTestOutcome outcome = testConnection(*port, pollValues(1));
    QCOMPARE(outcome.result, PollResult::SendError);
    QVERIFY2(outcome.portError.contains(QLatin1String("protocol 2")), qPrintable(outcome.portError));
}

void TestNetworkLine::faultsAreFailedAttempts_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::newRow("tcp, half a frame") << "--tcp" << "half" << int(PollResult::BadChecksum);
    QTest::newRow("modbus-tcp, half a frame") << "--modbus-tcp" << "half" << int(PollResult::Timeout);
    QTest::newRow("tcp, never answers") << "--tcp" << "mute" << int(PollResult::Timeout);
    QTest::newRow("modbus-tcp, never answers") << "--modbus-tcp" << "mute" << int(PollResult::Timeout);
    QTest::newRow("tcp, dropped in a reply") << "--tcp" << "drop" << int(PollResult::SendError);
    QTest::newRow("modbus-tcp, dropped in a reply") << "--modbus-tcp" << "drop" << int(PollResult::SendError);
    QTest::newRow("modbus-tcp, garbage first") << "--modbus-tcp" << "garbage" << int(PollResult::SendError);
}

void TestNetworkLine::faultsAreFailedAttempts()
{
    QFETCH(QString, form);
    QFETCH(QString, fault);
    QFETCH(int, result);
    SimProcess sim;
    QVERIFY2(sim.start({form, "0", "--baud", "0", "--fault", fault}), qPrintable(sim.errorText()));
    const auto port = makeLinePort(sim.lineAddress());
    const ConnectionTestOutcome outcome = testConnection(*port, pollValues(2));
    QCOMPARE(int(outcome.result), result);
    QVERIFY(!port->isOpen());
}

void TestNetworkLine::droppedConnectionIsMadeAgain()
{
    SimProcess sim;
    QVERIFY2(sim.start({"--tcp", "0", "--baud", "0"}), qPrintable(sim.errorText()));
    const auto port = makeLinePort(sim.lineAddress());
    QCOMPARE(testConnection(*port, pollValues(2)).result, PollResult::Ok);
    QVERIFY(sim.writeScenario(QStringLiteral("fault=drop\n")));
    const ConnectionTestOutcome lost = testConnection(*port, pollValues(2));
    QCOMPARE(lost.result, PollResult::SendError);
    QVERIFY2(lost.portError.contains(QLatin1String("closed the connection")), qPrintable(lost.portError));
    QVERIFY(sim.writeScenario(QString()));
    // A lost connection is no failed connect: the next exchange connects at once.
    QCOMPARE(testConnection(*port, pollValues(2)).result, PollResult::Ok);
}

void TestNetworkLine::mismatchedModbusReplyIsNeverCredited_data()
{
    QTest::addColumn<int>("spoil");
    QTest::addColumn<QString>("message");
    QTest::newRow("transaction id") << int(FakeGateway::Spoil::Transaction) << "transaction";
    QTest::newRow("unit id") << int(FakeGateway::Spoil::Unit) << "unit";
    QTest::newRow("length") << int(FakeGateway::Spoil::Length) << "bytes after its length field";
    QTest::newRow("protocol id") << int(FakeGateway::Spoil::Protocol) << "protocol id";
}

void TestNetworkLine::mismatchedModbusReplyIsNeverCredited()
{
    QFETCH(int, spoil);
    QFETCH(QString, message);
    FakeGateway good(FakeGateway::Spoil::None);
    QCOMPARE(testConnection(*makeLinePort(good.address()), pollValues(2)).result, PollResult::Ok);

    FakeGateway gateway{FakeGateway::Spoil(spoil)};
    const auto port = makeLinePort(gateway.address());
    QElapsedTimer clock;
    clock.start();
    const ConnectionTestOutcome outcome = testConnection(*port, pollValues(2));
    QCOMPARE(outcome.result, PollResult::SendError);
    QVERIFY2(outcome.portError.contains(message), qPrintable(outcome.portError));
    // Told at the header, not after the time-out.
    QVERIFY(clock.elapsed() < TIMEOUT_SECONDS * 1000);
}

void TestNetworkLine::unreachableGatewayFailsAndBacksOff_data()
{
    QTest::addColumn<bool>("refusing");
    QTest::newRow("host that does not resolve") << false;
    QTest::newRow("port that refuses") << true;
}

void TestNetworkLine::unreachableGatewayFailsAndBacksOff()
{
    QFETCH(bool, refusing);
    QString address = QStringLiteral("tcp://nonexistent.invalid:502");
    if (refusing) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        address = QStringLiteral("tcp://127.0.0.1:%1").arg(closed.serverPort());
    }
    TcpLinePort port(parseLineAddress(address));
    QVERIFY(port.setSettings(QStringLiteral("9600,N,8,1")));
    const ConnectionTestOutcome outcome = testConnection(port, pollValues(2));
    QCOMPARE(outcome.result, PollResult::SendError);
    QVERIFY2(outcome.portError.startsWith(address), qPrintable(outcome.portError));
    // The next connect waits its turn: a failed attempt at once, saying when.
    QVERIFY(port.reconnectDelayMs() > 0 && port.reconnectDelayMs() <= RECONNECT_FIRST_MS);
    QVERIFY(!port.open());
    QVERIFY2(port.errorText().contains(QLatin1String("next try in 1 s")), qPrintable(port.errorText()));
    if (!refusing)
        return;
    // Each failure in a row doubles the wait.
    QTRY_COMPARE_WITH_TIMEOUT(port.reconnectDelayMs(), 0, 2 * RECONNECT_FIRST_MS);
    QCOMPARE(testConnection(port, pollValues(2)).result, PollResult::SendError);
    QVERIFY(port.reconnectDelayMs() > RECONNECT_FIRST_MS && port.reconnectDelayMs() <= 2 * RECONNECT_FIRST_MS);
}

void TestNetworkLine::oneConnectInFlight()
{
    QTcpServer gateway;
    QVERIFY(gateway.listen(QHostAddress::LocalHost, 0));
    const auto port = makeLinePort(QStringLiteral("tcp://localhost:%1").arg(gateway.serverPort()));
    // The name is still being looked up when the second open comes.
    QVERIFY(port->open());
    QVERIFY(port->open());
    QVERIFY(port->write(QByteArray(1, '\x01')));
    QTRY_VERIFY_WITH_TIMEOUT(gateway.hasPendingConnections(), 2000);
    QVERIFY(port->open());
    QTest::qWait(50);
    QVERIFY(gateway.nextPendingConnection());
    QVERIFY(!gateway.nextPendingConnection());
}

// Polling keeps one connection through its rounds; a gateway gone takes the
// links down and its return brings them back, the connects backing off in
// between; switching off lets go of the connection; a line whose address
// the settings change reaches the new one at the next round.
void TestNetworkLine::pollingHoldsTheConnection()
{
    FakeGateway gateway(FakeGateway::Spoil::None);
    Line line(std::make_unique<LinePort>(QStringLiteral("tcp://127.0.0.1:1")));
    DeviceRecord record = test::pollOneDevice(2, TIMEOUT_SECONDS);
    Device &first = line.addDevice(record);
    record.id = QStringLiteral("002");
    record.address = 2;
    Device &second = line.addDevice(record);
    sysSettings.LineAddress = gateway.address();
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    for (int round = 0; round < 3; ++round) {
        poller.reloadTick();
        QVERIFY(first.link().cycleDecoded && second.link().cycleDecoded);
    }
    QCOMPARE(gateway.connections(), 1);

    gateway.goAway();
    QTRY_VERIFY_WITH_TIMEOUT(!line.port().isOpen(), 2000);
    poller.reloadTick();
    QCOMPARE(first.link().linkOk, 0);
    QCOMPARE(second.link().linkOk, 0);
    // One failed connect is a failed attempt of each device, at once.
    QCOMPARE(second.link().attempts, QList<PollResult>{PollResult::SendError});
    QVERIFY(gateway.comeBack());
    QTRY_VERIFY_WITH_TIMEOUT((poller.reloadTick(), first.link().linkOk == 1 && second.link().linkOk == 1), 8000);
    QCOMPARE(gateway.connections(), 2);

    poller.togglePollingFromMenu();
    QVERIFY(!line.port().isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(gateway.open(), 0, 2000);

    FakeGateway other(FakeGateway::Spoil::None);
    sysSettings.LineAddress = other.address();
    poller.togglePollingFromMenu();
    poller.reloadTick();
    QVERIFY(first.link().cycleDecoded);
    QCOMPARE(other.connections(), 1);
    QCOMPARE(gateway.connections(), 2);
    poller.togglePollingFromMenu();
    sysSettings.LineAddress.clear();
}

QTEST_GUILESS_MAIN(TestNetworkLine)
#include "tst_network_line.moc"
