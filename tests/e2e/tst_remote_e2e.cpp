// The remote control and remote setting dialogs against the device simulator
// while the station polls: each command waits for the poll holding the port,
// goes out between polls and reaches the device whole.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "ui/dialogs/frm_remote_control.h"
#include "ui/dialogs/frm_remote_set.h"
#include "ui/form_utils.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <functional>
#include <memory>

using namespace vantoro;
using vantoro::test::SimProcess;

namespace {

// Runs an action while the next poll waits for its reply, so it meets a port
// held by the poll.
class PollWatch : public StatusSink
{
public:
    void showStatus(const QString &text) override
    {
        if (!text.startsWith(waitingText) || !duringNextPoll)
            return;
        QTimer::singleShot(0, std::exchange(duringNextPoll, {}));
    }
    void runningLogChanged(const QString &, bool) override { }

    QString waitingText;
    std::function<void()> duringNextPoll;
};

// The kind and bytes of each recorded frame, in order.
QStringList recordedFrames(const QStringList &lines)
{
    QStringList frames;
    for (const QString &line : lines)
        frames << line.section(QLatin1Char(' '), 1);
    return frames;
}

} // namespace

class TestRemoteE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void commandsGoOutBetweenPolls();
    void controlReplyNotCountedWithPollingOff();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    SimProcess m_sim;
    PollWatch m_watch;
    std::unique_ptr<Line> m_line;   // the database's device on the test's port
    Device *m_dev = nullptr;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    int m_refreshes = 0;
};

void TestRemoteE2e::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    QVERIFY(loadSystemSettings());
    m_line = std::make_unique<Line>(std::make_unique<QtSerialPort>());
    QVERIFY(m_line->load());
    m_dev = m_line->first();
    // Paced like a real 9600-baud line.
    QVERIFY2(m_sim.start({"--baud", "9600", "--record-polls", "--status", "0x0001"}), qPrintable(m_sim.errorText()));
    setPortDeviceName(1, m_sim.ptyPath());
    m_watch.waitingText = langText(QStringLiteral("Application"), QStringLiteral("Connecting"));
    setStatusSink(&m_watch);
}

void TestRemoteE2e::cleanupTestCase()
{
    setStatusSink(nullptr);
    m_sim.stop();
    m_dev = nullptr;
    m_line.reset();
    m_messages.reset();
    m_home.reset();
}

void TestRemoteE2e::init()
{
    DeviceRecord record = test::pollOneDevice(2, 0.5);
    record.rating = m_dev->record().rating;
    m_dev->setRecord(record);
    sysSettings.PauseSeconds = 1;
    m_timer = std::make_unique<QTimer>();
    m_poller = std::make_unique<Poller>(*m_line, *m_timer,
                                        PollHooks{[this](Device &) { ++m_refreshes; }, {}, {},
                                                  [] { return isFormLoaded(QStringLiteral("frmRemote")); }, {}});
    connect(m_timer.get(), &QTimer::timeout, this, [this] { m_poller->reloadTick(); });
    m_refreshes = 0;
}

void TestRemoteE2e::cleanup()
{
    m_timer->stop();
    m_poller.reset();
    m_timer.reset();
}

void TestRemoteE2e::commandsGoOutBetweenPolls()
{
    frmRemoteControl control(*m_poller, m_dev->id(), [this] { ++m_refreshes; });
    frmRemoteSet settings(m_line->port(), m_dev->id(), m_dev->name());
    settings.DTPDate()->setDate(QDate(2005, 3, 7));
    settings.DTPTime()->setTime(QTime(14, 25, 59));
    const int recordedBefore = int(m_sim.recordLines().size());

    m_poller->togglePollingFromToolbar();
    QTRY_VERIFY_WITH_TIMEOUT(m_refreshes >= 1, 5000);

    // "开机" pressed while a poll holds the port: it waits, then goes out.
    QString busyText;
    m_watch.duringNextPoll = [&] {
        control.cmdSendClick();
        busyText = control.lblStatus()->text();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!busyText.isEmpty() && control.cmdSend()->isEnabled(), 5000);
    QVERIFY2(busyText.startsWith(QStringLiteral("通讯口忙，正在等待 .")), qPrintable(busyText));
    QCOMPARE(control.lblStatus()->text(), QStringLiteral("发送遥控命令成功."));

    // Two settings pressed during polls: each waits for the port.
    for (int index : {0, 2}) {
        bool waited = false;
        m_watch.duringNextPoll = [&, index] {
            settings.cmdOKClick(index);
            waited = settings.sendingSet();
        };
        QTRY_VERIFY_WITH_TIMEOUT(waited && !settings.sendingSet(), 5000);
        // The status line says what went out.
        const QString sent = index == 0 ? QStringLiteral("50 Hz") : QStringLiteral("2005-03-07 14:25:59");
        QVERIFY2(settings.lblStatus()->text().contains(sent), qPrintable(settings.lblStatus()->text()));
    }
    const int refreshesSoFar = m_refreshes;
    QTRY_VERIFY_WITH_TIMEOUT(m_refreshes > refreshesSoFar, 5000);
    m_poller->setComOpen(false);

    QCOMPARE(m_dev->link().linkOk, 1);
    QVERIFY2(m_messages->texts.isEmpty(), qPrintable(m_messages->texts.join(QLatin1Char('\n'))));
    const QStringList frames = recordedFrames(m_sim.recordLines().mid(recordedBefore));
    const QString poll = QStringLiteral("poll-v2 01 03 08 00 00 00 00 00 00 00 00 00 17 6F");
    const QStringList commands{
        QStringLiteral("control 01 10 08 00 CF 00 00 00 00 00 00 00 00 FB"),
        QStringLiteral("set FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D"),
        QStringLiteral("set FF EB 01 0F 59 25 14 07 03 05 20 D1 00 0D"),
    };
    QStringList others = frames;
    others.removeAll(poll);
    QCOMPARE(others, commands);
    // Every command came after a poll and before the next one.
    for (const QString &command : commands) {
        const int at = int(frames.indexOf(command));
        QVERIFY(at > 0 && at + 1 < frames.size());
        QCOMPARE(frames.at(at - 1), poll);
        QCOMPARE(frames.at(at + 1), poll);
    }
}

void TestRemoteE2e::controlReplyNotCountedWithPollingOff()
{
    frmRemoteControl control(*m_poller, m_dev->id(), [this] { ++m_refreshes; });
    const int recordedBefore = int(m_sim.recordLines().size());
    control.optnCmd(1)->setChecked(true);
    // Stopping the device goes out after the operator's Yes.
    m_messages->answer = true;
    control.cmdSendClick();
    QCOMPARE(m_messages->questions.size(), 1);
    // The device answered, but with polling off the reply is not taken.
    QCOMPARE(control.lblStatus()->text(), QStringLiteral("命令已发送.接收数据不成功."));
    QCOMPARE(m_refreshes, 1);
    QTRY_COMPARE(recordedFrames(m_sim.recordLines().mid(recordedBefore)),
                 QStringList{QStringLiteral("control 01 10 08 00 CE 00 00 00 00 00 00 00 C1 37")});
}

QTEST_MAIN(TestRemoteE2e)
#include "tst_remote_e2e.moc"
