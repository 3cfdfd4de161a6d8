// The devices on the line: what a device may be, adding it with its
// parameter rows as one write, removing it with or without what it
// recorded, and rows missing from an older database.
#include "core/database.h"
#include "core/device_store.h"
#include "core/factory_tables.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

int count(const QString &sql, const QVariantList &binds = {})
{
    const auto rs = rsSqlGet(sql, binds);
    return rs && rs->recordCount() == 1 ? rs->rows[0][0].toInt() : -1;
}

void exec(const QString &sql)
{
    QString error;
    QVERIFY2(execSql(sql, {}, &error), qPrintable(error));
}

DeviceRecord device(const QString &id, int address, int protocol = 2, const QString &rating = QStringLiteral("3K"))
{
    DeviceRecord d;
    d.id = id;
    d.name = QStringLiteral("INV ") + id;
    d.address = address;
    d.protocol = protocol;
    d.rating = rating;
    return d;
}

// The messages are checked by their words (a TestHome resets the language).
void inEnglish()
{
    sysSettings.languageIndex = LANGUAGE_ENGLISH;
}

QStringList busIds()
{
    QStringList ids;
    for (const DeviceInfo &d : stationBus().devices())
        ids << d.id;
    return ids;
}

} // namespace

class TestDeviceStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void whatADeviceMayBe_data();
    void whatADeviceMayBe();
    void addCopiesTheFactoryRowsInOneWrite();
    void editKeepsTheParameterRows();
    void removeKeepsOrPurgesTheRecords();
    void devicesWithoutParameterRowsGetThem();
    void oldDatabaseGetsTheEnabledColumn();
};

void TestDeviceStore::whatADeviceMayBe_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("rating");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("problem"); // a word of the message; empty when accepted

    // On the line: 001 at address 1, 002 at address 7.
    QTest::newRow("new id, free address") << "003" << 3 << 2 << "3K" << false << "";
    QTest::newRow("id taken") << "002" << 3 << 2 << "3K" << false << "taken";
    QTest::newRow("id 000") << "000" << 3 << 2 << "3K" << false << "three digits";
    QTest::newRow("id 033") << "033" << 3 << 2 << "3K" << false << "three digits";
    QTest::newRow("id without zeros") << "3" << 3 << 2 << "3K" << false << "three digits";
    QTest::newRow("address taken") << "003" << 7 << 1 << "3K" << false << "Address 7";
    QTest::newRow("edit keeps its own address") << "002" << 7 << 2 << "5K" << true << "";
    QTest::newRow("edit onto another's address") << "002" << 1 << 2 << "5K" << true << "Address 1";
    QTest::newRow("edit of a device not there") << "009" << 9 << 2 << "3K" << true << "not on the line";
    QTest::newRow("v2 address 0") << "003" << 0 << 2 << "3K" << false << "from 1 to 247";
    QTest::newRow("v2 address 247") << "003" << 247 << 2 << "3K" << false << "";
    QTest::newRow("v2 address 248") << "003" << 248 << 2 << "3K" << false << "from 1 to 247";
    QTest::newRow("v1 address 0") << "003" << 0 << 1 << "3K" << false << "";
    QTest::newRow("v1 address 255") << "003" << 255 << 1 << "3K" << false << "";
    QTest::newRow("v1 address 256") << "003" << 256 << 1 << "3K" << false << "from 0 to 255";
    QTest::newRow("protocol 3") << "003" << 3 << 3 << "3K" << false << "1 or 2";
    QTest::newRow("unknown rating") << "003" << 3 << 2 << "7K" << false << "7K";
    QTest::newRow("rating without a table") << "003" << 3 << 2 << "2K" << false << "2K";
}

void TestDeviceStore::whatADeviceMayBe()
{
    QFETCH(QString, id);
    QFETCH(int, address);
    QFETCH(int, protocol);
    QFETCH(QString, rating);
    QFETCH(bool, editing);
    QFETCH(QString, problem);
    inEnglish();
    const QList<DeviceRecord> line{device(QStringLiteral("001"), 1), device(QStringLiteral("002"), 7)};
    const QStringList ratings{QStringLiteral("3K"), QStringLiteral("5K")};
    const QString found = deviceProblem(device(id, address, protocol, rating), line, ratings, editing);
    if (problem.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.contains(problem), qPrintable(found));
}

void TestDeviceStore::addCopiesTheFactoryRowsInOneWrite()
{
    TestHome home;
    QSignalSpy changed(&stationBus(), &StationBus::devicesChanged);
    QString error;
    DeviceRecord second = device(QStringLiteral("002"), 2, 2, QStringLiteral("5K"));
    second.enabled = false;
    QVERIFY2(addDevice(second, &error), qPrintable(error));
    QCOMPARE(count("select count(*) from paraset where DEVID='002'"), count("select count(*) from paraset_5K"));
    QCOMPARE(count("select count(*) from (select PARAID, PARACODE, RANGEU, BOUNDU from paraset where DEVID='002' "
                   "except select PARAID, PARACODE, RANGEU, BOUNDU from paraset_5K)"),
             0);
    QCOMPARE(count("select count(*) from paraset where DEVID='001'"), 30);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(busIds(), QStringList({"001", "002"}));
    QCOMPARE(stationBus().device(QStringLiteral("002"))->enabled, false);
    const auto stored = loadDevices();
    QVERIFY(stored);
    QCOMPARE(stored->at(1).rating, QStringLiteral("5K"));
    QCOMPARE(stored->at(1).enabled, false);

    // The same address again is refused before anything is written.
    QVERIFY(!addDevice(device(QStringLiteral("003"), 2), &error));
    QVERIFY2(error.contains(QLatin1String("002")), qPrintable(error));
    QCOMPARE(count("select count(*) from devices"), 2);

    // A Modbus TCP gateway carries protocol 2 only.
    sysSettings.LineAddress = QStringLiteral("modbus-tcp://127.0.0.1:502");
    QVERIFY(!addDevice(device(QStringLiteral("003"), 3, 1), &error));
    QVERIFY2(error.contains(QLatin1String("protocol 2")), qPrintable(error));
    sysSettings.LineAddress.clear();
    QCOMPARE(count("select count(*) from devices"), 2);

    // A copy that fails half-way takes the device row with it.
    exec("create trigger stop_copy before insert on paraset when new.DEVID='003' and new.PARAID=29 "
         "begin select raise(abort, 'disk full'); end");
    QVERIFY(!addDevice(device(QStringLiteral("003"), 3), &error));
    QVERIFY2(error.contains(QLatin1String("disk full")), qPrintable(error));
    QCOMPARE(count("select count(*) from devices where id='003'"), 0);
    QCOMPARE(count("select count(*) from paraset where DEVID='003'"), 0);
    QCOMPARE(changed.count(), 1);

    // An empty factory table offers no rating.
    exec("delete from paraset_2K5");
    QVERIFY(!factoryRatings().contains(QStringLiteral("2K5")));
    QVERIFY(!addDevice(device(QStringLiteral("004"), 4, 2, QStringLiteral("2K5")), &error));
    QCOMPARE(count("select count(*) from devices"), 2);
}

void TestDeviceStore::editKeepsTheParameterRows()
{
    TestHome home;
    QString error;
    QVERIFY2(addDevice(device(QStringLiteral("002"), 2), &error), qPrintable(error));
    exec("update paraset set RANGEU=260 where DEVID='002' and PARAID=2");
    DeviceRecord edited = device(QStringLiteral("002"), 200, 1, QStringLiteral("5K"));
    edited.name = QStringLiteral("  Roof west ");
    QVERIFY2(editDevice(edited, &error), qPrintable(error));
    const auto stored = loadDevices();
    QVERIFY(stored && stored->size() == 2);
    QCOMPARE(stored->at(1).name, QStringLiteral("Roof west"));
    QCOMPARE(stored->at(1).address, 200);
    QCOMPARE(stored->at(1).protocol, 1);
    QCOMPARE(stationBus().device(QStringLiteral("002"))->address, 200);
    QCOMPARE(count("select count(*) from paraset where DEVID='002' and RANGEU=260"), 1);
}

void TestDeviceStore::removeKeepsOrPurgesTheRecords()
{
    TestHome home;
    inEnglish();
    QString error;
    auto addSecond = [&] {
        QVERIFY2(addDevice(device(QStringLiteral("002"), 2), &error), qPrintable(error));
        exec("insert into eventlog (devid, eventname, logtime, mailsent) values ('002', 'lost', '2026-06-01 10:00:00', 0)");
        exec("insert into histyield (devid, day, energy) values ('002', '2026-06-01', 12.5)");
    };
    exec("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', 'lost', '2026-06-01 10:00:00', 0)");
    exec("insert into histyield (devid, day, energy) values ('001', '2026-06-01', 10)");
    addSecond();
    QVERIFY2(removeDevice(QStringLiteral("002"), false, &error), qPrintable(error));
    QCOMPARE(count("select count(*) from devices where id='002'"), 0);
    QCOMPARE(count("select count(*) from paraset where DEVID='002'"), 0);
    QCOMPARE(count("select count(*) from eventlog where devid='002'"), 1);
    QCOMPARE(count("select count(*) from histyield where devid='002'"), 1);
    QCOMPARE(busIds(), QStringList({"001"}));

    exec("delete from eventlog where devid='002'");
    exec("delete from histyield where devid='002'");
    addSecond();
    QVERIFY2(removeDevice(QStringLiteral("002"), true, &error), qPrintable(error));
    QCOMPARE(count("select count(*) from eventlog where devid='002'"), 0);
    QCOMPARE(count("select count(*) from histyield where devid='002'"), 0);
    QCOMPARE(count("select count(*) from eventlog where devid='001'"), 1);
    QCOMPARE(count("select count(*) from histyield where devid='001'"), 1);
    QCOMPARE(count("select count(*) from paraset where DEVID='001'"), 30);

    // The last device stays, and a device not there is reported.
    QVERIFY(!removeDevice(QStringLiteral("001"), true, &error));
    QVERIFY2(error.contains(QLatin1String("last")), qPrintable(error));
    QCOMPARE(count("select count(*) from devices where id='001'"), 1);
    QCOMPARE(count("select count(*) from eventlog where devid='001'"), 1);
    QVERIFY(!removeDevice(QStringLiteral("005"), false, &error));
    QVERIFY2(error.contains(QLatin1String("005")), qPrintable(error));
}

void TestDeviceStore::devicesWithoutParameterRowsGetThem()
{
    TestHome home;
    exec("insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION) "
         "values ('004', 'East', 4, '2K5', '1', '2')");
    // A rating without a factory table falls back to the start-up's 3K.
    exec("insert into devices (id, devname, devaddr, DEVPOWER, TOTALPOWER, DEVCOMVERSION) "
         "values ('005', 'West', 5, 'XYZ', '1', '2')");
    const QStringList messages = ensureParameterRows();
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages[0].contains(QLatin1String("004")) && messages[0].contains(QLatin1String("2K5")),
             qPrintable(messages[0]));
    QVERIFY2(messages[1].contains(QLatin1String("005")) && messages[1].contains(QLatin1String("3K")),
             qPrintable(messages[1]));
    QCOMPARE(count("select count(*) from paraset where DEVID='004'"), count("select count(*) from paraset_2K5"));
    QCOMPARE(count("select count(*) from paraset where DEVID='005'"), 30);
    QCOMPARE(count("select count(*) from paraset where DEVID='001'"), 30);
    QVERIFY(ensureParameterRows().isEmpty());

    // No factory table to take them from: reported, nothing else happens.
    exec("insert into devices (id, devname, devaddr, DEVPOWER) values ('006', 'North', 6, '3K')");
    exec("delete from paraset_3K");
    const QStringList missing = ensureParameterRows();
    QCOMPARE(missing.size(), 1);
    QVERIFY2(missing[0].contains(QLatin1String("006")), qPrintable(missing[0]));
    QCOMPARE(count("select count(*) from paraset where DEVID='006'"), 0);
}

void TestDeviceStore::oldDatabaseGetsTheEnabledColumn()
{
    TestHome home;
    exec("alter table devices drop column enabled");
    const auto before = loadDevices();
    QVERIFY(before && before->size() == 1 && before->at(0).enabled);
    upgradeSchema();
    upgradeSchema();
    QCOMPARE(count("select count(*) from devices where enabled=1"), 1);
    QString error;
    DeviceRecord first = before->at(0);
    first.enabled = false;
    QVERIFY2(editDevice(first, &error), qPrintable(error));
    QCOMPARE(count("select count(*) from devices where enabled=0"), 1);
}

QTEST_GUILESS_MAIN(TestDeviceStore)
#include "tst_device_store.moc"
