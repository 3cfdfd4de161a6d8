// The remote control dialog: sends one control command to the device between
// polls, waiting for the port while a poll holds it, and waits for the reply.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

class QLabel;
class QPushButton;
class QRadioButton;

namespace vantoro {

class Poller;
class SerialPort;

inline constexpr int REMOTE_RETRY_INTERVAL_MS = 300;
// Attempts while the port is busy before giving up (about five minutes).
inline constexpr int REMOTE_RETRY_LIMIT = 1025;

class frmRemoteControl : public QDialog
{
public:
    // Borrows the main window's port and poller; `refreshDisplay` redraws the
    // main window after each command.
    frmRemoteControl(SerialPort &port, Poller &poller, std::function<void()> refreshDisplay, QWidget *owner = nullptr);
    ~frmRemoteControl() override;

    // Opens the one dialog owned by `owner` (modeless), or brings the open one
    // forward. Closing the dialog deletes it.
    static frmRemoteControl *showRemoteControl(QWidget *owner, SerialPort &port, Poller &poller,
                                               std::function<void()> refreshDisplay);

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

    SerialPort &m_port;
    Poller &m_poller;
    std::function<void()> m_refreshDisplay;
    QList<QRadioButton *> m_optnCmd;
    QPushButton *m_cmdSend = nullptr;
    QLabel *m_lblStatus = nullptr;
    QTimer m_timerRetry;
    int m_waitCount = 0;
    bool m_busy = false;
};

} // namespace vantoro
