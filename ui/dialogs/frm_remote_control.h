// The remote control dialog: sends one control command to the device between
// polls, waiting for the port while a poll holds it, and waits for the reply.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;

namespace vantoro {

class Device;
class Poller;
class SerialPort;

inline constexpr int REMOTE_RETRY_INTERVAL_MS = 300;
// Attempts while the port is busy before giving up (about five minutes).
inline constexpr int REMOTE_RETRY_LIMIT = 1025;

class frmRemoteControl : public QDialog
{
public:
    // Borrows the main window's poller (and its line's port) and talks to the
    // device `deviceId` of that line; `refreshDisplay` redraws the main
    // window after each command.
    frmRemoteControl(Poller &poller, const QString &deviceId, std::function<void()> refreshDisplay,
                     QWidget *owner = nullptr);
    ~frmRemoteControl() override;

    // Opens the one dialog owned by `owner` (modeless), or brings the open one
    // forward. Closing the dialog deletes it.
    static frmRemoteControl *showRemoteControl(QWidget *owner, Poller &poller, const QString &deviceId,
                                               std::function<void()> refreshDisplay);
    const QString &deviceId() const { return m_deviceId; }

    // "发出命令": sends the selected command, or retries later while the port is busy.
    void cmdSendClick();

    QRadioButton *optnCmd(int index) const;
    QPushButton *cmdSend() const { return m_cmdSend; }
    QLabel *lblStatus() const { return m_lblStatus; }
    QTimer &timerRetry() { return m_timerRetry; }
    int waitCount() const { return m_waitCount; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void timerRetryTimer();
    void showAndLog(const QString &text);
    int selectedCommand() const;
    // The command that stops the device goes out only after a Yes.
    bool confirmStop();
    void finish();
    // The device talked to; nullptr once it was removed from the line.
    Device *target() const;

    SerialPort &m_port;
    Poller &m_poller;
    QString m_deviceId;
    std::function<void()> m_refreshDisplay;
    QList<QRadioButton *> m_optnCmd;
    QPushButton *m_cmdSend = nullptr;
    QLabel *m_lblStatus = nullptr;
    QTimer m_timerRetry;
    int m_waitCount = 0;
    bool m_busy = false;
};

} // namespace vantoro
