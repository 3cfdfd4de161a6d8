// The per-user autostart entry the station writes and removes.
#include "core/session_autostart.h"
#include "test_support.h"

#include <QFile>
#include <QSettings>
#include <QtTest>

using namespace vantoro;

class TestSessionAutostart : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void entryIsWrittenAndRemoved();
};

void TestSessionAutostart::entryIsWrittenAndRemoved()
{
    QVERIFY(autostartEntryPath().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    QVERIFY(!startsWithSession());
    // A path with a blank and the characters a desktop entry reserves.
    QVERIFY(setStartWithSession(true, nullptr, QStringLiteral("/opt/my station/$bin/vantoro")));
    QVERIFY(startsWithSession());
    QFile file(autostartEntryPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray entry = file.readAll();
    QVERIFY2(entry.contains("\nExec=\"/opt/my station/\\$bin/vantoro\"\n"), entry.constData());
    QVERIFY(entry.startsWith("[Desktop Entry]\n"));

    QVERIFY(setStartWithSession(false));
    QVERIFY(!startsWithSession());
    QVERIFY(setStartWithSession(false));
}

QTEST_GUILESS_MAIN(TestSessionAutostart)
#include "tst_session_autostart.moc"
