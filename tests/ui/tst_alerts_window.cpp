// The main window's alerts: acknowledging silences the tone until a new
// fault, stale values grey the views with the reply age in the status bar,
// the broker's and mail server's states keep panels of their own there,
// and a device asleep at night alarms nobody.
#include "acquisition/fake_serial_port.h"
#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "test_support.h"
#include "plant/line.h"
#include "ui/main/frm_main.h"
#include "ui/main/main_alerts.h"
#include "ui/main/main_views.h"
#include "ui/main/state_view.h"
#include "ui/controls/state_diagram.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QToolBar>

using namespace vantoro;
using namespace vantoro::test;

class TestAlertsWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();
    void acknowledgeSilencesUntilANewFault();
    void staleValuesGreyTheViews();
    void serviceStatesKeepTheirPanels();
    void aSleepingDeviceIsGreyAndSilent();

private:
    std::unique_ptr<frmMain> makeWindow();
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TestAlertsWindow::init()
{
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    QSettings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("Vantoro"), QStringLiteral("Vantoro")).clear();
    quitRequested = false;
    QVERIFY(loadSystemSettings());
    QVERIFY(loadDevices()); // the window loads its line's devices and tables
    resetEventThrottle();
}

void TestAlertsWindow::cleanup()
{
    m_messages.reset();
    quitRequested = false;
}

std::unique_ptr<frmMain> TestAlertsWindow::makeWindow()
{
    auto window = std::make_unique<frmMain>(nullptr, std::make_unique<FakeSerialPort>());
    window->show();
    QTest::qWait(20);
    // The values the tests set stand for what the device sent.
    if (window->device())
        markValuesReceived(window->device()->table());
    return window;
}

void TestAlertsWindow::acknowledgeSilencesUntilANewFault()
{
    auto w = makeWindow();
    QAction *ack = w->alerts()->acknowledgeAction();
    QVERIFY(w->findChild<QToolBar *>(QStringLiteral("Tb1"))->actions().contains(ack));
    QVERIFY(w->findChild<QMenu *>(QStringLiteral("mnuSys"))->actions().contains(ack));
    QCOMPARE(ack->text(), langText(QStringLiteral("frmMain"), QStringLiteral("mnuAckAlarm")));
    QLabel *status = w->findChild<QLabel *>(QStringLiteral("panel_status"));
    QLabel *faults = w->alerts()->faultsPanel();

    for (ParamRecord &p : w->device()->table()) {
        if (p.rangel && p.rangeu)
            p.paravalue = (*p.rangel + *p.rangeu) / 2;
    }
    w->device()->table()[15].paravalue = w->device()->table()[15].srcstring;
    // Nothing alarms: the bell shows no tick, and acknowledging says so.
    w->refreshDisplay();
    QCOMPARE(w->alerts()->bellState(), BellState::Quiet);
    QVERIFY(faults->isHidden());
    ack->trigger();
    QCOMPARE(status->text(), langText(QStringLiteral("frmMain"), QStringLiteral("msgNothingToAcknowledge")));

    w->device()->table()[15].founderror = 1;
    w->refreshDisplay();
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);
    QCOMPARE(w->alerts()->bellState(), BellState::Due);
    QVERIFY(!stationBus().acknowledged(QStringLiteral("001")));
    QVERIFY(!faults->isHidden());
    QVERIFY2(faults->text().contains(w->device()->table()[15].paraname), qPrintable(faults->text()));

    ack->trigger();
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 1);
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble_red"));
    QCOMPARE(w->alerts()->bellState(), BellState::Acknowledged);
    // Served to a fleet's Prometheus as vantoro_alarm_acknowledged.
    QVERIFY(stationBus().acknowledged(QStringLiteral("001")));
    const QString acknowledged = langText(QStringLiteral("frmMain"), QStringLiteral("msgAlarmAcknowledged")) + QLatin1Char(' ')
        + w->device()->table()[15].paraname;
    QCOMPARE(status->text(), acknowledged);
    QVERIFY(ack->toolTip().contains(w->device()->table()[15].paraname));
    // Still present, so still shown until it clears.
    QVERIFY(!faults->isHidden());
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid desc limit 1"));
    QCOMPARE(rows->text(0, "eventname"), acknowledged);

    // A second parameter leaves its limits: a fault not acknowledged.
    ParamRecord *numeric = nullptr;
    for (ParamRecord &p : w->device()->table()) {
        if (p.enabled && p.warningenabled && p.isstring == 0 && p.rangeu && !numeric)
            numeric = &p;
    }
    QVERIFY(numeric);
    numeric->paravalue = *numeric->rangeu + 10;
    w->refreshDisplay();
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 2);
    QCOMPARE(w->alerts()->bellState(), BellState::Due);
    QVERIFY(!stationBus().acknowledged(QStringLiteral("001")));
    QVERIFY2(faults->text().contains(langText(QStringLiteral("frmMain"), QStringLiteral("msgMoreFaults")).arg(1)),
             qPrintable(faults->text()));
}

void TestAlertsWindow::staleValuesGreyTheViews()
{
    auto w = makeWindow();
    MainViews *views = w->views();
    QLabel *age = w->alerts()->lastReplyPanel();
    sysSettings.PauseSeconds = 3;
    w->device()->link().linkOk = 1;
    w->timerReloadData().start(600000); // polling on, no tick during the test
    CycleReport report;
    report.deviceId = w->device()->id();
    report.linkUp = true;
    report.polling = true;
    report.lastReplyTime = QDateTime::currentDateTime();
    w->device()->link().lastGoodReplyTime = report.lastReplyTime; // what the cycle left
    stationBus().publishCycle(report);
    QVERIFY(!w->alerts()->valuesStale());
    QVERIFY(!views->picState()->graphicsEffect());
    QVERIFY(age->isHidden());

    report.lastReplyTime = QDateTime::currentDateTime().addSecs(-12 * 60 - 5);

    w->device()->link().lastGoodReplyTime = report.lastReplyTime; // what the cycle left
    stationBus().publishCycle(report);
    QVERIFY(w->alerts()->valuesStale());
    for (QWidget *view : {views->picState(), views->grid(), views->picMeter()})
        QVERIFY(view->graphicsEffect());
    QVERIFY(!age->isHidden());
    QCOMPARE(age->text(), langText(QStringLiteral("frmMain"), QStringLiteral("msgLastReplyMin")).arg(12));

    report.lastReplyTime = QDateTime::currentDateTime();

    w->device()->link().lastGoodReplyTime = report.lastReplyTime; // what the cycle left
    stationBus().publishCycle(report);
    QVERIFY(!views->picState()->graphicsEffect());
    w->device()->link().linkOk = 0;
    w->alerts()->refreshStaleness();
    QVERIFY(views->grid()->graphicsEffect());
    w->device()->link().linkOk = 1;
    w->timerReloadData().stop();
    w->alerts()->refreshStaleness();
    QVERIFY(views->picMeter()->graphicsEffect());
    QCOMPARE(age->text(), langText(QStringLiteral("frmMain"), QStringLiteral("msgLastReplySec")).arg(0));
}

void TestAlertsWindow::serviceStatesKeepTheirPanels()
{
    stationBus().publishServiceState(QStringLiteral("mqtt"), QString());
    stationBus().publishServiceState(QStringLiteral("mail"), QStringLiteral("Mail with 2 events sent: 250 OK"));
    stationBus().publishServiceState(QStringLiteral("notices"), QString());
    auto w = makeWindow();
    auto *mqtt = w->findChild<QLabel *>(QStringLiteral("panel_mqtt"));
    auto *mail = w->findChild<QLabel *>(QStringLiteral("panel_mail"));
    auto *notices = w->findChild<QLabel *>(QStringLiteral("panel_notices"));
    QVERIFY(mqtt && mail && notices);
    QVERIFY(notices->isHidden()); // every channel well
    QVERIFY(mqtt->isHidden()); // publishing off
    QCOMPARE(mail->text(), QStringLiteral("Mail with 2 events sent: 250 OK")); // told before the window opened

    const QString failed = QStringLiteral("MQTT: cannot connect to 127.0.0.1:1883: the broker did not answer within 30 s");
    stationBus().publishServiceState(QStringLiteral("mqtt"), failed);
    // The next poll's status lines pass by in the status text, not here.
    logStatus(QStringLiteral("Querying data ..."));
    logStatus(QStringLiteral("Data received."));
    QVERIFY(!mqtt->isHidden());
    QCOMPARE(mqtt->toolTip(), failed);
    QVERIFY(mqtt->text() == failed || failed.startsWith(mqtt->text().chopped(1)));
    QVERIFY(!mail->isHidden());
    const QString refused = QStringLiteral("Notice to ntfy://ntfy.sh/x not sent: HTTP 429");
    stationBus().publishServiceState(QStringLiteral("notices"), refused);
    QVERIFY(!notices->isHidden());
    QCOMPARE(notices->toolTip(), refused);
}

void TestAlertsWindow::aSleepingDeviceIsGreyAndSilent()
{
    auto w = makeWindow();
    sysSettings.TimeOut = 0.1f;
    sysSettings.retrytimes = 0;
    sysSettings.Soundenabled = 1;
    auto &port = dynamic_cast<FakeSerialPort &>(w->port());
    DeviceReading night;
    night.words = {2300, 0, 0, 0, 100, 100}; // the grid there, no DC input
    const QByteArray reply = buildReplyV1(quint8(w->device()->record().address), night);
    port.device = [reply](const QByteArray &sent) { return sent.size() == POLL_V1_BYTES ? reply : QByteArray(); };
    w->timerReloadData().start(600000); // polling on, the test drives the ticks
    w->poller().reloadTick();
    QVERIFY(!w->bFoundError); // DC input 0 V is no fault at night
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble_grey"));
    QVERIFY(w->views()->stateView()->diagram()->asleep());

    port.device = nullptr;
    w->poller().reloadTick();
    QCOMPARE(w->device()->link().linkOk, 0);
    QCOMPARE(w->panelImage(QStringLiteral("devState")), QStringLiteral("bulble_grey"));
    w->timerBeepTick();
    QCOMPARE(w->beepCount(), 0);
    QCOMPARE(w->alerts()->lastReplyPanel()->text(), langText(QStringLiteral("frmMain"), QStringLiteral("msgDeviceAsleep")));
    w->timerReloadData().stop();
}

QTEST_MAIN(TestAlertsWindow)
#include "tst_alerts_window.moc"
