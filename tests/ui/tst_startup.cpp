// The start sequence against a private VANTORO_HOME, the single-instance rule
// and the quit asked by the operating system.
#include "core/common.h"
#include "core/database.h"
#include "core/instance_lock.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "test_support.h"
#include "ui/main/frm_main.h"
#include "ui/main/single_instance.h"
#include "ui/main/startup.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <csignal>

using namespace vantoro;
using namespace vantoro::test;

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init() { quitRequested = false; setUserValue(UserKeys::DebugMode, QStringLiteral("0")); }
    void startsWithTitleAndSettings();
    void englishFromTheIniFile();
    void missingDatabaseEndsWithNotice();
    void unwritableDatabaseEndsWithMessage();
    void qtOwnOptionsAreTakenFirst();
    void everyIconOfTheWindowDraws();
    void debugModeStoresSystemUp();
    void secondInstanceRaisesTheFirstAndEnds();
    void lockedDataFolderRefusesAStationNotYetListening();
    void operatingSystemQuitSavesWithoutAsking();
};

void TestStartup::startsWithTitleAndSettings()
{
    TestHome home;
    MessageRecorder recorder;
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Running);
    QVERIFY(startup.mainWindow()->isVisible());
    QVERIFY(startup.mainWindow()->windowTitle().endsWith(QStringLiteral(" [PV-INV - QZ3K]")));
    QCOMPARE(sysSettings.ComSettings, QStringLiteral("9600,N,8,1"));
    QVERIFY(startup.mainWindow()->device());
    QCOMPARE(startup.mainWindow()->device()->link().linkOk, 1);
    QVERIFY(recorder.texts.isEmpty());
    QVERIFY(QApplication::overrideCursor() == nullptr);
    quitRequested = true;
}

void TestStartup::englishFromTheIniFile()
{
    TestHome home;
    QVERIFY(writeIni("Settings", "Language", "2", home.file("VANTORO.INI")));
    MessageRecorder recorder;
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Running);
    QCOMPARE(sysSettings.languageIndex, 2);
    QVERIFY2(startup.mainWindow()->myCaption.contains(QStringLiteral("Station")), qPrintable(startup.mainWindow()->myCaption));
    quitRequested = true;
}

void TestStartup::missingDatabaseEndsWithNotice()
{
    TestHome home;
    QFile::remove(home.file("vantoro.db"));
    MessageRecorder recorder;
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Ended);
    QCOMPARE(recorder.titles, QStringList{QStringLiteral("Notice")});
    QCOMPARE(recorder.texts.value(0),
             QStringLiteral(" DataBase not found \r\n  （DATABASEFILE）\r\n\r\nPlease contact to the system manager。"));
    QCOMPARE(recorder.beeps, 1);
    QVERIFY(startup.mainWindow() == nullptr);
}

void TestStartup::unwritableDatabaseEndsWithMessage()
{
    TestHome home;
    makeDatabaseReadOnly(home.file("vantoro.db"));
    MessageRecorder recorder;
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Ended);
    QCOMPARE(recorder.icons, QList<MessageIcon>{MessageIcon::Error});
    QVERIFY2(recorder.texts.value(0).contains(QLatin1String("cannot be written")), qPrintable(recorder.texts.value(0)));
    QVERIFY(startup.mainWindow() == nullptr);
}

void TestStartup::qtOwnOptionsAreTakenFirst()
{
    // A session manager restores the window with -session; the rest of the
    // line is still the station's, mistakes included.
    QProcess station;
    station.start(QStringLiteral(VANTORO_BIN_PATH), {"-platform", "offscreen", "-session", "1234", "--version"});
    QVERIFY(station.waitForFinished(10000));
    QCOMPARE(station.exitCode(), 0);
    QVERIFY(station.readAllStandardOutput().startsWith("Vantoro "));
    station.start(QStringLiteral(VANTORO_BIN_PATH), {"-platform", "offscreen", "--bogus"});
    QVERIFY(station.waitForFinished(10000));
    QCOMPARE(station.exitCode(), 2);
}

void TestStartup::everyIconOfTheWindowDraws()
{
    // SVG icons draw only through Qt's SVG plugins, which the package must
    // bring along: without them every toolbar button is blank.
    const QStringList icons = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
    QVERIFY(icons.size() >= 10);
    for (const QString &name : icons) {
        const QImage image = QIcon(QStringLiteral(":/icons/") + name).pixmap(24, 24).toImage();
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y) {
            for (int x = 0; x < image.width() && !drawn; ++x)
                drawn = qAlpha(image.pixel(x, y)) > 0;
        }
        QVERIFY2(drawn, qPrintable(name));
    }
}

void TestStartup::debugModeStoresSystemUp()
{
    TestHome home;
    setUserValue(UserKeys::DebugMode, QStringLiteral("1"));
    MessageRecorder recorder;
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Running);
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog"));
    QVERIFY(rows);
    QCOMPARE(rows->recordCount(), 1);
    QCOMPARE(rows->text(0, "eventname"), QStringLiteral("*System up."));
    quitRequested = true;
}

namespace {

QProcess *startStation(const QString &home)
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VANTORO_HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VANTORO_NO_AUDIO"), QStringLiteral("1"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(VANTORO_BIN_PATH), {});
    return process;
}

bool waitListening(const QString &name, int timeoutMs)
{
    return waitUntil([&name] {
        QLocalSocket socket;
        socket.connectToServer(name);
        return socket.waitForConnected(50);
    }, timeoutMs);
}

} // namespace

void TestStartup::secondInstanceRaisesTheFirstAndEnds()
{
    TestHome home;
    std::unique_ptr<QProcess> first(startStation(home.path()));
    QVERIFY(waitListening(SingleInstance::defaultServerName(), 10000));
    QTest::qWait(700); // the first window is shown by now
    std::unique_ptr<QProcess> second(startStation(home.path()));
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(first->state(), QProcess::Running);
    ::kill(pid_t(first->processId()), SIGTERM);
    QVERIFY(first->waitForFinished(10000));
}

void TestStartup::lockedDataFolderRefusesAStationNotYetListening()
{
    // A station that has started but not yet opened its socket: the folder
    // is taken all the same, and nothing in it may be touched.
    TestHome home;
    InstanceLock running(home.path());
    QVERIFY(running.tryLock());
    qputenv("VANTORO_SKIP_FIXED_WAITS", "1");
    MessageRecorder recorder;
    Startup startup;
    const Startup::Result result = startup.run();
    qunsetenv("VANTORO_SKIP_FIXED_WAITS");
    QCOMPARE(result, Startup::Result::Ended);
    QVERIFY(startup.mainWindow() == nullptr);
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("The system has already started up!")});
    QVERIFY(!QFile::exists(home.file(QStringLiteral("poweroff"))));
}

void TestStartup::operatingSystemQuitSavesWithoutAsking()
{
    TestHome home;
    QVERIFY(execSql(QStringLiteral("update sysset set Soundenabled=7 where id=1")));
    std::unique_ptr<QProcess> station(startStation(home.path()));
    QVERIFY(waitListening(SingleInstance::defaultServerName(), 10000));
    QTest::qWait(700);
    ::kill(pid_t(station->processId()), SIGTERM);
    QVERIFY(station->waitForFinished(10000));
    QCOMPARE(station->exitStatus(), QProcess::NormalExit);
    // The settings record went back to the database on the way out.
    const auto row = rsSqlGet(QStringLiteral("select Soundenabled from sysset where id=1"));
    QCOMPARE(row->text(0, "Soundenabled"), QStringLiteral("7"));
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("Vantoro"), QStringLiteral("Vantoro"));
    QVERIFY2(settings.contains(QStringLiteral("Settings/MainWidth")), qPrintable(settings.fileName() + QLatin1Char(' ') + settings.allKeys().join(QLatin1Char(','))));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
