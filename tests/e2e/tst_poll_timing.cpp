// How long one poll exchange takes against the simulator at 9600 baud: a
// raw write-14-read-33 exchange and the station's own poll cycle. Prints the
// figures; the machine's speed is not asserted.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTest>
#include <algorithm>

using namespace vantoro;
using vantoro::test::SimProcess;

namespace {

constexpr int RUNS = 5;

QString figures(QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return QStringLiteral("min %1 ms, median %2 ms, max %3 ms (%4 runs)")
        .arg(ms.first(), 0, 'f', 1)
        .arg(ms[ms.size() / 2], 0, 'f', 1)
        .arg(ms.last(), 0, 'f', 1)
        .arg(ms.size());
}

double elapsedMs(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

class TestPollTiming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rawExchange_data();
    void rawExchange();
    void queryData_data();
    void queryData();
    void noiseBeforeTheHeadAtLineSpeed();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    SimProcess m_sim;
};

void TestPollTiming::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_home->removeLanguageFiles();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
    QVERIFY2(m_sim.start({"--baud", "9600"}), qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
    qInfo("wire time at 9600 baud, 10 bits a byte: v1 poll + reply (43 bytes) %.1f ms, v2 (47 bytes) %.1f ms",
        43 * 10 * 1000.0 / 9600, 47 * 10 * 1000.0 / 9600);
}

void TestPollTiming::cleanupTestCase()
{
    m_sim.stop();
    m_messages.reset();
    m_home.reset();
}

void TestPollTiming::rawExchange_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("port kept open") << false;
    QTest::newRow("port opened and closed each time") << true;
}

void TestPollTiming::rawExchange()
{
    QFETCH(bool, reopen);
    const QByteArray poll = buildCrcFrame(1, QByteArray(8, '\0'), FUNCTION_POLL);
    QSerialPort port;
    port.setPortName(m_sim.ptyPath());
    QList<double> times;
    for (int run = 0; run < RUNS; ++run) {
        QElapsedTimer clock;
        clock.start();
        if (!port.isOpen())
            QVERIFY(port.open(QIODevice::ReadWrite));
        port.clear();
        port.write(poll);
        port.waitForBytesWritten(1000);
        QByteArray reply;
        while (reply.size() < REPLY_BYTES && port.waitForReadyRead(1000))
            reply += port.readAll();
        if (reopen)
            port.close();
        times << elapsedMs(clock);
        QCOMPARE(reply.size(), REPLY_BYTES);
    }
    qInfo("raw v2 exchange (write 14, read 33): %s", qPrintable(figures(times)));
}

void TestPollTiming::queryData_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("paced");
    QTest::newRow("v1 at 9600 baud") << 1 << true;
    QTest::newRow("v2 at 9600 baud") << 2 << true;
    // Without pacing what is left is the station's own time.
    QTest::newRow("v1 unpaced") << 1 << false;
    QTest::newRow("v2 unpaced") << 2 << false;
}

void TestPollTiming::queryData()
{
    QFETCH(int, version);
    QFETCH(bool, paced);
    SimProcess unpaced;
    if (!paced) {
        QVERIFY2(unpaced.start({"--baud", "0"}), qPrintable(unpaced.errorText()));
        setPortDeviceName(1, unpaced.ptyPath());
    }
    Line line(std::make_unique<QtSerialPort>());
    Device &device = line.addDevice(test::pollOneDevice(version, 1));
    QVERIFY(device.loadTable());
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    QList<double> times;
    for (int run = 0; run < RUNS; ++run) {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(poller.queryData(device));
        times << elapsedMs(clock);
        QCOMPARE(device.link().replyReceived, 1);
        QCOMPARE(device.link().linkOk, 1);
    }
    setPortDeviceName(1, m_sim.ptyPath());
    qInfo(
        "station queryData, protocol %d, %s: %s", version, paced ? "9600 baud" : "unpaced", qPrintable(figures(times)));
}

// With noise before the head, the wait ends at 33 bytes counted with the
// noise, so the body after the head is short unless the wait happened to
// end late. Printed, not asserted: the outcome depends on scheduling.
void TestPollTiming::noiseBeforeTheHeadAtLineSpeed()
{
    QVERIFY(m_sim.writeScenario(QStringLiteral("fault=garbage\ngarbage-bytes=5\n")));
    Line line(std::make_unique<QtSerialPort>());
    Device &device = line.addDevice(test::pollOneDevice(1, 1));
    QVERIFY(device.loadTable());
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000);
    int accepted = 0;
    for (int run = 0; run < RUNS; ++run) {
        QVERIFY(poller.queryData(device));
        accepted += device.link().replyReceived;
    }
    QVERIFY(m_sim.writeScenario(QString()));
    qInfo("protocol 1 at 9600 baud, 5 noise bytes before each reply: %d of %d replies accepted", accepted, RUNS);
}

QTEST_GUILESS_MAIN(TestPollTiming)
#include "tst_poll_timing.moc"
