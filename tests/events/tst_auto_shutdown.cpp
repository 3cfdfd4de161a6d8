// The shutdown launcher beside the program, the orderly shutdown (with a
// recording starter: nothing is ever started) and the under-voltage trigger.
#include "core/common.h"
#include "core/database.h"
#include "core/process_starter.h"
#include "events/auto_shutdown.h"
#include "test_support.h"

#include <QFile>
#include <QProcess>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

struct Started {
    QString program;
    QStringList arguments;
};

ParamTable tableWithStatus(quint16 status, int dcuvSlot = 15)
{
    ParamTable table;
    for (int slot = 0; slot < PARAM_SLOTS; ++slot) {
        table[size_t(slot)].devid = QStringLiteral("001");
        table[size_t(slot)].paraid = QString::number(slot);
    }
    table[size_t(dcuvSlot)].paracode = QStringLiteral("DCUV");
    table[10].paravalue = int(status);
    return table;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAutoShutdown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();
    void launcherWrittenWhenMissing();
    void existingLauncherLeftAlone();
    void failedShutdownKeepsTheStationRunning();
    void shutdownStartsLauncherWithArguments();
    void triggerOpensOncePerRisingEdge();
    void triggerWaitsForTheSwitch();
    void triggerFollowsTheDcuvRow();

private:
    std::unique_ptr<TestHome> m_home;
    QList<Started> m_started;
};

void TestAutoShutdown::init()
{
    m_home = std::make_unique<TestHome>(false);
    m_started.clear();
    setProcessStarter([this](const QString &program, const QStringList &arguments) {
        m_started.append({program, arguments});
        return true;
    });
    quitRequested = false;
}

void TestAutoShutdown::cleanup()
{
    setProcessStarter({});
    quitRequested = false;
    m_home.reset();
}

void TestAutoShutdown::launcherWrittenWhenMissing()
{
    const QString path = m_home->file(powerOffFileName());
    QVERIFY(!QFile::exists(path));
    QVERIFY(extractPowerOff());
    QVERIFY(QFile::exists(path));
    const QByteArray written = fileBytes(path);
    QCOMPARE(written, powerOffLauncher());
#ifdef Q_OS_WIN
    QVERIFY(written.contains("shutdown.exe /s /t"));
#else
    QVERIFY(written.startsWith("#!/bin/sh"));
    QVERIFY(QFile::permissions(path) & QFile::ExeOwner);
    // Parsed only (-n runs nothing): a syntax slip would show only at the
    // one moment the launcher matters.
    QProcess shell;
    shell.start(QStringLiteral("sh"), {QStringLiteral("-n"), path});
    QVERIFY(shell.waitForFinished(5000));
    QCOMPARE(shell.exitCode(), 0);
#endif
}

void TestAutoShutdown::existingLauncherLeftAlone()
{
    // Another spelling of the name is the same file.
    const QString other = m_home->file(powerOffFileName().toUpper());
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("somebody else's tool");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));

    QVERIFY(extractPowerOff());
    QCOMPARE(fileBytes(other), QByteArray("somebody else's tool"));
#ifndef Q_OS_WIN
    QVERIFY(!QFile::exists(m_home->file(powerOffFileName())));
    // Without its run bit it could never start: it is written again.
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(extractPowerOff());
    QCOMPARE(fileBytes(other), powerOffLauncher());
    QVERIFY(QFile::permissions(other) & QFile::ExeOwner);
#endif
    QCOMPARE(powerOffPath(), other);
}

// A launcher that does not start leaves the station watching, and says so.
void TestAutoShutdown::failedShutdownKeepsTheStationRunning()
{
    m_home->copyDefault(QStringLiteral("vantoro.db"));
    MessageRecorder messages;
    setProcessStarter([](const QString &, const QStringList &) { return false; });
    QVERIFY(!shutdownWindows());
    QVERIFY(!quitRequested);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts[0].contains(powerOffFileName()));
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog"));
    QCOMPARE(rows->recordCount(), 1);
    QCOMPARE(rows->text(0, "eventname"), messages.texts[0]);
}

void TestAutoShutdown::shutdownStartsLauncherWithArguments()
{
    QVERIFY(shutdownWindows());
    QVERIFY(quitRequested);
    QCOMPARE(m_started.size(), 1);
    QCOMPARE(m_started.first().program, m_home->file(powerOffFileName()));
    QString comment = QStringLiteral("\r\n from Vantoro:\r\n\r\n由于UPS原因\r\n为了保护数据,系统即将自行关闭. ");
#ifdef Q_OS_WIN
    comment.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
#endif
    const QStringList expected{QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("13"), QStringLiteral("-c"),
                               comment};
    QCOMPARE(m_started.first().arguments, expected);
    // The launcher it starts is there, even when it had gone missing.
    QVERIFY(QFile::exists(m_started.first().program));
}

void TestAutoShutdown::triggerOpensOncePerRisingEdge()
{
    const quint16 underVoltage = 0x0002; // bit 1 = row 15
    UnderVoltageTrigger trigger;
    QVERIFY(!trigger.update(tableWithStatus(0x0001), true));
    QVERIFY(trigger.update(tableWithStatus(underVoltage | 0x0001), true));
    QVERIFY(!trigger.update(tableWithStatus(underVoltage), true));
    QVERIFY(!trigger.update(tableWithStatus(underVoltage), true));
    QVERIFY(!trigger.update(tableWithStatus(0x0000), true));
    QVERIFY(trigger.update(tableWithStatus(underVoltage), true));
}

void TestAutoShutdown::triggerWaitsForTheSwitch()
{
    UnderVoltageTrigger trigger;
    QVERIFY(!trigger.update(tableWithStatus(0x0002), false));
    QVERIFY(!trigger.update(tableWithStatus(0x0002), false));
    // Switched on while the under-voltage lasts: once.
    QVERIFY(trigger.update(tableWithStatus(0x0002), true));
    QVERIFY(!trigger.update(tableWithStatus(0x0002), true));
}

void TestAutoShutdown::triggerFollowsTheDcuvRow()
{
    // The bit is found by the row's code, not by a fixed position.
    QVERIFY(UnderVoltageTrigger::underVoltage(tableWithStatus(0x0040, 20)));
    QVERIFY(!UnderVoltageTrigger::underVoltage(tableWithStatus(0x0002, 20)));

    ParamTable noDcuv = tableWithStatus(0xFFFF);
    noDcuv[15].paracode = QStringLiteral("OTHER");
    UnderVoltageTrigger trigger;
    QVERIFY(!trigger.update(noDcuv, true));

    // The table as the station loads it: a status word stored as text.
    ParamTable loaded = tableWithStatus(0);
    loaded[10].paravalue = QStringLiteral("2");
    QVERIFY(UnderVoltageTrigger::underVoltage(loaded));
}

QTEST_GUILESS_MAIN(TestAutoShutdown)
#include "tst_auto_shutdown.moc"
