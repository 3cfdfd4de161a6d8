// The database held by another process while the station writes an event or
// its parameter values: a short hold is waited out, a hold beyond the busy
// timeout fails with a message and writes nothing, and the station writes
// again once the file is free.
#include "fault_support.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "events/event_log.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The table of the station's one device, as the poll path keeps it.
ParamTable stationTable;
const QString stationDevice = QString::fromLatin1(PARAM_DEVICE_ID);

constexpr int SHORT_HOLD_MS = 800;
constexpr int LONG_HOLD_MS = 20000; // ended by a kill once the station gave up
const QString otherProgramsEvent = QStringLiteral("written by another program");

void setAllValues(const QString &value)
{
    for (ParamRecord &p : stationTable)
        p.paravalue = value;
}

} // namespace

class TestDatabaseLocked : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void eventWaitsOutAShortHold();
    void eventFailsCleanlyBeyondTheBusyTimeout();
    void paramValuesWaitOutAShortHold();
    void paramValuesFailCleanlyBeyondTheBusyTimeout();

private:
    std::unique_ptr<QProcess> lockDatabase(int holdMs);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<StatusCapture> m_status;
};

void TestDatabaseLocked::initTestCase()
{
    isolateUserSettings();
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    m_status = std::make_unique<StatusCapture>();
    QVERIFY(loadSystemSettings());
    QVERIFY(loadParamTable(stationTable, stationDevice));
}

void TestDatabaseLocked::init()
{
    resetEventThrottle();
    m_status->texts.clear();
    m_messages->texts.clear();
}

std::unique_ptr<QProcess> TestDatabaseLocked::lockDatabase(int holdMs)
{
    return startHelper({QStringLiteral("lock"), databasePath(), QString::number(holdMs)}, "LOCKED");
}

void TestDatabaseLocked::eventWaitsOutAShortHold()
{
    auto locker = lockDatabase(SHORT_HOLD_MS);
    QVERIFY(locker);
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(logEvent(QStringLiteral("event after a short hold"), QStringLiteral("001"), {}, true),
             qPrintable(m_status->all()));
    QVERIFY(clock.elapsed() >= SHORT_HOLD_MS / 2);
    QVERIFY(helperEndedCleanly(*locker));
    const QStringList events = storedEventNames();
    QVERIFY(events.contains(otherProgramsEvent));
    QVERIFY(events.contains(QStringLiteral("event after a short hold")));
}

void TestDatabaseLocked::eventFailsCleanlyBeyondTheBusyTimeout()
{
    const int before = int(storedEventNames().size());
    auto locker = lockDatabase(LONG_HOLD_MS);
    QVERIFY(locker);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!logEvent(QStringLiteral("event while locked"), QStringLiteral("001"), {}, true));
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= DATABASE_BUSY_TIMEOUT_MS - 200 && waited < DATABASE_BUSY_TIMEOUT_MS + 3000,
             qPrintable(QString::number(waited)));
    // The operator sees the event and why it was not stored; no box stops the station.
    const QStringList notStored = m_status->containing(QStringLiteral("*Event not stored"));
    QCOMPARE(notStored.size(), 1);
    QVERIFY2(notStored[0].contains(QStringLiteral("locked")) && notStored[0].endsWith(QStringLiteral("event while locked")),
             qPrintable(notStored[0]));
    QVERIFY(m_messages->texts.isEmpty());

    // The other program dies holding the lock: its row is gone with it.
    killHelper(*locker);
    QCOMPARE(integrityCheck(), QStringLiteral("ok"));
    QCOMPARE(storedEventNames().size(), before);
    QVERIFY(logEvent(QStringLiteral("event once free"), QStringLiteral("001"), {}, true));
    QCOMPARE(storedEventNames().mid(before), QStringList{QStringLiteral("event once free")});
}

void TestDatabaseLocked::paramValuesWaitOutAShortHold()
{
    setAllValues(QStringLiteral("after a short hold"));
    auto locker = lockDatabase(SHORT_HOLD_MS);
    QVERIFY(locker);
    // The other program's write changes the file while the station waits.
    QVERIFY2(saveParamValues(stationTable, stationDevice), qPrintable(m_status->all()));
    QVERIFY(helperEndedCleanly(*locker));
    QCOMPARE(storedParamValues(), QStringList(PARAM_SLOTS, QStringLiteral("after a short hold")));
    QVERIFY(storedEventNames().contains(otherProgramsEvent));
}

void TestDatabaseLocked::paramValuesFailCleanlyBeyondTheBusyTimeout()
{
    setAllValues(QStringLiteral("stored before"));
    QVERIFY(saveParamValues(stationTable, stationDevice));
    setAllValues(QStringLiteral("never stored"));
    auto locker = lockDatabase(LONG_HOLD_MS);
    QVERIFY(locker);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!saveParamValues(stationTable, stationDevice));
    QVERIFY(clock.elapsed() >= DATABASE_BUSY_TIMEOUT_MS - 200);
    const QStringList notSaved = m_status->containing(QStringLiteral("Parameter values not saved"));
    QCOMPARE(notSaved.size(), 1);
    QVERIFY2(notSaved[0].contains(QStringLiteral("locked")), qPrintable(notSaved[0]));
    QVERIFY(m_messages->texts.isEmpty());

    killHelper(*locker);
    QCOMPARE(integrityCheck(), QStringLiteral("ok"));
    QCOMPARE(storedParamValues(), QStringList(PARAM_SLOTS, QStringLiteral("stored before")));
    // The values are still in memory and are stored on the next save.
    QVERIFY(saveParamValues(stationTable, stationDevice));
    QCOMPARE(storedParamValues(), QStringList(PARAM_SLOTS, QStringLiteral("never stored")));
}

QTEST_GUILESS_MAIN(TestDatabaseLocked)
#include "tst_database_locked.moc"
