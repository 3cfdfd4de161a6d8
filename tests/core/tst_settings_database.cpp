// Database file check, schema upgrade, and the system settings record.
#include "core/database.h"
#include "core/system_settings.h"
#include "acquisition/fake_serial_port.h"
#include "plant/line.h"
#include "test_support.h"

#include <QFile>
#include <QSqlQuery>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestSettingsDatabase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void missingOrEmptyFileCountsAsMissing();
    void connectionNeverCreatesTheFile();
    void defaultsLoad();
    void oldFileIsUpgradedAndReadAsVersion1And3K();
    void upgradeOfCurrentFileChangesNothing();
    void leadingNumberFields_data();
    void leadingNumberFields();
    void missingSettingsRowKeepsStartValues();
    void missingDeviceRowIsReportedUncorrected();
    void saveWritesBothRows();
    void saveWithoutSettingsRowWritesNothing();
    void saveWithoutDeviceRowStillWritesSettings();

private:
    static void exec(const QString &sql)
    {
        QString error;
        QVERIFY2(execSql(sql, {}, &error), qPrintable(error));
    }
};

void TestSettingsDatabase::missingOrEmptyFileCountsAsMissing()
{
    TestHome home(false);
    QVERIFY(!checkDatabaseFile());
    QFile f(home.file(QStringLiteral("vantoro.db")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(!checkDatabaseFile());
    home.copyDefault(QStringLiteral("vantoro.db"));
    QVERIFY(checkDatabaseFile());
}

void TestSettingsDatabase::connectionNeverCreatesTheFile()
{
    TestHome home(false);
    QString error;
    QVERIFY(!rsSqlGet(QStringLiteral("select 1"), {}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(home.file(QStringLiteral("vantoro.db"))));
}

void TestSettingsDatabase::defaultsLoad()
{
    TestHome home;
    MessageRecorder recorder;
    QVERIFY(loadSystemSettings());
    QVERIFY(recorder.texts.isEmpty());
    QCOMPARE(sysSettings.comport, 1);
    QCOMPARE(sysSettings.ComSettings, QStringLiteral("9600,N,8,1"));
    QCOMPARE(sysSettings.PauseSeconds, 3.0f);
    QCOMPARE(sysSettings.TimeOut, 3.0f);
    QCOMPARE(sysSettings.retrytimes, 3);
    QCOMPARE(sysSettings.BeepFreq, 3000);
    QCOMPARE(sysSettings.Soundenabled, 1);
    QCOMPARE(sysSettings.expectedReplyBytes, 33);
    const auto devices = loadDevices();
    QVERIFY(devices && devices->size() == 1);
    QCOMPARE(devices->at(0).id, QStringLiteral("001"));
    QCOMPARE(devices->at(0).address, 1);
    QCOMPARE(devices->at(0).protocol, 1);
    QCOMPARE(devices->at(0).rating, QStringLiteral("3K"));
}

void TestSettingsDatabase::oldFileIsUpgradedAndReadAsVersion1And3K()
{
    TestHome home;
    exec(QStringLiteral("drop table devices"));
    exec(QStringLiteral("create table devices (id varchar(10), devname varchar(50), devaddr integer)"));
    exec(QStringLiteral("insert into devices values ('001', 'Old', 3)"));
    exec(QStringLiteral("drop index ix_eventlog_logtime"));
    exec(QStringLiteral("alter table sysset drop column StandbyPercent"));
    exec(QStringLiteral("alter table sysset drop column LineAddress"));
    sysSettings.StandbyPercent = 7;
    sysSettings.LineAddress = QStringLiteral("tcp://gw:1");
    upgradeSchema();
    MessageRecorder recorder;
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.StandbyPercent, STANDBY_PERCENT_DEFAULT);
    // An old file's line is its serial port.
    QCOMPARE(sysSettings.LineAddress, QString());
    const auto devices = loadDevices();
    QVERIFY(devices && devices->size() == 1);
    QCOMPARE(devices->at(0).protocol, 1);
    QCOMPARE(devices->at(0).rating, QStringLiteral("3K"));
    QCOMPARE(devices->at(0).address, 3);
    const auto index = rsSqlGet(QStringLiteral("select name from sqlite_master where type='index' and tbl_name='eventlog'"));
    QVERIFY(index && index->recordCount() == 1);
    // The next save writes the corrected values back.
    QVERIFY(saveSystemSettings());
    QVERIFY(editDevice(devices->at(0)));
    const auto row = rsSqlGet(QStringLiteral("select devpower, devcomversion from devices"));
    QCOMPARE(row->text(0, "devpower"), QStringLiteral("3K"));
    QCOMPARE(row->text(0, "devcomversion"), QStringLiteral("1"));
}

void TestSettingsDatabase::upgradeOfCurrentFileChangesNothing()
{
    TestHome home;
    MessageRecorder recorder;
    const auto before = rsSqlGet(QStringLiteral("select sql from sqlite_master order by name"));
    upgradeSchema();
    upgradeSchema();
    const auto after = rsSqlGet(QStringLiteral("select sql from sqlite_master order by name"));
    QCOMPARE(after->rows, before->rows);
    QVERIFY(recorder.texts.isEmpty());
}

void TestSettingsDatabase::leadingNumberFields_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("number text") << "2" << 2;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("fraction truncated") << "3.9" << 3;
}

void TestSettingsDatabase::leadingNumberFields()
{
    QFETCH(QString, stored);
    QFETCH(int, expected);
    TestHome home;
    QVERIFY(execSql(QStringLiteral("update sysset set viewmode=?, BeepFreq=?, AutoShutDown=? where id=1"),
                    {stored, stored, stored}));
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.viewmode, expected);
    QCOMPARE(sysSettings.BeepFreq, expected);
    QCOMPARE(sysSettings.AutoShutDown, expected);
}

void TestSettingsDatabase::missingSettingsRowKeepsStartValues()
{
    TestHome home;
    exec(QStringLiteral("delete from sysset"));
    MessageRecorder recorder;
    QVERIFY(!loadSystemSettings());
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("System Info Error！\r\nPlease contact system manager。")});
    QCOMPARE(recorder.icons.value(0), MessageIcon::Error);
    QCOMPARE(recorder.beeps, 1);
    QCOMPARE(sysSettings.comport, 0);
}

void TestSettingsDatabase::missingDeviceRowIsReportedUncorrected()
{
    TestHome home;
    exec(QStringLiteral("delete from devices"));
    MessageRecorder recorder;
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.comport, 1); // the settings row was read
    QVERIFY(recorder.texts.isEmpty());
    Line line(std::make_unique<FakeSerialPort>());
    line.addDevice(plantOfOneRecord());
    QVERIFY(!line.load());
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("Device Info Error！Please contact system manager。")});
    QCOMPARE(line.devices().size(), size_t(1)); // the line keeps what it had
    QCOMPARE(line.first()->record().rating, QStringLiteral("3K"));
}

void TestSettingsDatabase::saveWritesBothRows()
{
    TestHome home;
    QVERIFY(loadSystemSettings());
    sysSettings.Soundenabled = 0;
    sysSettings.ComSettings = QStringLiteral("19200,E,8,1");
    sysSettings.PauseSeconds = 1.5f;
    sysSettings.username = QStringLiteral("  运维 ");
    DeviceRecord device = loadDevices()->at(0);
    device.name = QStringLiteral("Station");
    device.rating = QStringLiteral("2K5");
    device.protocol = 2;
    sysSettings.StandbyPercent = 2.5;
    MessageRecorder recorder;
    QVERIFY(saveSystemSettings());
    QVERIFY(editDevice(device));
    sysSettings = SystemSettings();
    QVERIFY(loadSystemSettings());
    const DeviceRecord reread = loadDevices()->at(0);
    QCOMPARE(sysSettings.StandbyPercent, 2.5);
    QCOMPARE(sysSettings.Soundenabled, 0);
    QCOMPARE(sysSettings.ComSettings, QStringLiteral("19200,E,8,1"));
    QCOMPARE(sysSettings.PauseSeconds, 1.5f);
    QCOMPARE(sysSettings.username, QStringLiteral("  运维 "));
    QCOMPARE(reread.name, QStringLiteral("Station"));
    QCOMPARE(reread.rating, QStringLiteral("2K5"));
    QCOMPARE(reread.protocol, 2);
    QVERIFY(recorder.texts.isEmpty());
}

void TestSettingsDatabase::saveWithoutSettingsRowWritesNothing()
{
    TestHome home;
    QVERIFY(loadSystemSettings());
    exec(QStringLiteral("delete from sysset"));
    sysSettings.BeepFreq = 2503;
    MessageRecorder recorder;
    QVERIFY(!saveSystemSettings());
    QCOMPARE(recorder.texts, QStringList{QStringLiteral("System info error！\r\nPlease contact system manager.")});
    const auto rows = rsSqlGet(QStringLiteral("select count(*) from sysset"));
    QCOMPARE(rows->rows.value(0).value(0).toInt(), 0); // no row made up
}

void TestSettingsDatabase::saveWithoutDeviceRowStillWritesSettings()
{
    TestHome home;
    QVERIFY(loadSystemSettings());
    const DeviceRecord device = loadDevices()->at(0);
    exec(QStringLiteral("delete from devices"));
    sysSettings.BeepFreq = 2502;
    MessageRecorder recorder;
    QVERIFY(saveSystemSettings());
    QVERIFY(recorder.texts.isEmpty());
    QString error;
    QVERIFY(!editDevice(device, &error));
    QVERIFY(!error.isEmpty());
    const auto row = rsSqlGet(QStringLiteral("select BeepFreq from sysset where id=1"));
    QCOMPARE(row->text(0, "BeepFreq"), QStringLiteral("2502"));
}

QTEST_GUILESS_MAIN(TestSettingsDatabase)
#include "tst_settings_database.moc"
