// The remote setting dialog: sends the output frequency, a delayed shutdown
// (or its withdrawal), the device clock and forced run in set frames, once
// the port is free, without waiting for a reply.
#pragma once

#include "events/remote_events.h"
#include "ui/language.h"

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace vantoro {

class SerialPort;

inline constexpr int SET_PORT_WAIT_LIMIT_MS = 5000;
inline constexpr int SET_PORT_WAIT_STEP_MS = 50;

class frmRemoteSet : public QDialog, public LanguageAware
{
public:
    // Borrows the main window's port; the settings are logged for device
    // `deviceId`, which the title names. Both pickers start at now.
    frmRemoteSet(SerialPort &port, const QString &deviceId, const QString &deviceName, QWidget *owner = nullptr);
    ~frmRemoteSet() override;

    // Opens the one dialog owned by `owner` (modeless), or brings the open one
    // forward. Closing the dialog deletes it.
    static frmRemoteSet *showRemoteSet(QWidget *owner, SerialPort &port, const QString &deviceId,
                                       const QString &deviceName);

    // A "确定" button: builds the setting and sends it once the port is free.
    // A press while another setting is on its way only beeps.
    void cmdOKClick(int index);
    // Until the operator edits them, the clock pickers follow the computer's
    // clock, so a later send never sets a stale time (once a second).
    void followClock();
    bool clockEdited() const { return m_clockEdited; }

    bool sendingSet() const { return m_sendingSet; }
    // True after a delayed shutdown was sent and before it was withdrawn.
    bool delayedShutdownPending() const { return m_delayPending; }

    QPushButton *cmdOK(int index) const;
    QLabel *lblCmd(int index) const;
    QComboBox *cmbData(int index) const;
    QDateEdit *DTPDate() const { return m_date; }
    QTimeEdit *DTPTime() const { return m_time; }
    QCheckBox *chkForceRun() const { return m_forceRun; }
    QLabel *lblStatus() const { return m_lblStatus; }

    void languageApplied(int language) override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void trySending();
    void finish();
    void showDelayCaption();
    RemoteSettingSent whatIsSent(int index) const;
    // Asks before a delayed shutdown goes out, naming the delay.
    bool confirmDelayedShutdown();
    // The status line: what was sent and when, or that sending failed.
    void reportSent(bool sent);

    SerialPort &m_port;
    QString m_deviceId;
    QList<QLabel *> m_lblCmd;
    QList<QPushButton *> m_cmdOK;
    QList<QComboBox *> m_cmbData;
    QDateEdit *m_date = nullptr;
    QTimeEdit *m_time = nullptr;
    QCheckBox *m_forceRun = nullptr;
    QLabel *m_lblStatus = nullptr;
    QTimer m_clock;
    bool m_settingClock = false;
    bool m_clockEdited = false;

    bool m_sendingSet = false;
    bool m_delayPending = false;
    RemoteSettingSent m_sent;
    // The setting waiting for the port.
    int m_index = -1;
    quint8 m_command = 0;
    QByteArray m_data;
    bool m_toggledDelay = false;
    QTimer m_portWait;
    QElapsedTimer m_portWaitClock;
};

} // namespace vantoro
