// The system settings dialog's conversions between settings and field
// texts, and the entries of its port list.
#include "core/sys_set_values.h"
#include "core/user_settings.h"
#include "test_support.h"

#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestSysSetValues : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void lineSettings_data();
    void lineSettings();
    void queryIntervalMustBeANumber_data();
    void queryIntervalMustBeANumber();
    void leadingNumbers_data();
    void leadingNumbers();
    void portListOffersSystemPorts();
};

void TestSysSetValues::lineSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("parity");
    QTest::newRow("even") << "9600,E,8,1" << "9600" << "E";
    QTest::newRow("unknown letter") << "9600,X,8,1" << "9600" << "N";
    QTest::newRow("lower case") << "19200,o,8,1" << "19200" << "O";
    QTest::newRow("mark") << "115200,M,8,1" << "115200" << "M";
    QTest::newRow("short") << "E" << "0" << "E";
    QTest::newRow("empty") << "" << "0" << "N";
}

void TestSysSetValues::lineSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, rate);
    QFETCH(QString, parity);
    QCOMPARE(rateTextFromSettings(settings), rate);
    QCOMPARE(parityFromSettings(settings), parity);
    QCOMPARE(comSettingsText(rate, parity), rate + QLatin1Char(',') + parity + QStringLiteral(",8,1"));
}

void TestSysSetValues::queryIntervalMustBeANumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("number");
    QTest::addColumn<float>("value");
    QTest::newRow("whole") << "3" << true << 3.0f;
    QTest::newRow("fraction") << " 0.5 " << true << 0.5f;
    QTest::newRow("letters") << "abc" << false << 0.0f;
    QTest::newRow("number then letters") << "3s" << false << 0.0f;
    QTest::newRow("empty") << "" << false << 0.0f;
    QTest::newRow("infinite") << "inf" << false << 0.0f;
}

void TestSysSetValues::queryIntervalMustBeANumber()
{
    QFETCH(QString, text);
    QFETCH(bool, number);
    QFETCH(float, value);
    const std::optional<float> interval = queryIntervalFromText(text);
    QCOMPARE(interval.has_value(), number);
    if (number)
        QCOMPARE(*interval, value);
}

void TestSysSetValues::leadingNumbers_data()
{
    // -1 stands for "refused".
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("timeOut");
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("whole");
    QTest::newRow("letters") << "abc" << -1.0f << -1 << 0;
    QTest::newRow("empty") << "" << -1.0f << -1 << 0;
    QTest::newRow("half down to even") << "2500.5" << -1.0f << -1 << 2500;
    QTest::newRow("half up to even") << "2501.5" << -1.0f << -1 << 2502;
    QTest::newRow("with unit") << "3.7 s" << -1.0f << -1 << 4;
    QTest::newRow("negative half") << "-0.5" << -1.0f << 0 << 0;
    QTest::newRow("lowest") << " 0.1 " << 0.1f << 0 << 0;
    QTest::newRow("highest") << "60" << 60.0f << -1 << 60;
    QTest::newRow("ten") << "10.4" << 10.4f << 10 << 10;
    QTest::newRow("below") << "0.09" << -1.0f << 0 << 0;
    QTest::newRow("negative") << "-1" << -1.0f << -1 << -1;
}

void TestSysSetValues::leadingNumbers()
{
    QFETCH(QString, text);
    QFETCH(float, timeOut);
    QFETCH(int, retries);
    QFETCH(int, whole);
    QCOMPARE(timeOutFromText(text).value_or(-1.0f), timeOut);
    QCOMPARE(retriesFromText(text).value_or(-1), retries);
    QCOMPARE(wholeNumberFromText(text), whole);
}

void TestSysSetValues::portListOffersSystemPorts()
{
    setPortDeviceName(2, QStringLiteral("/dev/ttyUSB0"));
    setPortDeviceName(18, QStringLiteral("/dev/ttyACM1"));
    const QList<PortEntry> entries =
        portEntries(3, {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM1"),
                        portDeviceName(5)});
    QCOMPARE(entries.size(), 18);
    for (int i = 0; i < entries.size(); ++i)
        QCOMPARE(entries[i].number, i + 1);
    QCOMPARE(entries[1].device, QStringLiteral("/dev/ttyUSB0"));
    QVERIFY(!entries[1].newMapping);
    QCOMPARE(entries[4].device, portDeviceName(5));
    // Ports behind no number take free numbers; a number already mapped to
    // a present port keeps it.
    QCOMPARE(entries[16].device, QStringLiteral("/dev/ttyACM0"));
    QVERIFY(entries[16].newMapping);
    QCOMPARE(entries[17].device, QStringLiteral("/dev/ttyACM1"));
    QVERIFY(!entries[17].newMapping);
#ifdef Q_OS_WIN
    QCOMPARE(portEntryText(entries[1]), QStringLiteral("Com2  (/dev/ttyUSB0)"));
#else
    QCOMPARE(portEntryText(entries[1]), QStringLiteral("/dev/ttyUSB0"));
#endif

    // A current port past 16 stays on the list.
    QCOMPARE(portEntries(20, {}).size(), 20);
}

QTEST_GUILESS_MAIN(TestSysSetValues)
#include "tst_sys_set_values.moc"
