// The daily summary: which day falls due (a missed evening, a start that
// never had one, the most recent day only), the summary across a missed
// evening sent once late to a real SMTP server and a notice webhook and
// never twice across restarts, a day the station was off skipped, a 25-hour
// day's asleep and lost minutes, and the settings as the mail page keeps them.
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "history/history_recorder.h"
#include "notices/notice_channels.h"
#include "plant_reports.h"
#include "summary/daily_summary.h"
#include "summary/summary_service.h"
#include "test_receivers.h"
#include "test_support.h"
#include "ui/dialogs/mail_settings_page.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTest>
#include <ctime>

using namespace vantoro;
using namespace vantoro::test;

namespace {

const QDate june10(2026, 6, 10);

SummaryTiming quickTiming()
{
    SummaryTiming t;
    t.startMs = 0;
    t.retryFirstMs = 60 * 1000; // no second try within a test
    t.noticeTimeoutMs = 20 * 1000;
    t.markRetryFirstMs = 200;
    t.markRetryMaxMs = 400;
    return t;
}

DayYield yieldRow(const char *device, const QDate &day, double kwh)
{
    DayYield y;
    y.deviceId = QString::fromLatin1(device);
    y.day = day;
    y.energyKwh = kwh;
    return y;
}

void storeRows(const QList<DayYield> &rows)
{
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &error) {
        for (const DayYield &y : rows) {
            if (!saveDayYield(db, y, error))
                return false;
        }
        return true;
    }));
}

QDate storedDay(const QString &receiver)
{
    QString error;
    return storedSummaryDays(error).value(receiver);
}

// A service started at `now` as the station would be, running until the
// test ends it.
std::unique_ptr<SummaryService> startAt(const QDateTime &now, QList<DayYield> current = {})
{
    auto service = std::make_unique<SummaryService>(quickTiming());
    service->setClock([now] { return now; });
    service->setCurrentDays([current] { return current; });
    service->start();
    return service;
}

class ZoneScope
{
public:
    explicit ZoneScope(const char *zone)
        : m_saved(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneScope()
    {
        m_saved.isNull() ? qunsetenv("TZ") : qputenv("TZ", m_saved);
        tzset();
    }

private:
    QByteArray m_saved;
};

} // namespace

class TestDailySummary : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void dueDay_data();
    void dueDay();
    void missedEveningGoesOnceLateAndNeverTwice();
    void dayTheStationWasOffIsSkipped();
    void longDayCountsItsOwnHoursAsleepAndLost();
    void mailPageKeepsTheSettingsAndRefusesABadTime();

private:
    void configureMail(int port);
    std::unique_ptr<ServiceCase> m_case;
};

void TestDailySummary::initTestCase()
{
    isolateUserSettings();
}

void TestDailySummary::init()
{
    m_case = std::make_unique<ServiceCase>(LANGUAGE_ENGLISH);
    QVERIFY(m_case->ready());
    stationBus().publishDevices({DeviceInfo{QStringLiteral("001"), QStringLiteral("Roof"), 1, 1, QStringLiteral("3K"), true},
                                 DeviceInfo{QStringLiteral("002"), QStringLiteral("Barn"), 2, 1, QStringLiteral("5K"), true}});
}

void TestDailySummary::cleanup()
{
    m_case.reset();
}

void TestDailySummary::configureMail(int port)
{
    sysSettings.MailEnabled = 0; // the summary needs the server, not the alerts
    sysSettings.MailServeraddr = QStringLiteral("127.0.0.1:%1").arg(port);
    sysSettings.MailAddr = QStringLiteral("ops@example.com");
    sysSettings.MailSender = QStringLiteral("station@example.com");
    sysSettings.MailSecurity = MAIL_SECURITY_NONE;
    sysSettings.SummaryTime = QStringLiteral("21:00");
    sysSettings.SummaryMail = 1;
    QVERIFY(saveSystemSettings());
}

void TestDailySummary::dueDay_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDate>("lastSent");
    QTest::addColumn<QDate>("due"); // invalid: none

    const QDate yesterday = june10.addDays(-1);
    auto at = [](int h, int m) { return QDateTime(june10, QTime(h, m)); };
    QTest::newRow("evening, yesterday's sent") << at(21, 0) << yesterday << june10;
    QTest::newRow("a minute early") << at(20, 59) << yesterday << QDate();
    QTest::newRow("today's sent") << at(23, 59) << june10 << QDate();
    QTest::newRow("morning after a missed evening") << at(8, 0) << yesterday.addDays(-1) << yesterday;
    QTest::newRow("morning, last evening's sent") << at(8, 0) << yesterday << QDate();
    QTest::newRow("days missed: the most recent only") << at(8, 0) << june10.addDays(-6) << yesterday;
    QTest::newRow("never had one: not last night's") << at(8, 0) << QDate() << QDate();
    QTest::newRow("never had one: tonight's") << at(21, 30) << QDate() << june10;
}

void TestDailySummary::dueDay()
{
    QFETCH(QDateTime, now);
    QFETCH(QDate, lastSent);
    QFETCH(QDate, due);
    const QDate day = summaryDayAt(now, QTime(21, 0));
    QCOMPARE(summaryDue(day, lastSent, now.date()) ? day : QDate(), due);
}

void TestDailySummary::missedEveningGoesOnceLateAndNeverTwice()
{
    if (python().isEmpty())
        QSKIP("python3-aiosmtpd is not installed (scripts/install-deps.sh)");
    const bool withNotice = !QStandardPaths::findExecutable(QStringLiteral("apprise")).isEmpty();
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    Webhook hook;
    qint64 channel = 0;
    if (withNotice) {
        QVERIFY(saveNoticeChannels({NoticeChannel{0, hook.url(), {}}}));
        channel = storedNoticeChannels().first().id;
        sysSettings.SummaryNotice = 1;
    }
    configureMail(port);
    const QString noticeReceiver = QStringLiteral("notice:%1").arg(channel);

    // The month so far, a day of May that is not in it, and June 10th.
    DayYield roof = yieldRow("001", june10, 12.5);
    roof.peakPowerW = 2900;
    roof.peakTime = QDateTime(june10, QTime(13, 5));
    roof.asleepSeconds = 36000;
    roof.lostSeconds = 900;
    roof.faults = 2;
    DayYield barn = yieldRow("002", june10, 3.25);
    storeRows({yieldRow("001", QDate(2026, 5, 31), 100), yieldRow("001", QDate(2026, 6, 1), 10),
               yieldRow("001", QDate(2026, 6, 5), 18), yieldRow("002", QDate(2026, 6, 5), 5), roof, barn});
    // Last night's went out.
    QString error;
    QVERIFY(storeSummaryDay(QString::fromLatin1(SUMMARY_MAIL_RECEIVER), june10.addDays(-1), QDateTime(june10.addDays(-1), QTime(21, 0)), error));
    QVERIFY(storeSummaryDay(noticeReceiver, june10.addDays(-1), QDateTime(june10.addDays(-1), QTime(21, 0)), error));

    // Off at 20:30, before the summary's time.
    auto evening = startAt(QDateTime(june10, QTime(20, 0)));
    QTest::qWait(300);
    evening.reset();
    QCOMPARE(server.messages().size(), 0);

    // Started next morning: the missed one goes, late.
    auto morning = startAt(QDateTime(june10.addDays(1), QTime(8, 0)));
    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 1, 10000);
    if (withNotice)
        QTRY_COMPARE_WITH_TIMEOUT(hook.posts.size(), 1, 20000);
    QTRY_COMPARE(storedDay(QString::fromLatin1(SUMMARY_MAIL_RECEIVER)), june10);
    if (withNotice)
        QTRY_COMPARE(storedDay(noticeReceiver), june10);
    const QJsonObject m = server.messages().first();
    QCOMPARE(m.value("subject").toString(), QStringLiteral("[Vantoro] Daily summary 2026-06-10: 15.75 kWh"));
    const QStringList lines = m.value("body").toString().remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
    QCOMPARE(lines.value(0), QStringLiteral("Daily summary of 2026-06-10 from Vantoro, sent 2026-06-11 08:00."));
    QCOMPARE(lines.value(2), QStringLiteral("Roof (001): 12.50 kWh, peak 2900 W at 13:05, asleep 600 min, lost 15 min, "
                                            "faults 2, month so far 40.50 kWh"));
    QCOMPARE(lines.value(3), QStringLiteral("Barn (002): 3.25 kWh, no power read, asleep 0 min, lost 0 min, faults 0, "
                                            "month so far 8.25 kWh"));
    QCOMPARE(lines.value(4), QStringLiteral("Total: 15.75 kWh, faults 2, month so far 48.75 kWh"));
    if (withNotice) {
        QCOMPARE(hook.posts.first().value("title").toString(), m.value("subject").toString());
        QVERIFY(hook.posts.first().value("message").toString().contains(QStringLiteral("Total: 15.75 kWh")));
    }

    // A look later that morning, and another start: nothing more.
    morning->check();
    QTest::qWait(300);
    morning.reset();
    auto again = startAt(QDateTime(june10.addDays(1), QTime(9, 30)));
    QTest::qWait(1500);
    QCOMPARE(server.messages().size(), 1);
    QCOMPARE(hook.posts.size(), withNotice ? 1 : 0);
    again.reset();

    // That evening's comes from the recorder's day not written yet.
    auto night = startAt(QDateTime(june10.addDays(1), QTime(21, 0)), {yieldRow("001", june10.addDays(1), 7)});
    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 2, 10000);
    QCOMPARE(server.messages().last().value("subject").toString(), QStringLiteral("[Vantoro] Daily summary 2026-06-11: 7.00 kWh"));
    QVERIFY(server.messages().last().value("body").toString().contains(QStringLiteral("month so far 47.50 kWh")));
    if (withNotice)
        QTRY_COMPARE_WITH_TIMEOUT(hook.posts.size(), 2, 20000);
    QCOMPARE(night->sends(), withNotice ? 2 : 1);
}

void TestDailySummary::dayTheStationWasOffIsSkipped()
{
    if (python().isEmpty())
        QSKIP("python3-aiosmtpd is not installed (scripts/install-deps.sh)");
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    configureMail(port);
    const QDate off = june10.addDays(-1);
    QString error;
    QVERIFY(storeSummaryDay(QString::fromLatin1(SUMMARY_MAIL_RECEIVER), off.addDays(-1), QDateTime(off.addDays(-1), QTime(21, 0)), error));
    // Only the days around it have rows, a sample and an event.
    storeRows({yieldRow("001", off.addDays(-1), 4), yieldRow("001", june10, 1)});
    QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime) values ('001', 'x', ?)"),
                    {QDateTime(june10, QTime(0, 0)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}));
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) {
        return insertSample(db, {off.addDays(1).startOfDay(), {{1, 230}}, QStringLiteral("001")}, e);
    }));

    auto morning = startAt(QDateTime(june10, QTime(8, 0)));
    QTest::qWait(1000);
    QCOMPARE(server.messages().size(), 0);
    QCOMPARE(storedDay(QString::fromLatin1(SUMMARY_MAIL_RECEIVER)), off.addDays(-1));
    morning.reset();

    // Each of the three says the station ran.
    DbConnection connection;
    QSqlDatabase db = connection.database();
    QCOMPARE(stationRanOn(db, off, error), std::optional<bool>(false));
    QCOMPARE(stationRanOn(db, off.addDays(-1), error), std::optional<bool>(true));
    QVERIFY(execSql(QStringLiteral("delete from histyield")));
    QCOMPARE(stationRanOn(db, june10, error), std::optional<bool>(true)); // the sample and the event
    QVERIFY(execSql(QStringLiteral("delete from eventlog")));
    QCOMPARE(stationRanOn(db, june10, error), std::optional<bool>(true)); // the sample at midnight
    QVERIFY(execSql(QStringLiteral("delete from histdata")));
    QCOMPARE(stationRanOn(db, june10, error), std::optional<bool>(false));
}

void TestDailySummary::longDayCountsItsOwnHoursAsleepAndLost()
{
    ZoneScope zone("Europe/Berlin");
    const QDate day(2026, 10, 25); // 25 hours: the clock goes back at 03:00
    QCOMPARE(day.startOfDay().secsTo(day.addDays(1).startOfDay()), qint64(25 * 3600));
    // Asleep before 07:00 and from 19:00, lost 18:00-19:00, replying between;
    // a cycle every five minutes from the evening before.
    PlantDevice roof(stationBus().devices().first());
    double counter = 500;
    {
        HistoryRecorder recorder;
        const qint64 last = day.addDays(1).startOfDay().toSecsSinceEpoch() + 3600;
        for (qint64 t = day.startOfDay().toSecsSinceEpoch() - 3600; t <= last; t += 300) {
            const QDateTime time = QDateTime::fromSecsSinceEpoch(t);
            const int hour = time.time().hour();
            const bool asleep = hour < 7 || hour >= 19;
            roof.linkUp = !asleep && hour != 18;
            roof.powerWatts = time.time() == QTime(12, 30) ? 2300.0 : 1150.0;
            roof.energyKwh = counter;
            CycleReport report = plantReport(roof, time);
            report.asleep = asleep;
            recorder.recordCycle(report);
            if (roof.linkUp)
                counter += 0.1;
        }
        // Without replies in the evening nothing was written since 17:55.
        QVERIFY(recorder.flush());
    }
    QString error;
    DbConnection connection;
    QSqlDatabase db = connection.database();
    const std::optional<DailySummary> summary = loadDailySummary(db, day, stationBus().devices(), {}, error);
    QVERIFY2(summary, qPrintable(error));
    // Asleep 23:55-06:55 (eight hours on this day) and 19:00-23:55; lost
    // 18:00-18:55: a step counts for the state both its ends were in.
    const AlertContent text = composeSummary(*summary, stationBus().devices(), QDateTime(day, QTime(21, 0)));
    QCOMPARE(text.body.split(QLatin1Char('\n')).value(2),
             QStringLiteral("Roof (001): 13.10 kWh, peak 2300 W at 12:30, asleep 775 min, lost 55 min, faults 0, "
                            "month so far 13.10 kWh"));

    // The summary's hour by the wall clock on the switching days.
    QCOMPARE(summaryWaitMs(QDateTime(day.addDays(-1), QTime(21, 0)), QTime(21, 0), qint64(48) * 3600 * 1000),
             qint64(25) * 3600 * 1000);
    const QDate spring(2026, 3, 29);
    QCOMPARE(summaryWaitMs(QDateTime(spring.addDays(-1), QTime(21, 0)), QTime(21, 0), qint64(48) * 3600 * 1000),
             qint64(23) * 3600 * 1000);
    // 02:30 does not exist that night: it is due once the clock has passed it.
    QCOMPARE(summaryDayAt(QDateTime(spring, QTime(1, 59)), QTime(2, 30)), spring.addDays(-1));
    QCOMPARE(summaryDayAt(QDateTime(spring, QTime(3, 0)), QTime(2, 30)), spring);
}

void TestDailySummary::mailPageKeepsTheSettingsAndRefusesABadTime()
{
    MailSettingsPage page;
    page.load();
    auto *time = page.findChild<QLineEdit *>(QStringLiteral("txtSummaryTime"));
    auto *byMail = page.findChild<QCheckBox *>(QStringLiteral("chkSummaryMail"));
    QVERIFY(time && byMail);
    QCOMPARE(time->text(), QStringLiteral("21:00"));
    QVERIFY(!byMail->isChecked());
    for (const char *bad : {"24:00", "21:60", "2100", "9 pm", ""}) {
        time->setText(QString::fromLatin1(bad));
        QVERIFY2(page.validate().contains(QStringLiteral("HH:MM")), bad);
    }
    time->setText(QStringLiteral("7:30"));
    QCOMPARE(page.validate(), QString());
    // By mail wants a server that would work, even with alert mails off.
    byMail->setChecked(true);
    QVERIFY(page.validate().startsWith(QStringLiteral("Daily summary by mail: Mail:")));
    page.findChild<QLineEdit *>(QStringLiteral("txtMailServer"))->setText(QStringLiteral("127.0.0.1"));
    page.findChild<QLineEdit *>(QStringLiteral("txtMailRecipients"))->setText(QStringLiteral("ops@example.com"));
    page.findChild<QLineEdit *>(QStringLiteral("txtMailSender"))->setText(QStringLiteral("station@example.com"));
    QCOMPARE(page.validate(), QString());
    // VANTORO_SUMMARY_SCREENSHOT=file.png keeps a picture of the page.
    if (const QString picture = qEnvironmentVariable("VANTORO_SUMMARY_SCREENSHOT"); !picture.isEmpty()) {
        page.resize(560, 390);
        time->setText(QStringLiteral("21:00"));
        QVERIFY(page.grab().save(picture));
        time->setText(QStringLiteral("7:30"));
    }
    QVERIFY(page.save() && saveSystemSettings());
    sysSettings.SummaryTime.clear();
    sysSettings.SummaryMail = 0;
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.SummaryTime, QStringLiteral("7:30"));
    QCOMPARE(sysSettings.SummaryMail, 1);
    QCOMPARE(sysSettings.SummaryNotice, 0);
}

QTEST_MAIN(TestDailySummary)
#include "tst_daily_summary.moc"
