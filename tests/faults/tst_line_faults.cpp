// Replies that come in slow pieces at the line rate (9600 baud, each byte
// paced): inside the time-out they are decoded; past it the cycle reports
// the bytes it has, the link falls, and the next whole reply is decoded.
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

constexpr double TIMEOUT_SECONDS = 1.0;

} // namespace

class TestLineFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void slowPiecesAtLineSpeed_data();
    void slowPiecesAtLineSpeed();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<StatusCapture> m_status;
    SimProcess m_sim;
    std::unique_ptr<Line> m_line;   // the database's device on the simulator's port
    Device *m_dev = nullptr;
};

void TestLineFaults::initTestCase()
{
    isolateUserSettings();
    m_home = std::make_unique<TestHome>();
    m_home->removeLanguageFiles();
    m_messages = std::make_unique<MessageRecorder>();
    m_status = std::make_unique<StatusCapture>();
    QVERIFY(loadSystemSettings());
    m_line = std::make_unique<Line>(std::make_unique<QtSerialPort>());
    QVERIFY(m_line->load());
    m_dev = m_line->first();
    QVERIFY2(m_sim.start({"--baud", "9600", "--vac", "2301", "--iac", "1002", "--energy", "123456"}),
             qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
}

void TestLineFaults::cleanupTestCase()
{
    m_sim.stop();
    m_dev = nullptr;
    m_line.reset();
    m_status.reset();
    m_messages.reset();
    m_home.reset();
}

void TestLineFaults::slowPiecesAtLineSpeed_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<bool>("decoded");
    for (const int v : {1, 2}) {
        // Four pieces 150 ms apart: the whole reply after about 0.5 s.
        QTest::addRow("v%d four pieces within the time-out", v) << v << 4 << 150 << true;
        // Three pieces 700 ms apart: two of them when the second is up.
        QTest::addRow("v%d three pieces past the time-out", v) << v << 3 << 700 << false;
    }
}

void TestLineFaults::slowPiecesAtLineSpeed()
{
    QFETCH(int, version);
    QFETCH(int, pieces);
    QFETCH(int, gapMs);
    QFETCH(bool, decoded);

    DeviceRecord record = pollOneDevice(version, TIMEOUT_SECONDS);
    record.rating = m_dev->record().rating;
    m_dev->setRecord(record);
    QTimer timer;
    Poller poller(*m_line, timer);
    timer.start(3600 * 1000);
    resetEventThrottle();
    const int eventsBefore = int(storedEventNames().size());

    QVERIFY(m_sim.writeScenario(
        QStringLiteral("fault=split\nsplit-pieces=%1\nsplit-gap-ms=%2\n").arg(pieces).arg(gapMs)));
    m_dev->table()[2].paravalue = 0;
    m_status->texts.clear();
    QElapsedTimer clock;
    clock.start();
    poller.reloadTick();
    const qint64 cycleMs = clock.elapsed();
    if (decoded) {
        QVERIFY2(m_status->texts.contains(QStringLiteral("msgDataProcessOk(INV)")), qPrintable(m_status->all()));
        QCOMPARE(m_dev->link().linkOk, 1);
        QCOMPARE(m_dev->table()[2].number(), 230.1);
        QVERIFY(cycleMs >= (pieces - 1) * gapMs);
        QVERIFY(cycleMs < TIMEOUT_SECONDS * 1000);
    } else {
        // The time-out message carries the bytes that came: two pieces of eleven.
        QVERIFY2(m_status->texts.contains(QStringLiteral("msgConnTimeOut22")), qPrintable(m_status->all()));
        QCOMPARE(m_dev->link().linkOk, 0);
        QCOMPARE(m_dev->table()[2].number(), 0.0);
        // The last piece lands while the port is closed, as before the station's next tick.
        QTest::qWait((pieces - 1) * gapMs - int(cycleMs) + 100);
    }

    QVERIFY(m_sim.writeScenario(QString()));
    m_dev->table()[2].paravalue = 0;
    m_status->texts.clear();
    poller.reloadTick();
    QVERIFY2(m_status->texts.contains(QStringLiteral("msgDataProcessOk(INV)")), qPrintable(m_status->all()));
    QCOMPARE(m_dev->link().linkOk, 1);
    QCOMPARE(m_dev->table()[2].number(), 230.1);
    QCOMPARE(storedEventNames().mid(eventsBefore),
             decoded ? QStringList() : QStringList({QStringLiteral("msgConnFail0(INV)"), QStringLiteral("msgConnResumed(INV)")}));
}

QTEST_GUILESS_MAIN(TestLineFaults)
#include "tst_line_faults.moc"
