// The remote control dialog.
#include "ui/dialogs/frm_remote_control.h"

#include "acquisition/frames.h"
#include "plant/polling.h"
#include "acquisition/remote_commands.h"
#include "acquisition/serial_link.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/remote_events.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantoro {

namespace {

QString controlText(const char *key, const char *builtIn)
{
    return formText(QStringLiteral("frmRemoteControl"), QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

const char *const commandCaptions[REMOTE_COMMAND_COUNT] = {
    "开机", "关机", "自检", "声告警测试", "光告警测试", "开始蓄电池维护",
    "中断蓄电池维护", "消除报警声", "风扇测试", "切到逆变", "切到旁路", "液晶背光测试",
};

} // namespace

frmRemoteControl::frmRemoteControl(Poller &poller, const QString &deviceId, std::function<void()> refreshDisplay,
                                   QWidget *owner)
    : QDialog(owner)
    , m_port(poller.port())
    , m_poller(poller)
    , m_deviceId(deviceId)
    , m_refreshDisplay(std::move(refreshDisplay))
{
    setObjectName(QStringLiteral("frmRemoteControl"));
    const Device *device = target();
    // The dialog says which device of the line it talks to.
    setWindowTitle(QStringLiteral("遥控") + (device ? QStringLiteral(" - %1 %2").arg(device->id(), device->name())
                                                   : QString()));

    auto *frame = new QGroupBox(QStringLiteral(" 选择命令 "), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(frame);
    auto *group = new QButtonGroup(this);
    const int rows = (REMOTE_COMMAND_COUNT + 1) / 2;
    for (int i = 0; i < REMOTE_COMMAND_COUNT; ++i) {
        auto *option = new QRadioButton(QString::fromUtf8(commandCaptions[i]), frame);
        setControlName(option, QStringLiteral("optnCmd"), i);
        group->addButton(option, i);
        grid->addWidget(option, i % rows, i / rows);
        m_optnCmd << option;
    }
    m_optnCmd.first()->setChecked(true);

    m_cmdSend = namedButton(QStringLiteral("cmdSend"), QStringLiteral("发出命令"), this);
    m_lblStatus = namedLabel(QStringLiteral("lblStatus"), QString(), this);
    // The row of waiting dots may grow long; it must not widen the dialog.
    m_lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_lblStatus->setFrameShape(QFrame::StyledPanel);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdSend);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->addWidget(m_lblStatus);

    m_timerRetry.setObjectName(QStringLiteral("timerRetry"));
    m_timerRetry.setInterval(REMOTE_RETRY_INTERVAL_MS);
    connect(&m_timerRetry, &QTimer::timeout, this, &frmRemoteControl::timerRetryTimer);
    connect(m_cmdSend, &QPushButton::clicked, this, &frmRemoteControl::cmdSendClick);
}

frmRemoteControl::~frmRemoteControl()
{
    m_timerRetry.stop();
    if (m_busy)
        setBusyCursor(false);
}

frmRemoteControl *frmRemoteControl::showRemoteControl(QWidget *owner, Poller &poller, const QString &deviceId,
                                                      std::function<void()> refreshDisplay)
{
    static QPointer<frmRemoteControl> dialog;
    if (!dialog) {
        dialog = new frmRemoteControl(poller, deviceId, std::move(refreshDisplay), owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(dialog);
    return dialog;
}

Device *frmRemoteControl::target() const
{
    return m_poller.line().device(m_deviceId);
}

QRadioButton *frmRemoteControl::optnCmd(int index) const
{
    return m_optnCmd.value(index);
}

int frmRemoteControl::selectedCommand() const
{
    for (int i = 0; i < m_optnCmd.size(); ++i) {
        if (m_optnCmd.at(i)->isChecked())
            return i;
    }
    return -1;
}

void frmRemoteControl::showAndLog(const QString &text)
{
    m_lblStatus->setText(text);
    logStatus(text);
}

void frmRemoteControl::cmdSendClick()
{
    if (m_waitCount >= REMOTE_RETRY_LIMIT) {
        messages().beep();
        showAndLog(controlText("msgPortTimeout", "遥控：命令发送不成功，等待端口超时。"));
        m_waitCount = 0;
        finish();
        return;
    }
    // A retry of a command already confirmed does not ask again.
    if (m_waitCount == 0 && !confirmStop())
        return;
    m_cmdSend->setEnabled(false);
    m_busy = true;
    setBusyCursor(true);
    ++m_waitCount;

    if (m_port.exchangeUnderWay()) {
        // A round (or another command) has the line: try again shortly.
        m_lblStatus->setText(controlText("msgPortBusy", "通讯口忙，正在等待") + QLatin1Char(' ') + QString(m_waitCount, QLatin1Char('.')));
        m_timerRetry.stop();
        pauseMs(1);
        m_timerRetry.start();
        return;
    }

    // Read at each send, so an installer's change needs no restart.
    QStringList problems;
    const RemoteCommandBytes bytes = readRemoteCommandBytes(sysSettings.iniPath, &problems);
    for (const QString &problem : std::as_const(problems))
        logStatus(problem);
    const QByteArray data = controlCommandData(selectedCommand(), bytes);
    Device *device = target();
    if (!device) {
        // Removed from the line while the dialog was open.
        m_lblStatus->setText(controlText("msgDeviceGone", "The device is no longer on the line."));
        m_waitCount = 0;
        finish();
        return;
    }
    // On a line of several devices the command goes to the one named.
    const quint8 address = m_poller.line().devices().size() > 1 ? quint8(device->record().address)
                                                                 : REMOTE_CONTROL_ADDRESS;
    // The line is this command's until its reply is in; a port polling holds
    // open stays so afterwards.
    PortExchange exchange(m_port);
    // The port's own error has been shown; the status must not claim a send.
    if (!prepareCommPort(m_port, sysSettings.ComSettings, sysSettings.comport, true)
        || !sendCrcFrame(m_port, address, data, FUNCTION_CONTROL)) {
        showAndLog(langText(QStringLiteral("frmRemoteControl"), QStringLiteral("msgSendFailed")));
        m_waitCount = 0;
        finish();
        return;
    }
    showAndLog(controlText("msgSentWaiting", "发送遥控命令成功,等待返回信息..."));

    // The wait runs the window: the dialog may be closed (and deleted) in it.
    QPointer<frmRemoteControl> self(this);
    const QString id = m_deviceId;
    const bool replied = m_poller.receiveReplyV2(*device, sysSettings.TimeOut, address, FUNCTION_CONTROL);
    if (!self)
        return;
    logOperatorAction(remoteCommandEventText(selectedCommand(), replied), id);
    if (replied) {
        showAndLog(controlText("msgSentOk", "发送遥控命令成功."));
    } else {
        m_lblStatus->setText(controlText("msgSentNoReply", "命令已发送.接收数据不成功."));
        logStatus(controlText("msgLogSentNoReply", "遥控命令已发送.接收数据不成功."));
    }
    if (m_refreshDisplay)
        m_refreshDisplay();
    m_waitCount = 0;
    finish();
}

bool frmRemoteControl::confirmStop()
{
    const RemoteCommandBytes bytes = readRemoteCommandBytes(sysSettings.iniPath);
    const QByteArray data = controlCommandData(selectedCommand(), bytes);
    if (data.isEmpty() || quint8(data.at(0)) != COMMAND_STOP)
        return true;
    QString question = controlText("msgConfirmStop", "设备“%1”将停机。\r\n发出关机命令吗？");
    const Device *device = target();
    question.replace(QStringLiteral("%1"), device ? device->name() : m_deviceId);
    return confirmYesNo(windowTitle(), question);
}

void frmRemoteControl::finish()
{
    m_cmdSend->setEnabled(true);
    m_busy = false;
    setBusyCursor(false);
}

void frmRemoteControl::timerRetryTimer()
{
    m_timerRetry.stop();
    cmdSendClick();
}

void frmRemoteControl::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyLanguage(this, sysSettings.languageIndex);
}

void frmRemoteControl::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
