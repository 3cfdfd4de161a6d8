// The poll round: one reload tick polls every enabled device of the line
// with retries, checks and decodes each reply, keeps each device's link
// state and sets the next interval. The owner of the line and the timer
// hands them in.
#pragma once

#include "acquisition/param_table.h"
#include "core/station_bus.h"
#include "plant/line.h"

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

// The interval after a round: PauseSeconds x 1000 limited to 1000..65535 ms.
int reloadIntervalMs(double pauseSeconds);

// What the window does around a round; every hook is optional.
struct PollHooks {
    std::function<void(Device &)> refreshDisplay;   // after a device's cycle with its link up
    std::function<void(Device &)> showLinkDown;     // after a device's cycle with its link down ("bulble_blue")
    std::function<void()> checkComState;            // show whether polling is on
    std::function<bool()> remoteFormOpen;           // a remote dialog is open ("frmRemote" rule)
    std::function<void()> roundFinished;            // after every round, its reports published
};

// The poll path of a line: each reload tick is one round over its enabled
// devices, each polled with its own protocol, address, retries and link
// state; the port is held open from round to round while polling is on.
class Poller
{
public:
    // Leaves an inactive timer at its start interval of 2000 ms; does not
    // connect it (the owner connects its timeout to reloadTick).
    Poller(Line &line, QTimer &timerReloadData, PollHooks hooks = {});
    // Lets go of a port it held open.
    ~Poller();
    Poller(const Poller &) = delete;
    Poller &operator=(const Poller &) = delete;

    void setHooks(PollHooks hooks) { m_hooks = std::move(hooks); }

    void reloadTick();                 // one round (connect the timer's timeout to it)
    bool queryData(Device &device);    // one device's cycle with retries
    // Wait for, check and decode one reply of `device`; true when it was
    // stored. The port must have been prepared and the request sent.
    bool receiveReplyV1(Device &device, double timeoutSeconds, quint8 address, quint8 command);
    bool receiveReplyV2(Device &device, double timeoutSeconds, quint8 address, quint8 function);

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

    bool queryBusy() const { return m_queryBusy; }
    // Closes a port held open between rounds so the next round opens it
    // afresh: its settings, or the device behind its name, changed.
    void reopenPort();
    Line &line() const { return m_line; }
    SerialPort &port() const { return m_line.port(); }
    // The periodic save of the live values while polling.
    ParamSaveSchedule &saveSchedule() { return m_saveSchedule; }
    // The link of `device` lost while polling: not answering, and not asleep.
    bool linkLost(const Device &device) const;

private:
    QList<CycleReport> pollRound();
    bool runQuery(Device &device);
    bool attempt(Device &device, double timeoutSeconds, bool &accepted);
    bool receiveReply(Device &device, int version, double timeoutSeconds, quint8 address, quint8 function);
    bool waitForReply(double timeoutSeconds);
    bool pollingAllowed() const;
    bool openForPolling(const Device &device);
    void setLinkState(Device &device, int ok, int retries);
    void switchOff();
    void releasePort();
    void switchOn();
    CycleReport publishCycle(Device &device);
    void pollingSwitched();

    Line &m_line;
    SerialPort &m_port;
    QTimer &m_timer;
    PollHooks m_hooks;
    bool m_reloadBusy = false;
    bool m_queryBusy = false;
    bool m_portUnavailable = false;
    bool m_portFailedThisRound = false;
    PollResult m_result = PollResult::Timeout;   // of the attempt under way
    ParamSaveSchedule m_saveSchedule;
    QElapsedTimer m_clock;            // monotonic, for the sleep's grace
};

} // namespace vantoro
