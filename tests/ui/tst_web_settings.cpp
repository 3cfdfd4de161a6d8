// The web access page of the system settings dialog: what it saves reaches
// the database, and the running web service follows it without a restart.
#include "test_support.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "ui/dialogs/frm_sys_set.h"
#include "web/web_service.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

using namespace vantoro;

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

int storedInt(const char *column)
{
    const auto rs = rsSqlGet(QStringLiteral("select %1 from sysset where id = 1").arg(QLatin1String(column)));
    return rs && rs->recordCount() > 0 ? rs->rows[0][0].toInt() : -1;
}

} // namespace

class TestWebSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void savingTheDialogMovesTheServer();
};

void TestWebSettings::savingTheDialogMovesTheServer()
{
    test::TestHome home;
    test::MessageRecorder recorder;
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.HttpServerEnabled, WEB_MODE_OFF);
    QCOMPARE(sysSettings.httpport, WEB_DEFAULT_PORT);
    WebService web;
    web.start();
    QVERIFY(!web.listening());

    frmSysSet dialog;
    auto *mode = dialog.findChild<QComboBox *>(QStringLiteral("cmbHttpMode"));
    auto *port = dialog.findChild<QSpinBox *>(QStringLiteral("txtHttpPort"));
    QVERIFY(mode && port);
    QCOMPARE(mode->currentIndex(), WEB_MODE_OFF);
    QVERIFY(!port->isEnabled());

    const quint16 chosen = freePort();
    mode->setCurrentIndex(WEB_MODE_LOOPBACK);
    port->setValue(chosen);
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(storedInt("HttpServerEnabled"), WEB_MODE_LOOPBACK);
    QCOMPARE(storedInt("httpport"), int(chosen));
    QVERIFY(web.listening());
    QCOMPARE(web.port(), chosen);
    QCOMPARE(web.address(), QHostAddress(QHostAddress::LocalHost));
    // The page confirms the save with the address served, as a link.
    auto *address = dialog.findChild<QLabel *>(QStringLiteral("lblHttpAddress"));
    QVERIFY(address);
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(chosen);
    QVERIFY2(address->text().contains(QStringLiteral("<a href=\"%1\">").arg(url)), qPrintable(address->text()));
    QVERIFY(address->text().startsWith(langText(QStringLiteral("webServer"), QStringLiteral("msgSavedAddress")).section(QLatin1Char('%'), 0, 0)));
    // The hint is plain text: no placeholder of it is taken for markup.
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblHttpHint"))->textFormat(), Qt::PlainText);

    mode->setCurrentIndex(WEB_MODE_OFF);
    QVERIFY(dialog.cmdOkClick());
    QVERIFY(!web.listening());
    QCOMPARE(address->text(), langText(QStringLiteral("webServer"), QStringLiteral("msgSavedOff")));
    QVERIFY(recorder.texts.isEmpty());
}

QTEST_MAIN(TestWebSettings)
#include "tst_web_settings.moc"
