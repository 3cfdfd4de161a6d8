// The remote control and remote setting dialogs on an in-memory port: the
// bytes on the wire, the busy-port waits, the reply rule and the toggle of
// the delayed shutdown.
#include "acquisition/fake_serial_port.h"
#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "test_support.h"
#include "plant/line.h"
#include "ui/dialogs/frm_remote_control.h"
#include "ui/dialogs/frm_remote_set.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <optional>

using namespace vantoro;
using namespace vantoro::test;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const QByteArray CONTROL_START = hex("01 10 08 00 CF 00 00 00 00 00 00 00 00 FB");
const QByteArray CONTROL_STOP = hex("01 10 08 00 CE 00 00 00 00 00 00 00 C1 37");
const QByteArray CONTROL_ZERO = hex("01 10 08 00 00 00 00 00 00 00 00 00 4C EB");

// The device answering a control frame with its 33-byte reply.
QByteArray answerControl(const QByteArray &sent)
{
    if (sent.size() != CONTROL_START.size() || quint8(sent.at(1)) != FUNCTION_CONTROL)
        return {};
    DeviceReading reading;
    reading.words = {2301, 1002, 3603, 704, 452, 253};
    reading.status = 0x0003;
    return buildReplyV2(1, reading, FUNCTION_CONTROL);
}

} // namespace

class TestRemoteDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();

    void controlFrames_data();
    void controlFrames();
    void stopAsksFirstNamingTheDevice();
    void controlReplyCountedOnlyWhilePolling();
    void busyPortRetriesWithGrowingDots();
    void busyPortGivesUpAfterTheLimit();
    void failedSendIsReportedAloneAndCodesComeFromTheIni();

    void settingFrames_data();
    void settingFrames();
    void delayedShutdownToggles();
    void sentSettingsAreConfirmedShownAndStored();
    void toggleSurvivesRelocalisation();
    void secondPressWhileSendingOnlyBeeps();
    void waitsForThePortWithoutFreezing();
    void portWaitTimesOutAfterFiveSeconds();
    void deviceClockFollowsTheClockUntilEdited();
    void valuesOutOfRangeAreNeverSent();

private:
    frmRemoteControl *controlDialog();

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<Line> m_line;
    FakeSerialPort *m_port = nullptr;   // owned by the line
    Device *m_dev = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    QPointer<frmRemoteControl> m_control;
    int m_refreshes = 0;
};

void TestRemoteDialogs::init()
{
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    // The operator confirms the delayed shutdown unless a test says otherwise.
    m_messages->answer = true;
    QVERIFY(loadSystemSettings());
    sysSettings.languageIndex = LANGUAGE_CHINESE;
    sysSettings.ComSettings = QStringLiteral("9600,N,8,1");
    sysSettings.comport = 1;
    sysSettings.TimeOut = 0.1f;
    quitRequested = false;
    auto port = std::make_unique<FakeSerialPort>();
    m_port = port.get();
    m_line = std::make_unique<Line>(std::move(port));
    // The database's device, spoken to with CRC frames at address 1.
    const auto records = loadDevices();
    QVERIFY(records && !records->isEmpty());
    DeviceRecord record = records->at(0);
    record.protocol = 2;
    record.address = 1;
    m_dev = &m_line->addDevice(record);
    QVERIFY(m_dev->loadTable());
    m_timer = std::make_unique<QTimer>();
    m_poller = std::make_unique<Poller>(*m_line, *m_timer,
                                        PollHooks{{}, {}, {}, [] { return isFormLoaded(QStringLiteral("frmRemote")); }, {}});
    m_refreshes = 0;
}

void TestRemoteDialogs::cleanup()
{
    delete m_control;
    m_poller.reset();
    m_timer.reset();
    m_dev = nullptr;
    m_port = nullptr;
    m_line.reset();
    m_messages.reset();
    m_home.reset();
}

frmRemoteControl *TestRemoteDialogs::controlDialog()
{
    m_control = new frmRemoteControl(*m_poller, m_dev->id(), [this] { ++m_refreshes; });
    m_control->show();
    return m_control;
}

void TestRemoteDialogs::controlFrames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("开机") << 0 << CONTROL_START;
    QTest::newRow("关机") << 1 << CONTROL_STOP;
    QTest::newRow("自检") << 2 << CONTROL_ZERO;
    QTest::newRow("液晶背光测试") << 11 << CONTROL_ZERO;
}

void TestRemoteDialogs::controlFrames()
{
    QFETCH(int, index);
    QFETCH(QByteArray, frame);
    frmRemoteControl *dialog = controlDialog();
    QCOMPARE(dialog->optnCmd(index)->text(), langText(QStringLiteral("frmRemoteControl"),
                                                      QStringLiteral("optnCmd[%1]").arg(index)));
    dialog->optnCmd(index)->setChecked(true);
    QTest::mouseClick(dialog->cmdSend(), Qt::LeftButton);

    // Sent to address 1 whatever the device address; nobody answered.
    QCOMPARE(m_port->written(), frame);
    QCOMPARE(dialog->lblStatus()->text(), QStringLiteral("命令已发送.接收数据不成功."));
    QVERIFY(!m_port->isOpen());
    QCOMPARE(m_refreshes, 1);
    QVERIFY(dialog->cmdSend()->isEnabled());
    QCOMPARE(dialog->waitCount(), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestRemoteDialogs::stopAsksFirstNamingTheDevice()
{
    DeviceRecord named = m_dev->record();
    named.name = QStringLiteral("Roof west");
    m_dev->setRecord(named);
    frmRemoteControl *dialog = controlDialog();
    dialog->optnCmd(1)->setChecked(true);
    m_messages->answer = false;
    dialog->cmdSendClick();
    QCOMPARE(m_messages->questions.size(), 1);
    QVERIFY(m_messages->questions.first().contains(QStringLiteral("Roof west")));
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(dialog->cmdSend()->isEnabled());
    QCOMPARE(dialog->waitCount(), 0);

    // A retry while the port is busy does not ask a second time.
    m_messages->answer = true;
    std::optional<PortExchange> round(std::in_place, *m_port); // a round has the line
    dialog->cmdSendClick();
    round.reset();
    dialog->timerRetry().stop();
    dialog->cmdSendClick();
    QCOMPARE(m_messages->questions.size(), 2);
    QCOMPARE(m_port->written(), CONTROL_STOP);

    // Starting the device asks nothing.
    dialog->optnCmd(0)->setChecked(true);
    dialog->cmdSendClick();
    QCOMPARE(m_messages->questions.size(), 2);
}

void TestRemoteDialogs::controlReplyCountedOnlyWhilePolling()
{
    m_port->device = answerControl;
    frmRemoteControl *dialog = controlDialog();
    QStringList events;
    QObject listening; // ends the connection with the list
    connect(&stationBus(), &StationBus::eventStored, &listening, [&events](const StoredEvent &e) { events << e.text; });

    // Polling off: the device answers, but its reply is not counted.
    m_dev->table()[10].paravalue = 0;
    dialog->cmdSendClick();
    QCOMPARE(dialog->lblStatus()->text(), QStringLiteral("命令已发送.接收数据不成功."));
    QCOMPARE(m_dev->table()[10].number(), 0.0);

    // Polling on: the reply is stored like a poll's.
    m_timer->start(3600 * 1000);
    dialog->cmdSendClick();
    QCOMPARE(dialog->lblStatus()->text(), QStringLiteral("发送遥控命令成功."));
    QCOMPARE(m_dev->table()[10].number(), 3.0);
    QCOMPARE(m_dev->table()[15].text(), m_dev->table()[15].srcstring);
    QCOMPARE(m_refreshes, 2);
    QVERIFY(!m_port->isOpen());
    // Each command sent is on record, with what came of it.
    // Read as sentences, in the interface language, naming the command as the dialog does.
    const QString start = langText(QStringLiteral("frmRemoteControl"), QStringLiteral("optnCmd[0]"));
    QCOMPARE(events, (QStringList{langText(QStringLiteral("remoteEvents"), QStringLiteral("msgCommandNoReply")).arg(start),
                                  langText(QStringLiteral("remoteEvents"), QStringLiteral("msgCommandReplied")).arg(start)}));
}

void TestRemoteDialogs::busyPortRetriesWithGrowingDots()
{
    frmRemoteControl *dialog = controlDialog();
    QCOMPARE(dialog->timerRetry().interval(), REMOTE_RETRY_INTERVAL_MS);
    dialog->timerRetry().setInterval(30);
    std::optional<PortExchange> round(std::in_place, *m_port); // a round has the line

    dialog->cmdSendClick();
    QCOMPARE(dialog->lblStatus()->text(), QStringLiteral("通讯口忙，正在等待 ."));
    QVERIFY(!dialog->cmdSend()->isEnabled());
    const QString busy = QStringLiteral("通讯口忙，正在等待 ");
    QTRY_VERIFY(dialog->lblStatus()->text().size() >= busy.size() + 3);
    QCOMPARE(dialog->lblStatus()->text(), busy + QString(dialog->waitCount(), QLatin1Char('.')));
    QVERIFY(m_port->written().isEmpty());

    // The poll ends: the next retry sends.
    round.reset();
    QTRY_COMPARE(m_port->written(), CONTROL_START);
    QTRY_VERIFY(dialog->cmdSend()->isEnabled());
    QCOMPARE(dialog->waitCount(), 0);
    QCOMPARE(m_refreshes, 1);
}

void TestRemoteDialogs::busyPortGivesUpAfterTheLimit()
{
    frmRemoteControl *dialog = controlDialog();
    dialog->timerRetry().setInterval(0);
    PortExchange round(*m_port);
    int longestRow = 0;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        longestRow = qMax(longestRow, int(dialog->lblStatus()->text().count(QLatin1Char('.'))));
    });
    watch.start(0);

    dialog->cmdSendClick();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->cmdSend()->isEnabled(), 20000);
    QCOMPARE(dialog->lblStatus()->text(), QStringLiteral("遥控：命令发送不成功，等待端口超时。"));
    QCOMPARE(m_messages->beeps, 1);
    QCOMPARE(dialog->waitCount(), 0);
    QVERIFY(!dialog->timerRetry().isActive());
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(longestRow > 1000 && longestRow <= REMOTE_RETRY_LIMIT);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestRemoteDialogs::failedSendIsReportedAloneAndCodesComeFromTheIni()
{
    frmRemoteControl *dialog = controlDialog();
    m_port->openError = QStringLiteral("no such device");
    clearRunningLog();
    dialog->cmdSendClick();
    const QString failed = langText(QStringLiteral("frmRemoteControl"), QStringLiteral("msgSendFailed"));
    QCOMPARE(dialog->lblStatus()->text(), failed);
    QVERIFY(!runningLogText().contains(QStringLiteral("发送遥控命令成功")));
    QCOMPARE(m_messages->texts.size(), 1); // the port's own error
    QVERIFY(dialog->cmdSend()->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);

    // An installer's codes for options 2..11; a bad one keeps 0x00 and says so.
    m_port->openError.clear();
    QVERIFY(writeIni(QStringLiteral("RemoteCommands"), QStringLiteral("Command2"), QStringLiteral("0x5a"), sysSettings.iniPath));
    QVERIFY(writeIni(QStringLiteral("RemoteCommands"), QStringLiteral("Command3"), QStringLiteral("15A"), sysSettings.iniPath));
    for (int index : {2, 3}) {
        m_port->clearWritten();
        dialog->optnCmd(index)->setChecked(true);
        dialog->cmdSendClick();
        QCOMPARE(m_port->written().mid(4, 1), QByteArray(1, char(index == 2 ? 0x5A : 0x00)));
    }
    QVERIFY(runningLogText().contains(QStringLiteral("Command3=15A")));
}

void TestRemoteDialogs::settingFrames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("output frequency 50") << 0 << hex("FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D");
    QTest::newRow("delayed shutdown 300 s") << 1 << hex("FF EB 01 05 2C 01 00 00 00 00 00 33 00 0D");
    QTest::newRow("clock 2005-03-07 14:25:59") << 2 << hex("FF EB 01 0F 59 25 14 07 03 05 20 D1 00 0D");
    QTest::newRow("forced run") << 3 << hex("FF EB 01 0C 01 00 00 00 00 00 00 0E 00 0D");
}

void TestRemoteDialogs::settingFrames()
{
    QFETCH(int, index);
    QFETCH(QByteArray, frame);
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    QCOMPARE(dialog.cmbData(0)->currentText(), QStringLiteral("50"));
    dialog.cmbData(1)->setEditText(QStringLiteral("300"));
    dialog.DTPDate()->setDate(QDate(2005, 3, 7));
    dialog.DTPTime()->setTime(QTime(14, 25, 59));
    dialog.chkForceRun()->setChecked(true);

    QTest::mouseClick(dialog.cmdOK(index), Qt::LeftButton);
    QCOMPARE(m_port->written(), frame);
    QVERIFY(!m_port->isOpen());
    QVERIFY(!dialog.sendingSet());
    QVERIFY(dialog.cmdOK(index)->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestRemoteDialogs::delayedShutdownToggles()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    dialog.cmbData(1)->setEditText(QStringLiteral("300"));
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("确定"));

    dialog.cmdOKClick(1);
    QCOMPARE(m_port->written(), hex("FF EB 01 05 2C 01 00 00 00 00 00 33 00 0D"));
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("取消"));
    QVERIFY(dialog.delayedShutdownPending());

    m_port->clearWritten();
    dialog.cmdOKClick(1);
    QCOMPARE(m_port->written(), hex("FF EB 01 05 00 00 00 00 00 00 00 06 00 0D"));
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("确定"));
    QVERIFY(!dialog.delayedShutdownPending());
}

void TestRemoteDialogs::sentSettingsAreConfirmedShownAndStored()
{
    QStringList events;
    QObject listening; // ends the connection with the list
    connect(&stationBus(), &StationBus::eventStored, &listening, [&events](const StoredEvent &e) { events << e.text; });
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    dialog.cmbData(1)->setEditText(QStringLiteral("300"));

    // Refused: nothing goes out, nothing is pending or stored.
    m_messages->answer = false;
    dialog.cmdOKClick(1);
    QCOMPARE(m_messages->questions.size(), 1);
    QVERIFY(m_messages->questions.first().contains(QStringLiteral("300")));
    QVERIFY(m_port->written().isEmpty());
    QVERIFY(!dialog.delayedShutdownPending());
    QVERIFY(events.isEmpty());

    m_messages->answer = true;
    dialog.cmdOKClick(1);
    QVERIFY(dialog.delayedShutdownPending());
    QVERIFY(dialog.lblStatus()->text().contains(QStringLiteral("300 s")));
    QVERIFY(dialog.lblStatus()->text().contains(QTime::currentTime().toString(QStringLiteral("HH:mm")).left(2)));
    // Withdrawing asks nothing.
    dialog.cmdOKClick(1);
    QCOMPARE(m_messages->questions.size(), 2);
    dialog.cmbData(0)->setEditText(QStringLiteral("60"));
    dialog.cmdOKClick(0);
    dialog.chkForceRun()->setChecked(true);
    dialog.cmdOKClick(3);
    // Stored even within the quiet minutes of the fault events.
    const QString section = QStringLiteral("remoteEvents");
    auto sent = [&section](int setting, const QString &value) {
        return langText(section, QStringLiteral("msgSettingSent")).arg(langText(section, QStringLiteral("setting%1").arg(setting)), value);
    };
    QCOMPARE(events, (QStringList{sent(1, QStringLiteral("300 s")), sent(1, langText(section, QStringLiteral("msgWithdrawn"))),
                                  sent(0, QStringLiteral("60 Hz")), sent(3, langText(section, QStringLiteral("msgOn")))}));

    // A setting that found the port unusable is reported, not stored.
    events.clear();
    m_port->openError = QStringLiteral("gone");
    dialog.cmdOKClick(0);
    dialog.cmdOKClick(1);
    QVERIFY(events.isEmpty());
    QVERIFY(!dialog.lblStatus()->text().contains(QStringLiteral("300 s")));
    QVERIFY(!dialog.delayedShutdownPending());
}

void TestRemoteDialogs::toggleSurvivesRelocalisation()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    dialog.cmdOKClick(1);
    // An activation re-captions every button from the language file.
    applyLanguage(&dialog, LANGUAGE_CHINESE);
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("取消"));
    applyLanguage(&dialog, LANGUAGE_ENGLISH);
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.cmdOK(0)->text(), QStringLiteral("Send"));

    // In English the caption never reads "确定", and still the press withdraws.
    m_port->clearWritten();
    dialog.cmdOKClick(1);
    QCOMPARE(m_port->written().mid(4, 2), hex("00 00"));
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("Send"));
    applyLanguage(&dialog, LANGUAGE_CHINESE);
}

void TestRemoteDialogs::secondPressWhileSendingOnlyBeeps()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    // Runs inside the first frame's pause after the wake-up byte.
    QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.cmdOK(3), Qt::LeftButton); });
    dialog.cmdOKClick(0);
    QCOMPARE(m_messages->beeps, 1);
    QCOMPARE(m_port->written(), hex("FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D"));
    QVERIFY(!dialog.sendingSet());
}

void TestRemoteDialogs::waitsForThePortWithoutFreezing()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    std::optional<PortExchange> round(std::in_place, *m_port);
    dialog.cmdOKClick(0);
    QVERIFY(dialog.sendingSet());
    QVERIFY(!dialog.cmdOK(0)->isEnabled());
    // The window keeps running while the setting waits: a press beeps.
    QTest::mouseClick(dialog.cmdOK(2), Qt::LeftButton);
    QCOMPARE(m_messages->beeps, 1);
    QTest::qWait(200);
    QVERIFY(m_port->written().isEmpty());

    round.reset();
    QTRY_VERIFY(!dialog.sendingSet());
    QCOMPARE(m_port->written(), hex("FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D"));
    QVERIFY(dialog.cmdOK(0)->isEnabled());
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void TestRemoteDialogs::portWaitTimesOutAfterFiveSeconds()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    PortExchange round(*m_port);
    int ticks = 0;
    QTimer other;
    connect(&other, &QTimer::timeout, this, [&] { ++ticks; });
    other.start(100);
    QElapsedTimer clock;
    clock.start();

    dialog.cmdOKClick(1);
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("取消"));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.sendingSet(), 8000);
    QVERIFY(clock.elapsed() >= SET_PORT_WAIT_LIMIT_MS - 100);
    QVERIFY(ticks >= 30);
    QCOMPARE(dialog.lblStatus()->text(), QStringLiteral("命令发送不成功，等待端口超时。"));
    QVERIFY(m_port->written().isEmpty());
    // Nothing reached the device: nothing to withdraw.
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("确定"));
    QVERIFY(!dialog.delayedShutdownPending());
    QVERIFY(dialog.cmdOK(1)->isEnabled());
}

void TestRemoteDialogs::deviceClockFollowsTheClockUntilEdited()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    // The leftover test button is gone.
    QVERIFY(!dialog.findChild<QPushButton *>(QStringLiteral("Command1")));
    dialog.followClock();
    QVERIFY(!dialog.clockEdited());
    QCOMPARE(dialog.DTPDate()->date(), QDate::currentDate());
    QVERIFY(qAbs(dialog.DTPTime()->time().secsTo(QTime::currentTime())) <= 2);

    // An edit is the operator's: the clock no longer moves it.
    dialog.DTPDate()->setDate(QDate(2005, 3, 7));
    dialog.DTPTime()->setTime(QTime(14, 25, 59));
    QVERIFY(dialog.clockEdited());
    dialog.followClock();
    QCOMPARE(dialog.DTPDate()->date(), QDate(2005, 3, 7));
    QCOMPARE(dialog.DTPTime()->time(), QTime(14, 25, 59));
    QVERIFY(m_port->written().isEmpty());
}

void TestRemoteDialogs::valuesOutOfRangeAreNeverSent()
{
    frmRemoteSet dialog(*m_port, m_dev->id(), m_dev->name());
    dialog.show();
    for (const char *bad : {"", "5O", "70000", "39"}) {
        dialog.cmbData(0)->setEditText(QString::fromLatin1(bad));
        dialog.cmdOKClick(0);
    }
    for (const char *bad : {"", "abc", "0", "65536"}) {
        dialog.cmbData(1)->setEditText(QString::fromLatin1(bad));
        dialog.cmdOKClick(1);
    }
    QVERIFY(m_port->written().isEmpty());
    QCOMPARE(m_messages->texts.size(), 8);
    QVERIFY(m_messages->texts[0].contains(QStringLiteral("40")) && m_messages->texts[0].contains(QStringLiteral("70")));
    QVERIFY(m_messages->texts[7].contains(QStringLiteral("65535")));
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("确定"));
    QVERIFY(!dialog.delayedShutdownPending() && !dialog.sendingSet());

    // A pending shutdown is withdrawn whatever the field holds; a send the
    // port refused leaves nothing pending.
    dialog.cmbData(1)->setEditText(QStringLiteral("65535"));
    dialog.cmdOKClick(1);
    QCOMPARE(m_port->written(), hex("FF EB 01 05 FF FF 00 00 00 00 00 04 02 0D"));
    dialog.cmbData(1)->setEditText(QString());
    m_port->clearWritten();
    dialog.cmdOKClick(1);
    QCOMPARE(m_port->written().mid(4, 2), hex("00 00"));
    m_port->openError = QStringLiteral("gone");
    dialog.cmbData(1)->setEditText(QStringLiteral("60"));
    dialog.cmdOKClick(1);
    QVERIFY(!dialog.delayedShutdownPending());
    QCOMPARE(dialog.cmdOK(1)->text(), QStringLiteral("确定"));
}

QTEST_MAIN(TestRemoteDialogs)
#include "tst_remote_dialogs.moc"
