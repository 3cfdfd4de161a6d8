// The poll cycle: one reload tick polls the device with retries, checks and
// decodes its reply, keeps the link state and sets the next interval. The
// main window owns the port and the timer and hands them in.
#pragma once

#include "acquisition/param_table.h"
#include "acquisition/serial_port.h"
#include "core/station_bus.h"
#include "events/device_sleep.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace vantoro {

inline constexpr int INITIAL_RELOAD_INTERVAL_MS = 2000;
inline constexpr int FIRST_TICK_INTERVAL_MS = 100;
inline constexpr int MIN_RELOAD_INTERVAL_MS = 1000;
inline constexpr int REPLY_CHECK_STEP_MS = 13;
inline constexpr int CONNECTING_DOTS_MAX = 33;
inline constexpr double RETRY_PAUSE_SECONDS = 1.0;

// The interval after a cycle: PauseSeconds x 1000 limited to 1000..65535 ms.
int reloadIntervalMs(double pauseSeconds);

// What the window does around a cycle; every hook is optional.
struct PollHooks {
    std::function<void()> refreshDisplay;     // after a cycle with linkOk == 1
    std::function<void()> showLinkDown;       // after a cycle with linkOk == 0 ("bulble_blue")
    std::function<void()> checkComState;      // show whether polling is on
    std::function<bool()> remoteFormOpen;     // a remote dialog is open ("frmRemote" rule)
};

class Poller
{
public:
    // Leaves an inactive timer at its start interval of 2000 ms; does not
    // connect it (the window connects its timeout to reloadTick).
    Poller(SerialPort &port, QTimer &timerReloadData, PollHooks hooks = {});
    Poller(const Poller &) = delete;
    Poller &operator=(const Poller &) = delete;

    void setHooks(PollHooks hooks) { m_hooks = std::move(hooks); }

    void reloadTick();                 // one TimerReloadData tick (connect timeout to it)
    bool queryData();                  // one poll cycle with retries
    // Wait for, check and decode one reply; true when it was stored. The
    // port must have been prepared and the request sent.
    bool receiveReplyV1(double timeoutSeconds, quint8 address, quint8 command);
    bool receiveReplyV2(double timeoutSeconds, quint8 address, quint8 function);

    // Polling switches: the toolbar "plug" (interval 100 ms when switching on),
    // the menu entry (interval unchanged), setComOpen(bool). Switching off
    // saves the parameter values.
    void togglePollingFromToolbar();
    void togglePollingFromMenu();
    void setComOpen(bool open);
    bool pollingOn() const;
    void checkComState();
    // Switches polling on as the toolbar does when the per-user value
    // "AutoStartPolling" is set; true when it did.
    bool startPollingIfAutoStart();

    int lastReplyAddr() const { return m_lastReplyAddr; }
    QDateTime lastReplyTime() const { return m_lastReplyTime; }
    int replyReceived() const { return m_replyReceived; }
    // How each attempt of the last cycle ended.
    const QList<PollResult> &lastAttempts() const { return m_attempts; }
    bool queryBusy() const { return m_queryBusy; }
    SerialPort &port() const { return m_port; }
    // The periodic save of the live values while polling.
    ParamSaveSchedule &saveSchedule() { return m_saveSchedule; }
    // Whether the device sleeps (its DC input standing by), and whether it
    // does so without answering.
    bool deviceAsleep() const { return m_sleep.asleep(); }
    bool silentlyAsleep() const { return m_sleep.silentlyAsleep(); }
    // The link lost while polling: not answering, and not asleep.
    bool linkLost() const;

private:
    bool runQuery();
    bool receiveReply(int version, double timeoutSeconds, quint8 address, quint8 function);
    bool waitForReply(double timeoutSeconds);
    bool pollingAllowed() const;
    bool openForPolling();
    void setLinkState(int ok, int retries);
    void switchOn();
    void switchOff();
    void publishCycle(bool replied);
    void pollingSwitched();

    SerialPort &m_port;
    QTimer &m_timer;
    PollHooks m_hooks;
    bool m_reloadBusy = false;
    bool m_queryBusy = false;
    int m_lastReplyAddr = 0;
    QDateTime m_lastReplyTime;
    QDateTime m_lastGoodReplyTime;   // of the last reply that was decoded
    int m_replyReceived = 0;
    bool m_portUnavailable = false;
    PollResult m_result = PollResult::Timeout;   // of the attempt under way
    QList<PollResult> m_attempts;
    bool m_cycleDecoded = false;      // the cycle under way stored a reply
    ParamSaveSchedule m_saveSchedule;
    DeviceSleep m_sleep;
    QElapsedTimer m_clock;            // monotonic, for the sleep's grace
};

} // namespace vantoro
