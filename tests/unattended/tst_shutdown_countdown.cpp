// The unattended automatic shutdown: the launcher starts when the count runs
// out, once, and never after a cancel (stopping the service).
#include "unattended/console_log.h"
#include "unattended/shutdown_countdown.h"
#include "events/auto_shutdown.h"
#include "test_support.h"

#include <QtTest>

using namespace vantoro;

class TestShutdownCountdown : public QObject
{
    Q_OBJECT

private slots:
    void runsOutOnceAndCancels();
    void consoleLinesCarryTheirLevelOnOneLine();
};

void TestShutdownCountdown::runsOutOnceAndCancels()
{
    int shutdowns = 0;
    ShutdownCountdown countdown([&shutdowns] { ++shutdowns; }, 1);
    countdown.start();
    QCOMPARE(countdown.secondsLeft(), SHUTDOWN_COUNTDOWN_SECONDS);
    QTRY_COMPARE_WITH_TIMEOUT(shutdowns, 1, 5000);
    QVERIFY(!countdown.counting());
    QTest::qWait(50);
    QCOMPARE(shutdowns, 1);

    countdown.start();
    QTRY_VERIFY(countdown.secondsLeft() < SHUTDOWN_COUNTDOWN_SECONDS);
    const int left = countdown.secondsLeft();
    countdown.start();   // a second under-voltage edge does not restart the count
    QVERIFY(countdown.secondsLeft() <= left);
    countdown.cancel();
    QTest::qWait(200);
    QCOMPARE(shutdowns, 1);
}

void TestShutdownCountdown::consoleLinesCarryTheirLevelOnOneLine()
{
    QCOMPARE(consoleLine(LogLevel::Warning, QStringLiteral("a\r\nb")), QStringLiteral("WARN   a | b"));
    QCOMPARE(consoleLine(LogLevel::Error, QStringLiteral("x")), QStringLiteral("ERROR  x"));
    // An event the database refused is lost: never a debug line.
    QCOMPARE(runningLogLevel(QStringLiteral("[2026-12-09 10:00:00] *Event not stored (readonly): Fault")),
             LogLevel::Error);
    QCOMPARE(runningLogLevel(QStringLiteral("[2026-12-09 10:00:00] *System up.")), LogLevel::Debug);
}

QTEST_GUILESS_MAIN(TestShutdownCountdown)
#include "tst_shutdown_countdown.moc"
