// Mail wording and checks: encoded headers, addresses, server address, and
// which stored events go out.
#include "core/localisation.h"
#include "core/system_settings.h"
#include "mail/mail_events.h"
#include "mail/mail_message.h"
#include "test_support.h"

#include <QTimeZone>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestMailMessage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void longChineseSubjectSplitsOnCharacters();
    void headersAndBodyAreSevenBit();
    void headerLinesKeepTheLimitAndNoControls();
    void recipientsAndAddresses();
    void serverAddressWithDefaultPorts();
    void mailEventsInEitherLanguage();
    void alertNamesEachEventsDevice();
};

void TestMailMessage::longChineseSubjectSplitsOnCharacters()
{
    // 3-byte characters do not divide the 45-byte chunk evenly at every
    // offset: a leading ASCII letter shifts them.
    const QString subject = QStringLiteral("A") + QString(40, QChar(0x6545)) + QStringLiteral(" 交流电压超限");
    const QByteArray encoded = encodeHeaderText(subject);
    QByteArray decoded;
    for (const QByteArray &line : encoded.split('\n')) {
        const QByteArray word = line.trimmed();
        QVERIFY2(word.size() <= 75, word.constData());
        QVERIFY(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
        const QByteArray chunk = QByteArray::fromBase64(word.mid(10, word.size() - 12));
        QVERIFY2(QString::fromUtf8(chunk).toUtf8() == chunk, "a word ends inside a character");
        decoded += chunk;
    }
    QCOMPARE(QString::fromUtf8(decoded), subject);
    QCOMPARE(encodeHeaderText(QStringLiteral("[INV] plain")), QByteArray("[INV] plain"));
    QVERIFY(encodeHeaderText(QStringLiteral("looks =?like?= a word")).startsWith("=?UTF-8?B?"));
}

void TestMailMessage::headersAndBodyAreSevenBit()
{
    MailMessage m;
    m.fromName = QStringLiteral("站");
    m.from = QStringLiteral("station@example.com");
    m.to = {QStringLiteral("a@example.com"), QStringLiteral("b@example.com")};
    m.subject = QStringLiteral("故障");
    m.body = QStringLiteral("交流电压=262\r\n");
    m.date = QDateTime(QDate(2026, 12, 9), QTime(7, 5, 3), QTimeZone(3600));
    const QByteArray raw = composeMessage(m);
    for (const char c : raw)
        QVERIFY(quint8(c) < 0x80);
    QVERIFY(raw.contains("\r\nDate: Wed, 09 Dec 2026 07:05:03 +0100\r\n") || raw.startsWith("Date: Wed, 09 Dec 2026 07:05:03 +0100\r\n"));
    QVERIFY(raw.contains("Message-ID: <") && raw.contains("@example.com>\r\n"));
    QVERIFY(raw.contains("To: a@example.com,\r\n b@example.com\r\n"));
    const qsizetype bodyStart = raw.indexOf("\r\n\r\n") + 4;
    QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(raw.mid(bodyStart))), m.body);
}

void TestMailMessage::headerLinesKeepTheLimitAndNoControls()
{
    MailMessage m;
    m.fromName = QString(30, QChar(0x7AD9)) + QStringLiteral("\r\n");
    m.from = QStringLiteral("station@example.com");
    m.to = {QStringLiteral("a@example.com")};
    // A device name with a line break, as a hand-edited database can hold.
    m.subject = QStringLiteral("[逆变器\r\n一号] ") + QString(40, QChar(0x6545));
    m.date = QDateTime(QDate(2026, 12, 9), QTime(7, 5, 3), QTimeZone(3600));
    const QByteArray raw = composeMessage(m);
    const QList<QByteArray> lines = raw.left(raw.indexOf("\r\n\r\n")).split('\n');
    QByteArray subject;
    bool inSubject = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        QVERIFY2(line.endsWith('\r') || i == lines.size() - 1, line.constData());
        line.chop(line.endsWith('\r') ? 1 : 0);
        QVERIFY2(!line.contains('\r'), line.constData());
        if (line.contains("=?"))
            QVERIFY2(line.size() <= 76, line.constData());
        // Each line starts a header or continues one: nothing split off.
        QVERIFY2(line.startsWith(' ') || line.contains(": "), line.constData());
        if (!line.startsWith(' '))
            inSubject = line.startsWith("Subject: ");
        if (inSubject) {
            const QByteArray word = line.mid(line.indexOf("=?")).trimmed();
            QVERIFY(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
            subject += QByteArray::fromBase64(word.mid(10, word.size() - 12));
        }
    }
    QCOMPARE(QString::fromUtf8(subject), QStringLiteral("[逆变器一号] ") + QString(40, QChar(0x6545)));
    QCOMPARE(encodeHeaderText(QStringLiteral("plain\r\nBcc: x@example.com\t")), QByteArray("plainBcc: x@example.com"));
    // A name too long to leave room for a word starts them on the next line.
    QVERIFY(encodeHeaderText(QStringLiteral("故障"), 70).startsWith("\r\n =?UTF-8?B?"));
}

void TestMailMessage::recipientsAndAddresses()
{
    QCOMPARE(splitRecipients(QStringLiteral(" a@x.org; b@y.cn ,,c@z.com ;")),
             (QStringList{"a@x.org", "b@y.cn", "c@z.com"}));
    QCOMPARE(invalidRecipients(QStringLiteral("a@x.org; not an address, b@, @c.org, d@e..f, ok.name+tag@sub.example.com")),
             (QStringList{"not an address", "b@", "@c.org", "d@e..f"}));
    QVERIFY(!isMailAddress(QStringLiteral("a@x.org\r\nRCPT TO:<evil@x.org>")));
}

void TestMailMessage::serverAddressWithDefaultPorts()
{
    QCOMPARE(parseServerAddress(QStringLiteral("mail.example.com"), MAIL_SECURITY_NONE).port, 25);
    QCOMPARE(parseServerAddress(QStringLiteral("mail.example.com"), MAIL_SECURITY_STARTTLS).port, 587);
    QCOMPARE(parseServerAddress(QStringLiteral("mail.example.com"), MAIL_SECURITY_TLS).port, 465);
    const ServerAddress v6 = parseServerAddress(QStringLiteral("[::1]:2525"), MAIL_SECURITY_NONE);
    QVERIFY(v6.valid);
    QCOMPARE(v6.host, QStringLiteral("::1"));
    QCOMPARE(v6.port, 2525);
    for (const char *bad : {"", "host:0", "host:65536", "host:", "ho st", "smtp://host", "host:25/x"})
        QVERIFY2(!parseServerAddress(QString::fromLatin1(bad), MAIL_SECURITY_NONE).valid, bad);
}

void TestMailMessage::mailEventsInEitherLanguage()
{
    TestHome home;
    for (int language : {LANGUAGE_CHINESE, LANGUAGE_ENGLISH}) {
        const QString outLimit = langText(QStringLiteral("frmMain"), QStringLiteral("msgOutLimit"), language);
        const QString status = langText(QStringLiteral("frmMain"), QStringLiteral("msgStatusError"), language);
        QVERIFY(isMailEvent(QStringLiteral("Vac=262 ") + outLimit + QStringLiteral(" (180|250)")));
        QVERIFY(isMailEvent(QStringLiteral("Fan=fault") + status + QStringLiteral("; Vac=1 ") + outLimit));
        QVERIFY(isMailEvent(langText(QStringLiteral("frmMain"), QStringLiteral("msgConnFail"), language)
                            + QStringLiteral("3)")));
        QVERIFY(isMailEvent(langText(QStringLiteral("frmMain"), QStringLiteral("msgConnResumed"), language)));
        QVERIFY(isMailEvent(langText(QStringLiteral("Application"), QStringLiteral("msgUncleanStop"), language)));
        QVERIFY(isMailEvent(langText(QStringLiteral("Application"), QStringLiteral("msgShutdownCountdown"), language)));
        // Acknowledging names the faults but is the operator's own act.
        QVERIFY(!isMailEvent(langText(QStringLiteral("frmMain"), QStringLiteral("msgAlarmAcknowledged"), language)
                             + QStringLiteral("Vac")));
    }
    QVERIFY(isMailEvent(QStringLiteral("Power meter is not synchronized .")));
    QVERIFY(!isMailEvent(QStringLiteral("*findhead:port closed!")));
    QVERIFY(!isMailEvent(QStringLiteral("*") + langText(QStringLiteral("frmMain"), QStringLiteral("msgConnResumed"))));
    QVERIFY(!isMailEvent(QStringLiteral("Device Parameters Error!")));
}

void TestMailMessage::alertNamesEachEventsDevice()
{
    const QList<DeviceInfo> devices{{QStringLiteral("001"), QStringLiteral("Roof"), 1, 2, QStringLiteral("3K"), true},
                                    {QStringLiteral("002"), QStringLiteral("  "), 2, 2, QStringLiteral("3K"), true},
                                    {QStringLiteral("003"), QStringLiteral("Shed"), 3, 2, QStringLiteral("5K"), true}};
    const QDateTime at(QDate(2026, 6, 1), QTime(12, 0));
    // A device without a name, one no longer on the line, one of the station.
    const QList<MailEvent> events{{1, at, QStringLiteral("a"), QStringLiteral("002")},
                                  {2, at, QStringLiteral("b"), QStringLiteral("009")},
                                  {3, at, QStringLiteral("c"), QString()},
                                  {4, at, QStringLiteral("d"), QStringLiteral("001")},
                                  {5, at, QStringLiteral("e"), QStringLiteral("002")}};
    const AlertContent alert = composeAlert(events, 0, devices);
    QCOMPARE(alert.subject, QStringLiteral("[002, 009, Vantoro +1] a (+4)"));
    QVERIFY2(alert.body.contains(QStringLiteral("12:00:00  Roof (001): d\r\n")), qPrintable(alert.body));
    QVERIFY(alert.body.contains(QStringLiteral("12:00:00  009: b\r\n")));
    QCOMPARE(composeAlert(events.mid(3, 1), 0, devices).subject, QStringLiteral("[Roof (001)] d"));
}

QTEST_MAIN(TestMailMessage)
#include "tst_mail_message.moc"
