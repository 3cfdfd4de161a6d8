// Status messages, the running log and stored events with the 13-minute rule.
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "test_support.h"

#include <QtTest>

using namespace vantoro;

namespace {

class RecordingSink : public StatusSink
{
public:
    void showStatus(const QString &text) override { statuses << text; }
    void runningLogChanged(const QString &line, bool replaced) override
    {
        lines << line;
        replacedFlags << replaced;
    }
    QStringList statuses;
    QStringList lines;
    QList<bool> replacedFlags;
};

struct StoredEvent
{
    QString devid;
    QString eventname;
    QString logtime;
    int mailsent = -1;
};

QList<StoredEvent> storedEvents()
{
    QList<StoredEvent> events;
    const auto rs = rsSqlGet(QStringLiteral("select devid, eventname, logtime, mailsent from eventlog order by rowid"));
    if (!rs)
        return events;
    for (int i = 0; i < rs->recordCount(); ++i)
        events.append({rs->text(i, QStringLiteral("devid")), rs->text(i, QStringLiteral("eventname")),
                       rs->text(i, QStringLiteral("logtime")), rs->value(i, QStringLiteral("mailsent")).toInt()});
    return events;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void unforcedEventsWithinThirteenMinutesAreDropped();
    void forcedEventIsStoredAndRestartsTheWindow();
    void debugModeStoresEveryEvent();
    void clockSetBackEndsTheWindow();
    void eventRowAndLongText();
    void databaseErrorBecomesAStatusMessage();
    void statusWordsChangeOnlyTheStatusBar();
    void lineFormats_data();
    void lineFormats();
    void runningLogIsTrimmed();
    void reportErrorText();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    RecordingSink m_sink;
    QDateTime m_now;
};

void TestEventLog::initTestCase()
{
    test::isolateUserSettings();
    setEventClock([this] { return m_now; });
}

void TestEventLog::init()
{
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    m_sink = RecordingSink();
    setStatusSink(&m_sink);
    resetEventThrottle();
    clearRunningLog();
    m_now = QDateTime(QDate(2024, 3, 10), QTime(10, 0, 0));
}

void TestEventLog::cleanup()
{
    setStatusSink(nullptr);
    m_messages.reset();
    m_home.reset();
}

// Repeats of the last unforced event are dropped for 13 minutes; a
// different fault is stored at once and restarts the window.
void TestEventLog::unforcedEventsWithinThirteenMinutesAreDropped()
{
    QVERIFY(logEvent(QStringLiteral("grid fault")));
    m_now = m_now.addSecs(5 * 60);
    QVERIFY(!logEvent(QStringLiteral("grid fault")));
    QVERIFY(logEvent(QStringLiteral("over temperature")));
    m_now = m_now.addSecs(13 * 60 - 1);
    QVERIFY(!logEvent(QStringLiteral("over temperature")));
    m_now = m_now.addSecs(1);
    QVERIFY(logEvent(QStringLiteral("over temperature")));
    // The same faults with other values: the key says they are one report.
    m_now = m_now.addSecs(60);
    QVERIFY(logEvent(QStringLiteral("VAC=251 out of limit"), QStringLiteral("001"), QStringLiteral("2")));
    QVERIFY(!logEvent(QStringLiteral("VAC=253 out of limit"), QStringLiteral("001"), QStringLiteral("2")));
    QVERIFY(logEvent(QStringLiteral("VAC=252 out of limit; RUN"), QStringLiteral("001"), QStringLiteral("2;15")));

    const auto events = storedEvents();
    QCOMPARE(events.size(), 5);
    QCOMPARE(events[1].eventname, QStringLiteral("over temperature"));
    // A dropped event is not shown either.
    QVERIFY(!runningLogText().contains(QStringLiteral("VAC=253")));
}

void TestEventLog::forcedEventIsStoredAndRestartsTheWindow()
{
    QVERIFY(logEvent(QStringLiteral("fault")));
    m_now = m_now.addSecs(60);
    QVERIFY(logEvent(QStringLiteral("link failed"), QStringLiteral("001"), QString(), true));
    m_now = m_now.addSecs(60);
    QVERIFY(logEvent(QStringLiteral("link resumed"), QStringLiteral("001"), QString(), true));
    // 13 minutes after the first event, but only 11 after the last forced one.
    m_now = m_now.addSecs(11 * 60);
    QVERIFY(!logEvent(QStringLiteral("fault")));
    m_now = m_now.addSecs(2 * 60);
    QVERIFY(logEvent(QStringLiteral("fault")));
    QCOMPARE(storedEvents().size(), 4);
    // A link flap never hides a different fault that follows it.
    QVERIFY(logEvent(QStringLiteral("link failed"), QStringLiteral("001"), QString(), true));
    m_now = m_now.addSecs(5 * 60);
    QVERIFY(logEvent(QStringLiteral("grid fault")));
}

void TestEventLog::debugModeStoresEveryEvent()
{
    sysSettings.debugMode = 1;
    for (int i = 0; i < 3; ++i)
        QVERIFY(logEvent(QStringLiteral("event %1").arg(i)));
    QCOMPARE(storedEvents().size(), 3);
}

void TestEventLog::clockSetBackEndsTheWindow()
{
    QVERIFY(logEvent(QStringLiteral("before the clock was set back")));
    m_now = m_now.addSecs(-3600);
    QVERIFY(logEvent(QStringLiteral("after")));
    m_now = m_now.addSecs(60);
    QVERIFY(!logEvent(QStringLiteral("after")));
}

void TestEventLog::eventRowAndLongText()
{
    QString text;
    for (int i = 0; text.size() < 300; ++i)
        text += QString::number(i % 10);
    m_now = QDateTime(QDate(2024, 3, 10), QTime(9, 5, 7, 890));
    QVERIFY(logEvent(text, QStringLiteral("001"), QStringLiteral("ignored"), true));

    const auto events = storedEvents();
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].devid, QStringLiteral("001"));
    QCOMPARE(events[0].eventname, text.left(255));
    QCOMPARE(events[0].logtime, QStringLiteral("2024-03-10 09:05:07"));
    QCOMPARE(events[0].mailsent, 0);
    // The running log shows the whole text after the system-event prefix.
    QCOMPARE(m_sink.lines.size(), 1);
    QVERIFY(m_sink.lines[0].endsWith(langText(QStringLiteral("Application"), QStringLiteral("SysEvent")) + text));
    QVERIFY(m_sink.lines[0].startsWith(QStringLiteral("[2024-03-10 09:05:07.89] ")));

    // The cut never leaves half of a character that needs two code units.
    const QString wide = QString(254, QLatin1Char('a')) + QString::fromUcs4(U"\U0001F50B") + QStringLiteral("tail");
    m_now = m_now.addSecs(1);
    QVERIFY(logEvent(wide, QStringLiteral("001"), QString(), true));
    QCOMPARE(storedEvents().at(1).eventname, QString(254, QLatin1Char('a')));
}

void TestEventLog::databaseErrorBecomesAStatusMessage()
{
    QVERIFY(execSql(QStringLiteral("alter table eventlog rename to eventlog_away")));
    QVERIFY(!logEvent(QStringLiteral("lost link"), QStringLiteral("001"), QString(), true));
    QVERIFY(!logEvent(QStringLiteral("grid fault")));
    QVERIFY(m_messages->texts.isEmpty());
    QVERIFY(runningLogText().contains(QStringLiteral("lost link")));
    QVERIFY(m_sink.statuses.last().startsWith(QLatin1Char('*')));
    // What was not stored did not arm the 13-minute window.
    QVERIFY(execSql(QStringLiteral("alter table eventlog_away rename to eventlog")));
    m_now = m_now.addSecs(60);
    QVERIFY(logEvent(QStringLiteral("grid fault")));
}

void TestEventLog::statusWordsChangeOnlyTheStatusBar()
{
    for (const QString &text : {QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("状态")})
        logStatus(text);
    logStatus(QStringLiteral("3 of 11"), true);
    QCOMPARE(m_sink.statuses,
             QStringList({QStringLiteral("status"), QStringLiteral("Status"), QStringLiteral("状态"),
                          QStringLiteral("3 of 11")}));
    QVERIFY(m_sink.lines.isEmpty());
    QVERIFY(runningLogText().isEmpty());

    logStatus(QStringLiteral("status ok"));
    QCOMPARE(m_sink.lines.size(), 1);
}

void TestEventLog::lineFormats_data()
{
    QTest::addColumn<int>("debugMode");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("line");
    QTest::newRow("normal") << 0 << QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678))
                            << QStringLiteral("[2024-01-02 03:04:05.67] Link resumed");
    QTest::newRow("debug") << 1 << QDateTime(QDate(2024, 1, 2), QTime(23, 59, 59, 999))
                           << QStringLiteral("[23:59:59.99] Link resumed");
    QTest::newRow("midnight") << 0 << QDateTime(QDate(2024, 1, 3), QTime(0, 0, 0, 5))
                              << QStringLiteral("[2024-01-03 00:00:00.00] Link resumed");
}

void TestEventLog::lineFormats()
{
    QFETCH(int, debugMode);
    QFETCH(QDateTime, when);
    QFETCH(QString, line);
    sysSettings.debugMode = debugMode;
    m_now = when;
    logStatus(QStringLiteral("Link resumed"));
    QCOMPARE(runningLogText(), line + QStringLiteral("\r\n"));
    QCOMPARE(m_sink.lines, QStringList{line});
}

void TestEventLog::runningLogIsTrimmed()
{
    QString log(RUNNING_LOG_LIMIT, QLatin1Char('a'));
    QVERIFY(!appendToRunningLog(log, QStringLiteral("kept whole")));
    QCOMPARE(log.size(), RUNNING_LOG_LIMIT + 12);

    log = QString(RUNNING_LOG_LIMIT - RUNNING_LOG_KEEP + 1, QLatin1Char('x')) + QString(RUNNING_LOG_KEEP, QLatin1Char('k'));
    QCOMPARE(log.size(), 16385);
    QVERIFY(appendToRunningLog(log, QStringLiteral("new")));
    QCOMPARE(log, QString(RUNNING_LOG_KEEP, QLatin1Char('k')) + QStringLiteral("new\r\n"));

    // Through logStatus, the window is told to take the whole text again.
    logStatus(QString(RUNNING_LOG_LIMIT, QLatin1Char('b')));
    QCOMPARE(m_sink.replacedFlags, QList<bool>{false});
    logStatus(QStringLiteral("next"));
    QCOMPARE(m_sink.replacedFlags, QList<bool>({false, true}));
    QCOMPARE(runningLogText().size(), RUNNING_LOG_KEEP + m_sink.lines.last().size() + 2);
    QVERIFY(runningLogText().endsWith(QStringLiteral("] next\r\n")));
}

void TestEventLog::reportErrorText()
{
    reportError(QStringLiteral("Set Communication port com3 "), QStringLiteral("Port not found"), 8002,
                QStringLiteral("Serial"));
    QCOMPARE(m_messages->titles, QStringList{QStringLiteral(" Error ")});
    QCOMPARE(m_messages->texts,
             QStringList{QStringLiteral("Set Communication port com3: Error found # 8002 from Serial\nPort not found")});
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_event_log.moc"
