// The mail service against a real SMTP server on a loopback port: one mail
// for gathered events, mailsent only for what the server accepted and stored
// while another program holds the database, a refused recipient among
// accepted ones, a refused login, a backlog a late server receives oldest
// first, and the test mail of the settings page.
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "mail/mail_service.h"
#include "test_receivers.h"
#include "test_support.h"
#include "ui/dialogs/mail_settings_page.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// Holds the database's write lock from another process until told to let go.
const char *const databaseHolder = R"PY(
import sqlite3, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN EXCLUSIVE")
print("held", flush=True)
sys.stdin.readline()
db.execute("COMMIT")
)PY";

MailTiming quickTiming(int gatherMs = 400)
{
    MailTiming t;
    t.gatherMs = gatherMs;
    t.startMs = 0;
    t.retryFirstMs = 200;
    t.retryMaxMs = 400;
    t.markRetryFirstMs = 200;
    t.markRetryMaxMs = 400;
    return t;
}

QMap<QString, int> mailsentByText()
{
    QMap<QString, int> out;
    const auto rows = rsSqlGet(QStringLiteral("select eventname, mailsent from eventlog"));
    for (int i = 0; i < rows->recordCount(); ++i)
        out.insert(rows->text(i, QStringLiteral("eventname")), rows->value(i, QStringLiteral("mailsent")).toInt());
    return out;
}

void storeEventAt(const QString &text, const QDateTime &when)
{
    QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', ?, ?, 0)"),
                    {text, when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))}));
}

} // namespace

class TestMailService : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void gatheredEventsGoOutAsOneMail();
    void markingWaitsForAHeldDatabaseOffTheStationsThread();
    void refusedRecipientDoesNotStopTheOthers();
    void refusedLoginMarksNothing();
    void lateServerGetsTheBacklogOldestFirst();
    void testMailShowsTheServersAnswer();

private:
    void configure(int port, const QString &user = {}, const QString &password = {});
    std::unique_ptr<ServiceCase> m_case;
};

void TestMailService::initTestCase()
{
    isolateUserSettings();
    if (python().isEmpty())
        QSKIP("python3-aiosmtpd is not installed (scripts/install-deps.sh)");
}

void TestMailService::init()
{
    m_case = std::make_unique<ServiceCase>(LANGUAGE_CHINESE);
    QVERIFY(m_case->ready());
}

void TestMailService::cleanup()
{
    m_case.reset();
}

void TestMailService::configure(int port, const QString &user, const QString &password)
{
    sysSettings.MailEnabled = 1;
    sysSettings.MailServeraddr = QStringLiteral("127.0.0.1:%1").arg(port);
    sysSettings.MailAddr = QStringLiteral("ops@example.com; chief@example.org");
    sysSettings.MailSender = QStringLiteral("station@example.com");
    sysSettings.MailUser = user;
    sysSettings.MailPassword = password;
    sysSettings.MailSecurity = MAIL_SECURITY_NONE;
    DeviceRecord device;
    device.name = QStringLiteral("逆变器一号");
    stationBus().publishDevices({DeviceInfo(device)});
    QVERIFY(saveSystemSettings());
}

void TestMailService::gatheredEventsGoOutAsOneMail()
{
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    configure(port);
    // Storing an event syncs the disk and lets the event loop run: the window
    // is wide enough for the four below whatever the disk.
    MailService service(quickTiming(1500));
    service.start();
    QTest::qWait(20); // the start's look at the (empty) backlog

    const QString fault = QStringLiteral("交流电压=262 ") + langText(QStringLiteral("frmMain"), QStringLiteral("msgOutLimit"))
        + QStringLiteral(" (180|250)");
    const QString lost = langText(QStringLiteral("frmMain"), QStringLiteral("msgConnFail0"));
    // A plant of two: each event names its device.
    stationBus().publishDevices({{QStringLiteral("001"), QStringLiteral("逆变器一号"), 1, 2, QStringLiteral("3K"), true},
                                 {QStringLiteral("002"), QStringLiteral("West"), 2, 2, QStringLiteral("3K"), true}});
    logEvent(fault, QStringLiteral("001"), QString(), true);
    logEvent(QStringLiteral("*trace text"), QStringLiteral("001"), QString(), true);
    logEvent(QStringLiteral("Device Parameters Error!"), QStringLiteral("001"), QString(), true);
    logEvent(lost, QStringLiteral("002"), QString(), true);

    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 1, 10000);
    QTest::qWait(2000); // longer than a gathering window: no second mail
    QCOMPARE(server.messages().size(), 1);
    const QJsonObject m = server.messages().first();
    QCOMPARE(m.value("subject").toString(),
             QStringLiteral("[逆变器一号 (001), West (002)] ") + fault + QStringLiteral(" (+1)"));
    QCOMPARE(m.value("mail_from").toString(), QStringLiteral("station@example.com"));
    QCOMPARE(m.value("rcpt_tos").toVariant().toStringList(), (QStringList{"ops@example.com", "chief@example.org"}));
    QCOMPARE(m.value("charset").toString(), QStringLiteral("utf-8"));
    QVERIFY(m.value("from").toString().endsWith(QStringLiteral("<station@example.com>")));
    QVERIFY(!m.value("date").toString().isEmpty());
    const QString body = m.value("body").toString();
    QVERIFY2(body.contains(QStringLiteral("  逆变器一号 (001): ") + fault)
                 && body.contains(QStringLiteral("  West (002): ") + lost),
             qPrintable(body));
    QVERIFY(body.indexOf(fault) < body.indexOf(lost));
    QVERIFY(!body.contains(QStringLiteral("trace text")) && !body.contains(QStringLiteral("Device Parameters")));

    QTRY_COMPARE(mailsentByText().value(lost), MAILSENT_ACCEPTED);
    const auto flags = mailsentByText();
    QCOMPARE(flags.value(fault), MAILSENT_ACCEPTED);
    QCOMPARE(flags.value(QStringLiteral("*trace text")), 0);
    QCOMPARE(flags.value(QStringLiteral("Device Parameters Error!")), 0);
    QVERIFY(service.lastAnswer().startsWith(QStringLiteral("250")));
}

void TestMailService::markingWaitsForAHeldDatabaseOffTheStationsThread()
{
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    configure(port);
    const QString outLimit = langText(QStringLiteral("frmMain"), QStringLiteral("msgOutLimit"));
    const QString first = QStringLiteral("Vdc=610 ") + outLimit + QStringLiteral(" (100|600)");
    storeEventAt(first, QDateTime::currentDateTime().addSecs(-30));

    QProcess holder;
    holder.start(python(), {QStringLiteral("-c"), QString::fromLatin1(databaseHolder), databasePath()});
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

    // The station's thread keeps running while the marks wait.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(20);
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestGap = qMax(longestGap, sinceTick.restart());
    });
    sinceTick.start();
    ticker.start();
    MailService service(quickTiming());
    service.start();
    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(runningLogText().contains(QStringLiteral("mailsent not stored")), 10000);
    QCOMPARE(mailsentByText().value(first), 0);
    holder.write("\n");
    QVERIFY(holder.waitForFinished(5000));
    ticker.stop();
    QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    QTRY_COMPARE_WITH_TIMEOUT(mailsentByText().value(first), MAILSENT_ACCEPTED, 10000);

    // The next mail carries only what is new.
    const QString second = QStringLiteral("Temp=91 ") + outLimit + QStringLiteral(" (0|85)");
    logEvent(second, QStringLiteral("001"), QString(), true);
    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 2, 10000);
    const QString body = server.messages().last().value("body").toString();
    QVERIFY2(body.contains(second) && !body.contains(first), qPrintable(body));
}

void TestMailService::refusedRecipientDoesNotStopTheOthers()
{
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    configure(port);
    sysSettings.MailAddr = QStringLiteral("ops@example.com; nobody@example.com; chief@example.org");
    QVERIFY(saveSystemSettings());
    MailService service(quickTiming());
    service.start();
    const QString resumed = langText(QStringLiteral("frmMain"), QStringLiteral("msgConnResumed"));
    logEvent(resumed, QStringLiteral("001"), QString(), true);

    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 1, 10000);
    QCOMPARE(server.messages().first().value("rcpt_tos").toVariant().toStringList(),
             (QStringList{"ops@example.com", "chief@example.org"}));
    QTRY_COMPARE(mailsentByText().value(resumed), MAILSENT_ACCEPTED);
    // The server's own reply to RCPT names the refused one, not its goodbye.
    const QString refusal = langText(QStringLiteral("Application"), QStringLiteral("msgMailRefused"))
        + QStringLiteral(" nobody@example.com (550 5.1.1 <nobody@example.com>: Recipient address rejected)");
    QVERIFY2(service.lastAnswer().contains(refusal), qPrintable(service.lastAnswer()));
    QVERIFY(runningLogText().contains(refusal));
    QVERIFY(runningLogText().contains(langText(QStringLiteral("Application"), QStringLiteral("msgMailSent")).arg(1).trimmed()
                                      + QStringLiteral(" 250 ")));
    QVERIFY(!runningLogText().contains(QStringLiteral("221")));
    QTest::qWait(1000); // longer than a retry: the accepted mail is not sent again
    QCOMPARE(server.messages().size(), 1);

    // The test mail names the refused one too; every recipient refused is
    // nothing sent, and the reason is the refusal.
    sysSettings.MailEnabled = 0;
    MailSettingsPage page;
    page.load();
    auto *recipients = page.findChild<QLineEdit *>(QStringLiteral("txtMailRecipients"));
    auto *test = page.findChild<QPushButton *>(QStringLiteral("cmdTestMail"));
    const QString ok = langText(QStringLiteral("pageMail"), QStringLiteral("msgTestOk"));
    const QString failed = langText(QStringLiteral("pageMail"), QStringLiteral("msgTestFailed"));
    for (const auto &[to, outcome] : {std::pair{QStringLiteral("ops@example.com, nobody@example.com"), ok},
                                      std::pair{QStringLiteral("nobody@example.com"), failed}}) {
        recipients->setText(to);
        test->click();
        QTRY_VERIFY_WITH_TIMEOUT(test->isEnabled(), 10000);
        const QString answer = page.answerLabel()->text();
        QVERIFY2(answer.startsWith(outcome) && answer.contains(QStringLiteral("550 5.1.1 <nobody@example.com>"))
                     && !answer.contains(QStringLiteral("221")),
                 qPrintable(answer));
    }
    QCOMPARE(server.messages().size(), 2);
}

void TestMailService::refusedLoginMarksNothing()
{
    const int port = freePort();
    SmtpServer server(port, true);
    QVERIFY(server.waitReady());
    const QString password = QStringLiteral("s3cret-Pw");
    configure(port, QStringLiteral("ops"), password);
    MailService service(quickTiming());
    service.start();
    const QString resumed = langText(QStringLiteral("frmMain"), QStringLiteral("msgConnResumed"));
    logEvent(resumed, QStringLiteral("001"), QString(), true);

    QTRY_VERIFY_WITH_TIMEOUT(service.sends() >= 2, 10000); // refused, then retried
    QVERIFY2(service.lastAnswer().contains(QStringLiteral("535")), qPrintable(service.lastAnswer()));
    QCOMPARE(mailsentByText().value(resumed), 0);
    QVERIFY(server.messages().isEmpty());
    QVERIFY(runningLogText().contains(service.lastAnswer()));
    QVERIFY(!runningLogText().contains(password));
    QVERIFY(!runningLogText().contains(QString::fromLatin1(password.toUtf8().toBase64())));
}

void TestMailService::lateServerGetsTheBacklogOldestFirst()
{
    const int port = freePort();
    configure(port);
    const QString outLimit = langText(QStringLiteral("frmMain"), QStringLiteral("msgOutLimit"));
    const QDateTime now = QDateTime::currentDateTime();
    // Stored out of time order, as a clock set back would leave them.
    const QString newer = QStringLiteral("Vdc=610 ") + outLimit + QStringLiteral(" (100|600)");
    const QString older = QStringLiteral("Temp=91 ") + outLimit + QStringLiteral(" (0|85)");
    const QString stale = QStringLiteral("Iac=30 ") + outLimit + QStringLiteral(" (0|20)");
    storeEventAt(newer, now.addSecs(-60));
    storeEventAt(older, now.addSecs(-3600));
    storeEventAt(stale, now.addSecs(-25 * 3600));

    MailService service(quickTiming());
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(service.sends() >= 1, 5000);
    QTRY_VERIFY(!service.lastAnswer().isEmpty());
    QCOMPARE(mailsentByText().value(newer), 0);

    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    QTRY_COMPARE_WITH_TIMEOUT(server.messages().size(), 1, 10000);
    const QString body = server.messages().first().value("body").toString();
    QVERIFY2(body.indexOf(older) >= 0 && body.indexOf(older) < body.indexOf(newer), qPrintable(body));
    QVERIFY(!body.contains(stale));
    QVERIFY(body.contains(langText(QStringLiteral("Application"), QStringLiteral("msgMailLeftOut")).arg(1).arg(24)));
    QTRY_COMPARE(mailsentByText().value(stale), MAILSENT_LEFT_OUT);
    QCOMPARE(mailsentByText().value(older), MAILSENT_ACCEPTED);
    QCOMPARE(mailsentByText().value(newer), MAILSENT_ACCEPTED);
}

void TestMailService::testMailShowsTheServersAnswer()
{
    const int port = freePort();
    SmtpServer server(port, false);
    QVERIFY(server.waitReady());
    configure(port);
    sysSettings.MailEnabled = 0; // the test mail does not need alerts on
    MailSettingsPage page;
    page.load();
    page.findChild<QLineEdit *>(QStringLiteral("txtMailRecipients"))->setText(QStringLiteral("bad address"));
    page.findChild<QPushButton *>(QStringLiteral("cmdTestMail"))->click();
    QVERIFY(page.answerLabel()->text().contains(QStringLiteral("bad address")));

    page.findChild<QLineEdit *>(QStringLiteral("txtMailRecipients"))->setText(QStringLiteral("ops@example.com"));
    page.findChild<QPushButton *>(QStringLiteral("cmdTestMail"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(page.answerLabel()->text().contains(QStringLiteral("250")), 10000);
    QCOMPARE(server.messages().size(), 1);
    QCOMPARE(server.messages().first().value("subject").toString(),
             langText(QStringLiteral("pageMail"), QStringLiteral("msgTestSubject")));

    // A port nobody listens on: the answer says so, and the dialog lives on.
    page.findChild<QLineEdit *>(QStringLiteral("txtMailServer"))->setText(QStringLiteral("127.0.0.1:%1").arg(freePort()));
    page.findChild<QPushButton *>(QStringLiteral("cmdTestMail"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(page.answerLabel()->text().startsWith(langText(QStringLiteral("pageMail"),
                                                                            QStringLiteral("msgTestFailed"))),
                             10000);
}

QTEST_MAIN(TestMailService)
#include "tst_mail_service.moc"
