// Alarm acknowledgement and the staleness of displayed values.
#include "events/alarm_acknowledge.h"
#include "events/stale_values.h"

#include <QTest>

using namespace vantoro;

class TestAlarmAcknowledge : public QObject
{
    Q_OBJECT
private slots:
    void acknowledgedFaultsStaySilentWhileValuesMove();
    void newFaultOrLostLinkSoundsAgain();
    void clearedFaultIsForgotten();
    void staleness_data();
    void staleness();
};

void TestAlarmAcknowledge::acknowledgedFaultsStaySilentWhileValuesMove()
{
    AlarmAcknowledgement ack;
    QVERIFY(!ack.silences({{}, false}));
    const AlarmState now{{QStringLiteral("Vac=262 out (180|250)"), QStringLiteral("Fan=stop, abnormal")}, false};
    QVERIFY(!ack.silences(now));
    QCOMPARE(ack.acknowledge(now), (QStringList{"Vac", "Fan"}));
    QVERIFY(ack.acknowledge(now).isEmpty()); // nothing new: nothing to log
    // The value in the entry changes every cycle; the fault is the same.
    const AlarmState later{{QStringLiteral("Vac=265 out (180|250)"), QStringLiteral("Fan=stop, abnormal")}, false};
    ack.update(later);
    QVERIFY(ack.silences(later));
}

void TestAlarmAcknowledge::newFaultOrLostLinkSoundsAgain()
{
    AlarmAcknowledgement ack;
    ack.acknowledge({{QStringLiteral("Vac=262 out")}, false});
    QVERIFY(!ack.silences({{QStringLiteral("Vac=262 out"), QStringLiteral("Temp=90 out")}, false}));
    QVERIFY(!ack.silences({{QStringLiteral("Vac=262 out")}, true}));
    QCOMPARE(ack.acknowledge({{QStringLiteral("Vac=262 out")}, true}), QStringList{"link"});
    QVERIFY(ack.silences({{QStringLiteral("Vac=262 out")}, true}));
    // The link came back and went again: a new loss.
    ack.update({{QStringLiteral("Vac=262 out")}, false});
    QVERIFY(!ack.silences({{QStringLiteral("Vac=262 out")}, true}));
}

void TestAlarmAcknowledge::clearedFaultIsForgotten()
{
    AlarmAcknowledgement ack;
    ack.acknowledge({{QStringLiteral("Vac=262 out"), QStringLiteral("Temp=90 out")}, false});
    ack.update({{QStringLiteral("Temp=91 out")}, false});
    QVERIFY(!ack.silences({{QStringLiteral("Vac=263 out"), QStringLiteral("Temp=91 out")}, false}));
    ack.update({{}, false});
    QVERIFY(ack.isEmpty());
}

void TestAlarmAcknowledge::staleness_data()
{
    QTest::addColumn<int>("ageMs");
    QTest::addColumn<bool>("linkUp");
    QTest::addColumn<bool>("polling");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<qint64>("ageSeconds");
    // Interval 3000 ms: stale after 9 s.
    QTest::newRow("fresh") << 2000 << true << true << false << qint64(2);
    QTest::newRow("three intervals exactly") << 9000 << true << true << false << qint64(9);
    QTest::newRow("past three intervals") << 9001 << true << true << true << qint64(9);
    QTest::newRow("link down") << 1000 << false << true << true << qint64(1);
    QTest::newRow("polling off") << 1000 << true << false << true << qint64(1);
    QTest::newRow("clock set back") << -5000 << true << true << false << qint64(0);
    QTest::newRow("12 minutes") << 12 * 60000 << true << true << true << qint64(720);
}

void TestAlarmAcknowledge::staleness()
{
    QFETCH(int, ageMs);
    QFETCH(bool, linkUp);
    QFETCH(bool, polling);
    const QDateTime now(QDate(2026, 12, 9), QTime(12, 0));
    const Staleness s = valueStaleness(now.addMSecs(-ageMs), now, 3000, linkUp, polling);
    QTEST(s.stale, "stale");
    QTEST(s.ageSeconds, "ageSeconds");
}

QTEST_APPLESS_MAIN(TestAlarmAcknowledge)
#include "tst_alarm_acknowledge.moc"
