// The data bytes of the remote control commands and remote settings.
#include "acquisition/remote_commands.h"
#include "test_support.h"

#include <QTest>

using namespace vantoro;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TestRemoteCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void commandBytes_data();
    void commandBytes();
    void bcd_data();
    void bcd();
    void deviceClock_data();
    void deviceClock();
    void wordSettings_data();
    void wordSettings();
    void delayedShutdownWithdrawalIsZero();
    void forcedRun();
};

void TestRemoteCommands::commandBytes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("start") << 0 << hex("CF 00 00 00 00 00 00 00");
    QTest::newRow("stop") << 1 << hex("CE 00 00 00 00 00 00 00");
    // The other commands carry no code of their own.
    for (int i = 2; i < REMOTE_COMMAND_COUNT; ++i)
        QTest::newRow(qPrintable(QStringLiteral("command %1").arg(i))) << i << QByteArray(8, '\0');
    QTest::newRow("nothing selected") << -1 << QByteArray(8, '\0');
}

void TestRemoteCommands::commandBytes()
{
    QFETCH(int, index);
    QFETCH(QByteArray, data);
    QCOMPARE(controlCommandData(index), data);
}

void TestRemoteCommands::bcd_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("coded");
    QTest::newRow("0") << 0 << 0x00;
    QTest::newRow("9") << 9 << 0x09;
    QTest::newRow("10") << 10 << 0x10;
    QTest::newRow("59") << 59 << 0x59;
    QTest::newRow("99") << 99 << 0x99;
    QTest::newRow("hundreds dropped") << 2005 << 0x05;
}

void TestRemoteCommands::bcd()
{
    QFETCH(int, value);
    QFETCH(int, coded);
    QCOMPARE(int(toBcd(value)), coded);
}

void TestRemoteCommands::deviceClock_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("2005-03-07 14:25:59") << QDate(2005, 3, 7) << QTime(14, 25, 59) << hex("59 25 14 07 03 05 20");
    QTest::newRow("new year 2000") << QDate(2000, 1, 1) << QTime(0, 0, 0) << hex("00 00 00 01 01 00 20");
    QTest::newRow("last second of 1999") << QDate(1999, 12, 31) << QTime(23, 59, 59) << hex("59 59 23 31 12 99 19");
}

void TestRemoteCommands::deviceClock()
{
    QFETCH(QDate, date);
    QFETCH(QTime, time);
    QFETCH(QByteArray, data);
    QCOMPARE(deviceClockData(date, time), data);
}

void TestRemoteCommands::wordSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("50") << QStringLiteral("50") << hex("32 00 00 00 00 00 00");
    QTest::newRow("300 s") << QStringLiteral("300") << hex("2C 01 00 00 00 00 00");
    QTest::newRow("blanks and unit") << QStringLiteral(" 60Hz") << hex("3C 00 00 00 00 00 00");
    QTest::newRow("half to even") << QStringLiteral("50.5") << hex("32 00 00 00 00 00 00");
    QTest::newRow("no number") << QStringLiteral("abc") << hex("00 00 00 00 00 00 00");
    QTest::newRow("negative") << QStringLiteral("-5") << hex("00 00 00 00 00 00 00");
    QTest::newRow("above 16 bits") << QStringLiteral("70000") << hex("FF FF 00 00 00 00 00");
}

void TestRemoteCommands::wordSettings()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, data);
    QCOMPARE(outputFrequencyData(text), data);
    QCOMPARE(delayedShutdownData(text, false), data);
}

void TestRemoteCommands::delayedShutdownWithdrawalIsZero()
{
    QCOMPARE(delayedShutdownData(QStringLiteral("300"), true), QByteArray(7, '\0'));
}

void TestRemoteCommands::forcedRun()
{
    QCOMPARE(forcedRunData(true), hex("01 00 00 00 00 00 00"));
    QCOMPARE(forcedRunData(false), QByteArray(7, '\0'));
}

QTEST_GUILESS_MAIN(TestRemoteCommands)
#include "tst_remote_commands.moc"
