// The remote setting dialog.
#include "ui/dialogs/frm_remote_set.h"

#include "acquisition/remote_commands.h"
#include "acquisition/serial_link.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/remote_events.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const char *const settingCaptions[REMOTE_SETTING_COUNT] = {
    "设定输出频率(Hz)", "延时关机时间(秒)", "设定设备时间", "置为强制运行",
};

// The button's caption when no delayed shutdown is pending: the language
// file's, as the activation sets it.
QString sendCaption()
{
    return readIni(QStringLiteral("frmRemoteSet"), QStringLiteral("cmdOK[1]"), localText(QStringLiteral("确定"), QStringLiteral("Send")),
                   languageFile(sysSettings.languageIndex));
}

QString withdrawCaption()
{
    return localText(QStringLiteral("取消"), QStringLiteral("Cancel"));
}

} // namespace

frmRemoteSet::frmRemoteSet(SerialPort &port, const QString &deviceId, const QString &deviceName, QWidget *owner)
    : QDialog(owner)
    , m_port(port)
    , m_deviceId(deviceId)
{
    setObjectName(QStringLiteral("frmRemoteSet"));
    setWindowTitle(QStringLiteral("遥调") + (deviceId.isEmpty() ? QString()
                                                                : QStringLiteral(" - %1 %2").arg(deviceId, deviceName)));

    auto *grid = new QGridLayout;
    for (int i = 0; i < REMOTE_SETTING_COUNT; ++i) {
        m_lblCmd << namedLabel(QStringLiteral("lblCmd"), QString::fromUtf8(settingCaptions[i]), this, i);
        m_cmdOK << namedButton(QStringLiteral("cmdOK"), QStringLiteral("确定"), this, i);
        grid->addWidget(m_lblCmd.last(), i, 0);
        grid->addWidget(m_cmdOK.last(), i, 2);
        connect(m_cmdOK.last(), &QPushButton::clicked, this, [this, i] { cmdOKClick(i); });
    }
    const QStringList choices[2] = {
        {QStringLiteral("50"), QStringLiteral("60")},
        {QStringLiteral("50"), QStringLiteral("10"), QStringLiteral("30"), QStringLiteral("60"), QStringLiteral("120"),
         QStringLiteral("300"), QStringLiteral("600")},
    };
    for (int i = 0; i < 2; ++i) {
        QComboBox *combo = namedCombo(QStringLiteral("cmbData"), true, this, i);
        combo->addItems(choices[i]);
        combo->setEditText(QStringLiteral("50"));
        m_cmbData << combo;
        grid->addWidget(combo, i, 1);
    }

    const QDateTime now = QDateTime::currentDateTime();
    m_date = new QDateEdit(now.date(), this);
    setControlName(m_date, QStringLiteral("DTPDate"));
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_time = new QTimeEdit(now.time(), this);
    setControlName(m_time, QStringLiteral("DTPTime"));
    m_time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    auto *clock = new QHBoxLayout;
    clock->addWidget(m_date);
    clock->addWidget(m_time);
    grid->addLayout(clock, SETTING_DEVICE_CLOCK, 1);

    m_forceRun = namedCheckBox(QStringLiteral("chkForceRun"), QStringLiteral("强制运行"), this);
    grid->addWidget(m_forceRun, SETTING_FORCED_RUN, 1);

    m_lblStatus = namedLabel(QStringLiteral("lblStatus"), QString(), this);
    m_lblStatus->setFrameShape(QFrame::StyledPanel);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_lblStatus, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);

    const auto edited = [this] {
        if (!m_settingClock)
            m_clockEdited = true;
    };
    connect(m_date, &QDateEdit::dateChanged, this, edited);
    connect(m_time, &QTimeEdit::timeChanged, this, edited);
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &frmRemoteSet::followClock);
    m_clock.start();

    m_portWait.setSingleShot(true);
    m_portWait.setInterval(SET_PORT_WAIT_STEP_MS);
    connect(&m_portWait, &QTimer::timeout, this, &frmRemoteSet::trySending);
}

frmRemoteSet::~frmRemoteSet()
{
    m_portWait.stop();
    m_clock.stop();
    if (m_sendingSet)
        setBusyCursor(false);
}

frmRemoteSet *frmRemoteSet::showRemoteSet(QWidget *owner, SerialPort &port, const QString &deviceId,
                                          const QString &deviceName)
{
    static QPointer<frmRemoteSet> dialog;
    if (!dialog) {
        dialog = new frmRemoteSet(port, deviceId, deviceName, owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(dialog);
    return dialog;
}

QPushButton *frmRemoteSet::cmdOK(int index) const
{
    return m_cmdOK.value(index);
}

QLabel *frmRemoteSet::lblCmd(int index) const
{
    return m_lblCmd.value(index);
}

QComboBox *frmRemoteSet::cmbData(int index) const
{
    return m_cmbData.value(index);
}

void frmRemoteSet::cmdOKClick(int index)
{
    if (index < 0 || index >= REMOTE_SETTING_COUNT)
        return;
    if (m_sendingSet) {
        messages().beep();
        return;
    }
    // A value outside its range is never sent: blank or "5O" would reach the
    // device as 0, which for the delay even withdraws the shutdown.
    std::optional<quint16> value;
    if (index == SETTING_OUTPUT_FREQUENCY || (index == SETTING_DELAYED_SHUTDOWN && !m_delayPending)) {
        const bool frequency = index == SETTING_OUTPUT_FREQUENCY;
        const int min = frequency ? OUTPUT_FREQUENCY_MIN_HZ : SHUTDOWN_DELAY_MIN_SECONDS;
        const int max = frequency ? OUTPUT_FREQUENCY_MAX_HZ : SHUTDOWN_DELAY_MAX_SECONDS;
        value = settingInRange(m_cmbData.at(index)->currentText(), min, max);
        if (!value) {
            const QString key = frequency ? QStringLiteral("msgFrequencyRange") : QStringLiteral("msgDelayRange");
            messages().show(windowTitle(), langText(QStringLiteral("frmRemoteSet"), key).arg(min).arg(max),
                            MessageIcon::Warning);
            m_cmbData.at(index)->setFocus();
            return;
        }
    }
    if (index == SETTING_DELAYED_SHUTDOWN && !m_delayPending && !confirmDelayedShutdown())
        return;
    m_sendingSet = true;
    setBusyCursor(true);
    m_cmdOK.at(index)->setEnabled(false);

    m_index = index;
    m_command = settingCommand(index);
    m_toggledDelay = false;
    switch (index) {
    case SETTING_OUTPUT_FREQUENCY:
        m_data = wordSettingData(*value);
        break;
    case SETTING_DELAYED_SHUTDOWN:
        // The state lives in a flag: the caption is re-localised on activation.
        m_data = wordSettingData(m_delayPending ? 0 : *value);
        m_delayPending = !m_delayPending;
        m_toggledDelay = true;
        showDelayCaption();
        break;
    case SETTING_DEVICE_CLOCK:
        m_data = deviceClockData(m_date->date(), m_time->time());
        break;
    default:
        m_data = forcedRunData(m_forceRun->isChecked());
        break;
    }
    m_sent = whatIsSent(index);
    m_portWaitClock.start();
    trySending();
}

void frmRemoteSet::trySending()
{
    if (m_port.exchangeUnderWay()) {
        // A round has the line: look again shortly, the window keeps running.
        if (m_portWaitClock.elapsed() < SET_PORT_WAIT_LIMIT_MS) {
            m_portWait.start();
            return;
        }
        m_lblStatus->setText(formText(QStringLiteral("frmRemoteSet"), QStringLiteral("msgPortTimeout"),
                                      QStringLiteral("命令发送不成功，等待端口超时。")));
        if (m_toggledDelay) {
            // Nothing reached the device, so nothing is pending or withdrawn.
            m_delayPending = !m_delayPending;
            showDelayCaption();
        }
        finish();
        return;
    }
    QPointer<frmRemoteSet> self(this);
    // The send runs the window, which may close (and delete) this dialog.
    const QString deviceId = m_deviceId;
    const RemoteSettingSent what = m_sent;
    bool sent = false;
    {
        // A port polling holds open stays so after the setting is sent.
        PortExchange exchange(m_port);
        sent = prepareCommPort(m_port, sysSettings.ComSettings, sysSettings.comport, true)
            && sendSetFrame(m_port, SET_HEADER1, m_data, m_command);
    }
    if (sent)
        logOperatorAction(remoteSettingEventText(what), deviceId);
    if (!self)
        return;
    if (!sent && m_toggledDelay) {
        // As with a busy port: nothing reached the device.
        m_delayPending = !m_delayPending;
        showDelayCaption();
    }
    reportSent(sent);
    finish();
}

void frmRemoteSet::finish()
{
    m_sendingSet = false;
    setBusyCursor(false);
    if (QPushButton *button = m_cmdOK.value(m_index))
        button->setEnabled(true);
}

RemoteSettingSent frmRemoteSet::whatIsSent(int index) const
{
    RemoteSettingSent sent;
    sent.setting = index;
    if (index == SETTING_OUTPUT_FREQUENCY || index == SETTING_DELAYED_SHUTDOWN)
        sent.text = m_cmbData.at(index)->currentText();
    // The flag was toggled above: pending now means it was just sent.
    sent.withdraw = index == SETTING_DELAYED_SHUTDOWN && !m_delayPending;
    sent.clock = QDateTime(m_date->date(), m_time->time());
    sent.forced = m_forceRun->isChecked();
    return sent;
}

bool frmRemoteSet::confirmDelayedShutdown()
{
    const QString seconds = QString::number(settingWord(m_cmbData.at(SETTING_DELAYED_SHUTDOWN)->currentText()));
    QString question = formText(QStringLiteral("frmRemoteSet"), QStringLiteral("msgConfirmDelay"),
                                QStringLiteral("设备将在 %1 秒后关机。\r\n发送延时关机命令吗？"));
    question.replace(QStringLiteral("%1"), seconds);
    return confirmYesNo(windowTitle(), question);
}

void frmRemoteSet::reportSent(bool sent)
{
    const QString section = QStringLiteral("frmRemoteSet");
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (!sent) {
        m_lblStatus->setText(time + QStringLiteral("  ")
                             + formText(section, QStringLiteral("msgSendFailed"), QStringLiteral("命令发送不成功：端口错误。")));
        return;
    }
    QString what = m_lblCmd.at(m_index)->text();
    what.remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    m_lblStatus->setText(time + QStringLiteral("  ") + formText(section, QStringLiteral("msgSent"), QStringLiteral("已发送："))
                         + QLatin1Char(' ') + what + QStringLiteral(" = ") + remoteSettingValueText(m_sent));
}

void frmRemoteSet::followClock()
{
    if (m_clockEdited) {
        m_clock.stop();
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    m_settingClock = true;
    m_date->setDate(now.date());
    m_time->setTime(now.time());
    m_settingClock = false;
}

void frmRemoteSet::showDelayCaption()
{
    m_cmdOK.at(SETTING_DELAYED_SHUTDOWN)->setText(m_delayPending ? withdrawCaption() : sendCaption());
}

void frmRemoteSet::languageApplied(int)
{
    showDelayCaption();
}

void frmRemoteSet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyLanguage(this, sysSettings.languageIndex);
}

void frmRemoteSet::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
