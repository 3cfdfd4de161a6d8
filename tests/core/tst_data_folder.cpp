// Where the station keeps its files: the choice of folder, the first-start
// seeding of a user's data folder, the refresh after an install, and the
// schema upgrade of an older database found there.
#include "core/command_line.h"
#include "core/common.h"
#include "core/data_folder.h"
#include "core/database.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "plant/line.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

const char *const defaultFiles[] = {"vantoro.db", "VANTORO.INI", "langcn.ini", "langen.ini", "PARAMS.INI"};

void fillWithDefaults(const QString &dir)
{
    for (const char *name : defaultFiles)
        QVERIFY(QFile::copy(QDir(QStringLiteral(VANTORO_DEFAULTS_DIR)).filePath(QString::fromLatin1(name)),
                            QDir(dir).filePath(QString::fromLatin1(name))));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile::remove(path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// An installed program: a read-only bin folder, the defaults beside it, and
// an empty user data folder.
struct Installation
{
    QTemporaryDir root;
    DataFolderPlaces places;

    Installation()
    {
        QDir(root.path()).mkpath(QStringLiteral("usr/bin"));
        QDir(root.path()).mkpath(QStringLiteral("usr/share/vantoro"));
        places.programDir = root.filePath(QStringLiteral("usr/bin"));
        places.installedDefaults = root.filePath(QStringLiteral("usr/share/vantoro"));
        places.userData = root.filePath(QStringLiteral("home/.local/share/Vantoro/Vantoro"));
        fillWithDefaults(places.installedDefaults);
    }
    QString installed(const char *name) const { return QDir(places.installedDefaults).filePath(QString::fromLatin1(name)); }
    QString user(const char *name) const { return QDir(places.userData).filePath(QString::fromLatin1(name)); }
};

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserSettings(); }
    void commandLine_data();
    void commandLine();
    void explicitHomeWinsAndMustExist();
    void programFolderWithFilesIsUsedAsIs();
    void firstStartSeedsUserFolderWithLocaleLanguage_data();
    void firstStartSeedsUserFolderWithLocaleLanguage();
    void laterInstallRefreshesOnlyUntouchedFiles();
    void olderDatabaseInUserFolderIsUpgradedInPlace();
};

void TestDataFolder::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QString>("home");
    QTest::addColumn<int>("exitCode");
    using A = CommandLine::Action;
    QTest::newRow("none") << QStringList{"vantoro"} << int(A::Run) << false << QString() << 0;
    QTest::newRow("service home") << QStringList{"vantoro", "--service", "--home", "/srv/pv"} << int(A::Run) << true
                                  << QStringLiteral("/srv/pv") << 0;
    QTest::newRow("home=") << QStringList{"vantoro", "--home=/x"} << int(A::Run) << false << QStringLiteral("/x") << 0;
    QTest::newRow("help") << QStringList{"vantoro", "--help"} << int(A::Help) << false << QString() << 0;
    QTest::newRow("version") << QStringList{"vantoro", "--version"} << int(A::Version) << false << QString() << 0;
    QTest::newRow("unknown") << QStringList{"vantoro", "--bogus"} << int(A::Error) << false << QString() << 2;
    QTest::newRow("home without dir") << QStringList{"vantoro", "--home"} << int(A::Error) << false << QString() << 2;
    QTest::newRow("stray argument") << QStringList{"vantoro", "extra"} << int(A::Error) << false << QString() << 2;
}

void TestDataFolder::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    const CommandLine line = parseCommandLine(args);
    QCOMPARE(int(line.action), action);
    QTEST(line.service, "service");
    QTEST(line.home, "home");
    if (line.action == CommandLine::Action::Error) {
        // The usage comes with the complaint.
        QVERIFY(line.text.contains(QLatin1String("--service")));
        QVERIFY(line.text.contains(QLatin1String("--home")));
    }
    if (line.action != CommandLine::Action::Run)
        QTEST(finishCommandLine(line), "exitCode");
}

void TestDataFolder::explicitHomeWinsAndMustExist()
{
    Installation install;
    QTemporaryDir home;
    install.places.explicitHome = home.path();
    QCOMPARE(chooseDataFolder(install.places).home, addBackslash(home.path()));
    QVERIFY(!QFileInfo::exists(install.places.userData));

    install.places.explicitHome = home.filePath(QStringLiteral("missing"));
    const DataFolder missing = chooseDataFolder(install.places);
    QVERIFY(missing.home.isEmpty());
    QVERIFY(missing.error.contains(QLatin1String("missing")));

    // VANTORO_HOME is held to the same rule, and the message names it.
    qputenv("VANTORO_HOME", home.filePath(QStringLiteral("missing")).toLocal8Bit());
    const DataFolderPlaces fromEnvironment = dataFolderPlaces(QString());
    qunsetenv("VANTORO_HOME");
    QCOMPARE(fromEnvironment.explicitHome, home.filePath(QStringLiteral("missing")));
    const DataFolder missingFromEnvironment = chooseDataFolder(fromEnvironment);
    QVERIFY(missingFromEnvironment.home.isEmpty());
    QVERIFY(missingFromEnvironment.error.contains(QLatin1String("VANTORO_HOME")));
}

void TestDataFolder::programFolderWithFilesIsUsedAsIs()
{
    Installation install;
    fillWithDefaults(install.places.programDir);
    QCOMPARE(chooseDataFolder(install.places).home, addBackslash(install.places.programDir));
    QVERIFY(!QFileInfo::exists(install.places.userData));

}

void TestDataFolder::firstStartSeedsUserFolderWithLocaleLanguage_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("language");
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China) << QStringLiteral("1");
    QTest::newRow("Taiwan") << QLocale(QLocale::Chinese, QLocale::Taiwan) << QStringLiteral("1");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << QStringLiteral("2");
    QTest::newRow("C") << QLocale::c() << QStringLiteral("2");
}

void TestDataFolder::firstStartSeedsUserFolderWithLocaleLanguage()
{
    QFETCH(QLocale, locale);
    Installation install;
    const DataFolder folder = chooseDataFolder(install.places, locale);
    QCOMPARE(folder.home, addBackslash(install.places.userData));
    for (const char *name : {"vantoro.db", "langcn.ini", "langen.ini", "PARAMS.INI"})
        QCOMPARE(contents(install.user(name)), contents(install.installed(name)));
    QTEST(readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString(), install.user("VANTORO.INI")),
          "language");
    // The copies are the user's to change, whatever the installed mode.
    QVERIFY(QFileInfo(install.user("vantoro.db")).isWritable());
    QVERIFY(!folder.notes.isEmpty());

    // A build folder's INI names no language: its first start follows the
    // locale too and keeps that choice, whatever the locale later is.
    QTemporaryDir build;
    const QString ini = build.filePath(QStringLiteral("VANTORO.INI"));
    QVERIFY(writeIni(QStringLiteral("Other"), QStringLiteral("Key"), QStringLiteral("x"), ini));
    QFETCH(QString, language);
    QCOMPARE(QString::number(startLanguage(ini, locale)), language);
    const QLocale other = locale.language() == QLocale::Chinese ? QLocale::c() : QLocale(QLocale::Chinese, QLocale::China);
    QCOMPARE(QString::number(startLanguage(ini, other)), language);
}

void TestDataFolder::laterInstallRefreshesOnlyUntouchedFiles()
{
    Installation install;
    QVERIFY(!chooseDataFolder(install.places).home.isEmpty());
    // The user's own changes: a language text and the database.
    writeFile(install.user("langen.ini"), contents(install.user("langen.ini")) + "\n[Mine]\nKey=edited\n");
    const QByteArray userDb = contents(install.user("vantoro.db")) + QByteArray(16, 'u');
    writeFile(install.user("vantoro.db"), userDb);
    const QByteArray userIni = contents(install.user("VANTORO.INI"));

    // A newer install changes every default.
    for (const char *name : defaultFiles)
        writeFile(install.installed(name), contents(install.installed(name)) + "\n; newer\n");
    const DataFolder folder = chooseDataFolder(install.places);
    QCOMPARE(folder.home, addBackslash(install.places.userData));
    QCOMPARE(contents(install.user("langcn.ini")), contents(install.installed("langcn.ini")));
    QVERIFY(contents(install.user("langen.ini")).contains("Key=edited"));
    QCOMPARE(contents(install.user("vantoro.db")), userDb);
    QCOMPARE(contents(install.user("VANTORO.INI")), userIni);
    QVERIFY(folder.notes.join(QLatin1Char('\n')).contains(QLatin1String("kept the edited")));

    // The refreshed file is untouched again, so the next install refreshes it too.
    writeFile(install.installed("langcn.ini"), contents(install.installed("langcn.ini")) + "; newest\n");
    chooseDataFolder(install.places);
    QCOMPARE(contents(install.user("langcn.ini")), contents(install.installed("langcn.ini")));
}

void TestDataFolder::olderDatabaseInUserFolderIsUpgradedInPlace()
{
    Installation install;
    QDir().mkpath(install.places.userData);
    QFile::copy(install.installed("vantoro.db"), install.user("vantoro.db"));
    QFile::setPermissions(install.user("vantoro.db"), QFile::ReadOwner | QFile::WriteOwner);
    // An older file: no rating, totals or protocol columns, and a row of its own.
    qputenv("VANTORO_HOME", install.places.userData.toLocal8Bit());
    sysSettings = SystemSettings();
    QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime) values ('001', 'old row', "
                                   "'2020-01-01 00:00:00')")));
    for (const char *column : {"DEVPOWER", "TOTALPOWER", "DEVCOMVERSION"})
        QVERIFY(execSql(QStringLiteral("alter table devices drop column %1").arg(QLatin1String(column))));
    checkpointDatabase();

    const DataFolder folder = chooseDataFolder(install.places);
    QCOMPARE(folder.home, addBackslash(install.places.userData));
    initGlobals();
    upgradeSchema();
    QVERIFY(loadSystemSettings());
    const auto devices = loadDevices();
    QVERIFY(devices && !devices->isEmpty());
    QCOMPARE(devices->at(0).protocol, 1);
    QCOMPARE(devices->at(0).rating, QStringLiteral("3K"));
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog where eventname='old row'"));
    QVERIFY(rows);
    QCOMPARE(rows->recordCount(), 1);
    qunsetenv("VANTORO_HOME");
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_data_folder.moc"
