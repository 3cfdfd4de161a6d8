// The station without a window against the simulator: the power-off asked
// of a stand-in login manager on a private bus once the countdown ran out,
// a refusal that leaves it monitoring, the start-up checks, the mark of an
// unclean stop, and a stop asked for in its first moments.
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/user_settings.h"
#include "events/auto_shutdown.h"
#include "events/run_marker.h"
#include "sim_process.h"
#include "test_support.h"
#include "unattended/power_off_request.h"
#include "unattended/shutdown_countdown.h"
#include "unattended/unattended_station.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The login manager's PowerOff, answered as the test says; it notes what
// the station was doing when the request came.
class FakeLoginManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QString refusal;                  // an error name, or empty to accept
    QList<bool> interactive;
    std::function<void()> onRequest;

public slots:
    void PowerOff(bool interactiveArgument)
    {
        interactive << interactiveArgument;
        if (onRequest)
            onRequest();
        if (!refusal.isEmpty())
            sendErrorReply(refusal, QStringLiteral("Interactive authentication required."));
    }
};

// The address a started bus prints on its standard output.
QString readBusAddress(QProcess &bus)
{
    QByteArray line;
    QDeadlineTimer deadline(5000);
    while (!line.contains('\n') && !deadline.hasExpired()) {
        bus.waitForReadyRead(100);
        line += bus.readAllStandardOutput();
    }
    return QString::fromUtf8(line).trimmed();
}

int countEvents(const QString &like)
{
    const auto rows = rsSqlGet(QStringLiteral("select count(*) from eventlog where eventname like ?"), {like});
    return rows ? rows->value(0, rows->columns.value(0)).toInt() : -1;
}

} // namespace

class TestUnattendedStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void powerOffAskedAfterTheCountdownWhileMonitoring_data();
    void powerOffAskedAfterTheCountdownWhileMonitoring();
    void unwritableDatabaseStopsStartAndFailedSaveIsReported();
    void uncleanStopIsStoredAtStart();
    void stopInTheFirstMomentsEndsInOrder();

private:
    QProcess m_bus;
    QString m_busAddress;
    FakeLoginManager m_login;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SimProcess> m_sim;
    int m_cycles = 0;
};

void TestUnattendedStation::initTestCase()
{
    isolateUserSettings();
    // A private bus stands in for the system bus: no request of a test can
    // reach the machine's own login manager.
    m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(5000))
        QSKIP("dbus-daemon is not installed (scripts/install-deps.sh)");
    m_busAddress = readBusAddress(m_bus);
    QVERIFY2(!m_busAddress.isEmpty(), "the private bus printed no address");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_busAddress.toUtf8());
    QDBusConnection fake = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("fake-login1"));
    QVERIFY(fake.isConnected());
    QVERIFY(fake.registerObject(QLatin1String(LOGIN_MANAGER_PATH), &m_login, QDBusConnection::ExportAllSlots));
    QVERIFY(fake.registerService(QLatin1String(LOGIN_MANAGER_SERVICE)));
    connect(&stationBus(), &StationBus::cycleFinished, this, [this] { ++m_cycles; });
}

void TestUnattendedStation::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-login1"));
    m_bus.kill();
    m_bus.waitForFinished(2000);
}

void TestUnattendedStation::init()
{
    quitRequested = false;
    m_home = std::make_unique<TestHome>();
    m_sim = std::make_unique<SimProcess>();
    m_login.interactive.clear();
    m_login.onRequest = {};
    m_cycles = 0;
}

void TestUnattendedStation::cleanup()
{
    m_sim.reset();
    m_home.reset();
    quitRequested = false;
}

void TestUnattendedStation::powerOffAskedAfterTheCountdownWhileMonitoring_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::newRow("accepted") << QString();
    QTest::newRow("refused") << QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired");
}

void TestUnattendedStation::powerOffAskedAfterTheCountdownWhileMonitoring()
{
    QFETCH(QString, refusal);
    // Running, and the DC under-voltage bit (DCUV, the second status bit) set.
    QVERIFY2(m_sim->start({"--baud", "0", "--status", "0x0003"}), qPrintable(m_sim->errorText()));
    setPortDeviceName(1, m_sim->ptyPath());
    QVERIFY(execSql(QStringLiteral("update sysset set AutoShutDown=1, PauseSeconds=1, TimeOut=1")));
    m_login.refusal = refusal;

    UnattendedStation station({}, 1);
    bool runningAtRequest = false;
    int secondsLeftAtRequest = -1;
    m_login.onRequest = [&] {
        runningAtRequest = station.running() && !quitRequested;
        secondsLeftAtRequest = station.countdown().secondsLeft();
    };
    QVERIFY2(station.start(), qPrintable(station.failure()));
    QTRY_COMPARE_WITH_TIMEOUT(m_login.interactive.size(), 1, 10000);
    QCOMPARE(m_login.interactive.first(), false);
    QVERIFY(runningAtRequest);
    QCOMPARE(secondsLeftAtRequest, 0);

    QTRY_VERIFY_WITH_TIMEOUT(station.powerOffState() != PowerOffRequest::State::Waiting, 5000);
    QCOMPARE(station.powerOffState(),
             refusal.isEmpty() ? PowerOffRequest::State::Accepted : PowerOffRequest::State::Refused);
    // A refusal is stored with the login manager's answer.
    QCOMPARE(countEvents(QStringLiteral("%power-off refused (") + refusal + QLatin1Char('%')),
             refusal.isEmpty() ? 0 : 1);
    // Monitoring goes on after the answer, whatever it was.
    const int cyclesAtAnswer = m_cycles;
    QTRY_VERIFY_WITH_TIMEOUT(m_cycles > cyclesAtAnswer, 5000);
    QVERIFY(station.running());
    QCOMPARE(m_login.interactive.size(), 1);
    station.quit();
    QCOMPARE(station.exitCode(), 0);
}

void TestUnattendedStation::unwritableDatabaseStopsStartAndFailedSaveIsReported()
{
    setPortDeviceName(1, QStringLiteral("/nonexistent/tty"));
    {
        UnattendedStation station;
        QVERIFY2(station.start(), qPrintable(station.failure()));
        makeDatabaseReadOnly(databasePath());
        station.quit();
        QCOMPARE(station.exitCode(), 1);
    }
    UnattendedStation refused;
    QVERIFY(!refused.start());
    QVERIFY2(refused.failure().contains(QLatin1String("cannot be written")), qPrintable(refused.failure()));
    QVERIFY(!refused.running());
}

void TestUnattendedStation::uncleanStopIsStoredAtStart()
{
    setPortDeviceName(1, QStringLiteral("/nonexistent/tty"));
    const QString unclean = langText(QStringLiteral("Application"), QStringLiteral("msgUncleanStop"));
    {
        UnattendedStation station;
        QVERIFY2(station.start(), qPrintable(station.failure()));
        QVERIFY(QFile::exists(m_home->file(QString::fromLatin1(RUN_MARKER_FILE))));
        station.quit();
    }
    QVERIFY(!QFile::exists(m_home->file(QString::fromLatin1(RUN_MARKER_FILE))));
    QCOMPARE(countEvents(unclean), 0);

    // A crash or power cut leaves the marker behind.
    QVERIFY(markRunStarted() == false);
    UnattendedStation station;
    QVERIFY2(station.start(), qPrintable(station.failure()));
    QCOMPARE(countEvents(unclean), 1);
    station.quit();
}

void TestUnattendedStation::stopInTheFirstMomentsEndsInOrder()
{
    setPortDeviceName(1, QStringLiteral("/nonexistent/tty"));
    QProcess service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTORO_HOME"), m_home->path());
    service.setProcessEnvironment(env);
    service.setReadChannel(QProcess::StandardError);
    service.start(QStringLiteral(VANTORO_SERVICE_PATH), {});
    QVERIFY(service.waitForStarted(5000));
    // The first line comes before the database is even opened.
    QVERIFY(service.waitForReadyRead(5000));
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(10000));
    const QString log = QString::fromUtf8(service.readAll());
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QVERIFY2(service.exitCode() == 0, qPrintable(log));
    QVERIFY2(log.contains(QLatin1String("Stopped; settings and values saved.")), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestUnattendedStation)
#include "tst_unattended_station.moc"
