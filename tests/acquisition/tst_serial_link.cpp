// Port preparation, the senders and the head search, over the in-memory port
// and over QSerialPort on a pseudo-terminal.
#include "acquisition/fake_serial_port.h"
#include "acquisition/line_address.h"
#include "acquisition/modbus_tcp.h"
#include "acquisition/qt_serial_port.h"
#include "acquisition/serial_link.h"
#include "core/common.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "test_support.h"

#include <QtTest>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

using namespace vantoro;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void init()
    {
        quitRequested = false;
        clearRunningLog();
    }
    void cleanup() { quitRequested = false; }

    void settingsText_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<bool>("markParity");
        QTest::addColumn<QString>("expected");
        QTest::newRow("even becomes mark") << "9600,E,8,1" << true << "9600,M,8,1";
        QTest::newRow("bits forced") << "4800,O,7,2" << true << "4800,M,8,1";
        QTest::newRow("none stays") << "19200,N,8,1" << true << "19200,N,8,1";
        QTest::newRow("lower-case none") << "9600,n,8,1" << true << "9600,N,8,1";
        QTest::newRow("space without mark") << "9600,E,8,1" << false << "9600,S,8,1";
    }
    void settingsText()
    {
        QFETCH(QString, configured);
        QFETCH(bool, markParity);
        QFETCH(QString, expected);
        QCOMPARE(commSettingsText(configured, markParity), expected);

        FakeSerialPort port;
        QVERIFY(port.open());
        port.queueReply(hex("0102"));
        QVERIFY(setupCommPort(port, configured, 3, markParity));
        QCOMPARE(port.settings(), expected);
        QCOMPARE(port.portNumber(), 3);
        QVERIFY(!port.isOpen());
        QVERIFY(port.open());
        QCOMPARE(port.bytesWaiting(), 0); // stale input was flushed
    }

    void setupFailureIsReported()
    {
        test::MessageRecorder recorder;
        FakeSerialPort port;
        port.rejectSettings = true;
        QVERIFY(!setupCommPort(port, QStringLiteral("9600,N,8,1"), 3, true));
        QCOMPARE(recorder.texts.size(), 1);
        QVERIFY(recorder.texts[0].startsWith(QStringLiteral("Set Communication port com3: Error found # ")));
    }

    void sendersWriteTheFrames()
    {
        FakeSerialPort port;
        QVERIFY(sendPollV1(port, 1, QByteArray(8, '\0'), 0xCF));
        QVERIFY(port.isOpen());
        QCOMPARE(port.written(), hex("EB9001CFA0000070010D"));
        QCOMPARE(port.writes().size(), 10); // one byte per write

        port.clearWritten();
        QVERIFY(sendCrcFrame(port, 1, QByteArray(8, '\0'), 3));
        QCOMPARE(port.written(), hex("01030800" "0000000000000000" "176F"));
    }

    void setFrameWakesTheDeviceAndPacesBytes()
    {
        FakeSerialPort port;
        const QByteArray sixBytes(6, '\x11');
        QVERIFY(sendSetFrame(port, 1, sixBytes, 0x0B));
        const auto writes = port.writes();
        QCOMPARE(writes.size(), 14);
        QCOMPARE(writes[0].bytes, hex("FF"));
        // A data array that is not seven bytes long goes out as seven zeros.
        QCOMPARE(port.written(), hex("FF" "EB010B" "00000000000000" "0C00" "0D"));
        QVERIFY(writes[1].atMs - writes[0].atMs >= 9);
        QVERIFY(writes[13].atMs - writes[1].atMs >= 12 * 12);

        port.clearWritten();
        QVERIFY(sendSetFrame(port, 1, hex("32000000000000"), 0x0B));
        QCOMPARE(port.written(), hex("FF" "EB010B" "32000000000000" "3E00" "0D"));
    }

    void sendErrorsAreReported()
    {
        test::MessageRecorder recorder;
        FakeSerialPort port;
        port.openError = QStringLiteral("no such device");
        QVERIFY(!sendPollV1(port, 1, {}, 0xCF));
        port.openError.clear();
        port.writeError = QStringLiteral("write failed");
        QVERIFY(!sendCrcFrame(port, 1, QByteArray(8, '\0'), 3));
        QVERIFY(!sendSetFrame(port, 1, {}, 5));
        QCOMPARE(recorder.texts.size(), 3);
        QVERIFY(recorder.texts[0].startsWith(QStringLiteral("Send command code: Error found")));
        QVERIFY(recorder.texts[0].endsWith(QStringLiteral("no such device")));
        QVERIFY(recorder.texts[1].endsWith(QStringLiteral("write failed")));
    }

    void quitStopsAFrameButCountsAsSent()
    {
        FakeSerialPort port;
        quitRequested = true;
        QVERIFY(sendPollV1(port, 1, {}, 0xCF));
        QVERIFY(sendSetFrame(port, 1, {}, 5));
        QVERIFY(port.written().isEmpty());
    }

    void findhead_data()
    {
        QTest::addColumn<QByteArray>("buffer");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QByteArray>("left");
        const QByteArray v1 = hex("EB90");
        QTest::newRow("head then body") << hex("EB900155") << v1 << true << hex("0155");
        QTest::newRow("garbage first") << hex("0011EB9001") << v1 << true << hex("01");
        // The second EB is compared with 0x90 and dropped: only the later head counts.
        QTest::newRow("EB EB 90, later head") << hex("EBEB90EB9055") << v1 << true << hex("55");
        QTest::newRow("EB EB 90 only") << hex("EBEB905566") << v1 << false << hex("66");
        QTest::newRow("exactly the head") << v1 << v1 << false << hex("90");
        QTest::newRow("empty") << QByteArray() << v1 << false << QByteArray();
        QTest::newRow("version 2 head") << hex("FF01031B0077") << hex("01031B00") << true << hex("77");
        QTest::newRow("version 2 wrong function") << hex("01101B007788") << hex("01031B00") << false << hex("88");
    }
    void findhead()
    {
        QFETCH(QByteArray, buffer);
        QFETCH(QByteArray, head);
        QFETCH(bool, found);
        QFETCH(QByteArray, left);
        FakeSerialPort port;
        QVERIFY(port.open());
        port.queueReply(buffer);
        QCOMPARE(vantoro::findhead(port, head), found);
        QCOMPARE(port.readAll(), left);
    }

    void findheadOnClosedPort()
    {
        FakeSerialPort port;
        port.queueReply(hex("EB9001"));
        QVERIFY(!vantoro::findhead(port, hex("EB90")));
        QVERIFY(runningLogText().contains(QStringLiteral("*findhead:port closed!")));
    }

    void qtPortSettingsParse()
    {
        const auto mark = QtSerialPort::parseSettings(QStringLiteral("19200,M,8,1"));
        QVERIFY(mark);
        QCOMPARE(mark->baud, 19200);
        QCOMPARE(mark->parity, QSerialPort::MarkParity);
        QCOMPARE(QtSerialPort::parseSettings(QStringLiteral("9600,S,8,1"))->parity, QSerialPort::SpaceParity);
        QVERIFY(!QtSerialPort::parseSettings(QStringLiteral("0,N,8,1")));
        QVERIFY(!QtSerialPort::parseSettings(QStringLiteral("9600,X,8,1")));
        QVERIFY(!QtSerialPort::parseSettings(QStringLiteral("9600,N,8")));
    }

    // What the operator types as a line: each form, written back canonically,
    // and each mistake refused with the forms accepted.
    void lineAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("canonical");
        const int invalid = int(LineKind::Invalid);
        QTest::newRow("number") << " 3 " << int(LineKind::SerialNumber) << "3";
        QTest::newRow("COM name") << "com12" << int(LineKind::SerialNumber) << "12";
        QTest::newRow("device path") << "/dev/serial/by-id/usb-FTDI_X-if00-port0" << int(LineKind::SerialPath)
                                     << "/dev/serial/by-id/usb-FTDI_X-if00-port0";
        QTest::newRow("tcp name") << "tcp://gw.plant.lan:4001" << int(LineKind::Tcp) << "tcp://gw.plant.lan:4001";
        QTest::newRow("tcp IPv4") << "TCP://127.0.0.1:4001" << int(LineKind::Tcp) << "tcp://127.0.0.1:4001";
        QTest::newRow("modbus IPv6") << "modbus-tcp://[fd00::5]:502" << int(LineKind::ModbusTcp)
                                     << "modbus-tcp://[fd00::5]:502";
        QTest::newRow("port 0") << "COM0" << invalid << "";
        QTest::newRow("empty") << "  " << invalid << "";
        QTest::newRow("no port") << "tcp://gw" << invalid << "";
        QTest::newRow("port too big") << "tcp://gw:65536" << invalid << "";
        QTest::newRow("signed port") << "tcp://gw:+502" << invalid << "";
        QTest::newRow("bare IPv6") << "tcp://fd00::5:502" << invalid << "";
        QTest::newRow("unclosed bracket") << "tcp://[fd00::5:502" << invalid << "";
        QTest::newRow("IPv4 in brackets") << "tcp://[127.0.0.1]:502" << invalid << "";
        QTest::newRow("space in host") << "tcp://gw x:502" << invalid << "";
        QTest::newRow("unknown scheme") << "udp://gw:502" << invalid << "";
        QTest::newRow("relative path") << "ttyUSB0" << invalid << "";
    }

    void lineAddresses()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, canonical);
        const LineAddress address = parseLineAddress(text);
        QCOMPARE(int(address.kind), kind);
        QCOMPARE(lineAddressText(address), canonical);
        if (address.kind == LineKind::Invalid)
            QVERIFY2(address.error.contains(QLatin1String("modbus-tcp://HOST:PORT")), qPrintable(address.error));
    }

    // The MBAP framing against bytes written from the protocol.
    void modbusTcpFraming()
    {
        const QByteArray poll = hex("010308000000000000000000"); // without its CRC
        QString error;
        const auto request = mbapRequest(withCrc(poll), 0x1234, &error);
        QVERIFY2(request, qPrintable(error));
        QCOMPARE(*request, hex("12340000000C") + poll);
        QVERIFY(!mbapRequest(poll + hex("0000"), 1, &error));
        QCOMPARE(crcFrameLength(hex("010308")), 0);
        QCOMPARE(crcFrameLength(hex("01030800")), 14);
        QCOMPARE(crcFrameLength(hex("EB9001CF")), -1);

        // A reply in two pieces, then the next one already behind it.
        const QByteArray pdu = hex("031B00") + QByteArray(27, '\x11');
        QByteArray received = hex("00070000001F01") + pdu.left(10);
        QCOMPARE(takeMbapReply(received, 7, 1, 30).status, MbapReply::Status::Incomplete);
        received += pdu.mid(10) + hex("0008");
        const MbapReply reply = takeMbapReply(received, 7, 1, 30);
        QCOMPARE(reply.status, MbapReply::Status::Reply);
        QCOMPARE(reply.rtu, withCrc(hex("01") + pdu));
        QCOMPARE(received, hex("0008"));

        QByteArray exception = hex("000700000003018302");
        const MbapReply refused = takeMbapReply(exception, 7, 1, 30);
        QCOMPARE(refused.status, MbapReply::Status::Exception);
        QCOMPARE(refused.rtu, withCrc(hex("018302")));
        // An exception's length with no exception function is no reply at all.
        QByteArray odd = hex("000700000003010302");
        QCOMPARE(takeMbapReply(odd, 7, 1, 30).status, MbapReply::Status::Bad);
    }

    // QSerialPort on a pseudo-terminal: bytes written reach the other end,
    // and bytes sent back are seen without an event loop turn.
    void qtPortOnPseudoTerminal()
    {
#ifndef Q_OS_UNIX
        QSKIP("pseudo-terminals are a Unix facility");
#else
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            QSKIP("no pseudo-terminal available");
        const QString slave = QString::fromLocal8Bit(ptsname(master));
        setPortDeviceName(7, slave);

        QtSerialPort port;
        QVERIFY(setupCommPort(port, QStringLiteral("9600,N,8,1"), 7, true));
        QVERIFY(!port.isOpen());
        QVERIFY2(sendPollV1(port, 1, {}, 0xCF), qPrintable(port.errorText()));
        QVERIFY(port.isOpen());

        QByteArray received(64, '\0');
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < 10 && clock.elapsed() < 2000) {
            const ssize_t n = ::read(master, received.data(), size_t(received.size()));
            if (n > 0)
                got += received.left(int(n));
        }
        QCOMPARE(got, hex("EB9001CFA0000070010D"));

        const QByteArray reply = hex("EB9001") + QByteArray(30, '\x22');
        QCOMPARE(::write(master, reply.constData(), size_t(reply.size())), ssize_t(reply.size()));
        clock.restart();
        while (port.bytesWaiting() < reply.size() && clock.elapsed() < 2000)
            QThread::msleep(2);
        QCOMPARE(port.bytesWaiting(), int(reply.size()));
        QVERIFY(vantoro::findhead(port, hex("EB90")));
        QCOMPARE(port.readByte(), std::optional<quint8>(0x01));
        QCOMPARE(port.readAll(), QByteArray(30, '\x22'));
        port.close();
        ::close(master);

        test::MessageRecorder recorder;
        setPortDeviceName(8, QStringLiteral("/nonexistent/vantoro-tty"));
        QVERIFY(setupCommPort(port, QStringLiteral("9600,N,8,1"), 8, true));
        QVERIFY(!sendPollV1(port, 1, {}, 0xCF));
        QCOMPARE(recorder.texts.size(), 1);
        QVERIFY(recorder.texts[0].contains(QStringLiteral("/nonexistent/vantoro-tty")));
#endif
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_serial_link.moc"
