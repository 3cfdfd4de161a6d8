// Port preparation, the senders and the head search, over the in-memory port
// and over QSerialPort on a pseudo-terminal.
#include "acquisition/fake_serial_port.h"
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
