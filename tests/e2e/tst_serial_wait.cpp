// The station's port waiting for input on a pseudo-terminal: the wait ends
// when bytes come in, not at the end of its time, and lets events run.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/frames.h"
#include "acquisition/qt_serial_port.h"
#include "core/user_settings.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace vantoro;
using vantoro::test::SimProcess;

class TestSerialWait : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endsWhenTheReplyStartsComing();
    void runsEventsAndEndsOnItsTimeWhenNothingComes();
    void closedPortStillWaitsItsTime();

private:
    SimProcess m_sim;
};

void TestSerialWait::initTestCase()
{
    test::isolateUserSettings();
    QVERIFY2(m_sim.start({QStringLiteral("--baud"), QStringLiteral("9600")}), qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
}

void TestSerialWait::endsWhenTheReplyStartsComing()
{
    QtSerialPort port;
    port.setPortNumber(1);
    QVERIFY(port.open());
    QVERIFY(port.write(buildCrcFrame(1, QByteArray(8, '\0'), FUNCTION_POLL)));
    QElapsedTimer clock;
    clock.start();
    // The first reply byte comes after the request's 14.6 ms on the line.
    while (port.bytesWaiting() == 0 && clock.elapsed() < 3000)
        port.waitForInput(2000);
    QVERIFY(port.bytesWaiting() > 0);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    // The rest of the reply, so none of it reaches the next case.
    while (port.bytesWaiting() < REPLY_BYTES && clock.elapsed() < 3000)
        port.waitForInput(100);
    QCOMPARE(port.readAll().size(), REPLY_BYTES);
}

void TestSerialWait::runsEventsAndEndsOnItsTimeWhenNothingComes()
{
    QtSerialPort port;
    port.setPortNumber(1);
    QVERIFY(port.open());
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    port.waitForInput(30);
    QVERIFY(ran);
    QVERIFY(clock.elapsed() >= 25);
    QCOMPARE(port.bytesWaiting(), 0);
}

void TestSerialWait::closedPortStillWaitsItsTime()
{
    QtSerialPort port;
    QElapsedTimer clock;
    clock.start();
    port.waitForInput(20);
    QVERIFY(clock.elapsed() >= 15);
}

QTEST_GUILESS_MAIN(TestSerialWait)
#include "tst_serial_wait.moc"
