// The poll cycle, the reply checks and the link state.
#include "acquisition/polling.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "acquisition/reply_decoding.h"
#include "acquisition/serial_link.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/cycle_report.h"
#include "events/event_log.h"

#include <QElapsedTimer>
#include <algorithm>
#include <exception>

namespace vantoro {

namespace {


QString mainText(const char *key)
{
    const QString k = QString::fromLatin1(key);
    return langText(QStringLiteral("frmMain"), k, LANGUAGE_CURRENT, k);
}

QString hexText(quint32 value)
{
    return QString::number(value, 16).toUpper();
}

QString deviceSuffix()
{
    return QLatin1Char('(') + sysSettings.devname + QLatin1Char(')');
}

// Raises a flag for the length of a scope, so every way out clears it.
class BusyFlag
{
public:
    explicit BusyFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag &) = delete;
    BusyFlag &operator=(const BusyFlag &) = delete;

private:
    bool &m_flag;
};

} // namespace

int reloadIntervalMs(double pauseSeconds)
{
    return clampInterval(pauseSeconds * 1000.0, MIN_RELOAD_INTERVAL_MS);
}

Poller::Poller(SerialPort &port, QTimer &timerReloadData, PollHooks hooks)
    : m_port(port)
    , m_timer(timerReloadData)
    , m_hooks(std::move(hooks))
{
    if (!m_timer.isActive())
        m_timer.setInterval(INITIAL_RELOAD_INTERVAL_MS);
    m_clock.start();
}

bool Poller::linkLost() const
{
    return sysSettings.linkOk == 0 && !m_sleep.silentlyAsleep() && m_timer.isActive();
}

bool Poller::pollingOn() const
{
    return m_timer.isActive();
}

void Poller::checkComState()
{
    if (m_hooks.checkComState)
        m_hooks.checkComState();
}

bool Poller::pollingAllowed() const
{
    return m_timer.isActive() || (m_hooks.remoteFormOpen && m_hooks.remoteFormOpen());
}

void Poller::reloadTick()
{
    if (m_reloadBusy) {
        if (sysSettings.debugMode != 0)
            logStatus(QStringLiteral("*ReloadData ReEntered!"));
        return;
    }
    BusyFlag busy(m_reloadBusy);
    checkComState();
    // A port already open at the start belongs to a remote command still
    // waiting for its reply: closing it would cut that exchange short.
    const bool portWasBusy = m_port.isOpen();
    m_attempts.clear();
    m_cycleDecoded = false;
    queryData();
    if (m_port.isOpen() && !portWasBusy)
        m_port.close();
    // The trace is for the running log; the status bar says when the device
    // last answered, so a working link never reads as a closed port.
    logTrace(mainText("msgConnectionClosed"));
    if (m_cycleDecoded)
        logStatus(mainText("msgLastReply") + QLatin1Char(' ') + m_lastGoodReplyTime.toString(QStringLiteral("HH:mm:ss")),
                  true);
    if (m_timer.isActive())
        m_saveSchedule.saveIfDue();
    if (sysSettings.linkOk == 1) {
        if (m_hooks.refreshDisplay)
            m_hooks.refreshDisplay();
    } else if (m_hooks.showLinkDown) {
        m_hooks.showLinkDown();
    }
    if (m_timer.isActive()) {
        // Restarted, so the next tick comes a full interval after this cycle.
        m_timer.stop();
        m_timer.setInterval(reloadIntervalMs(sysSettings.PauseSeconds));
        m_timer.start();
    }
    publishCycle(m_cycleDecoded);
}

void Poller::publishCycle(bool replied)
{
    CycleOutcome outcome;
    outcome.linkUp = sysSettings.linkOk == 1;
    outcome.polling = m_timer.isActive();
    outcome.replied = replied;
    outcome.lastReplyTime = m_lastGoodReplyTime;
    outcome.attempts = m_attempts;
    outcome.asleep = m_sleep.asleep();
    const CycleReport report = makeCycleReport(outcome);
    stationBus().publishCycle(report);
    stationBus().publishRound(roundOf({report}, report.polling, report.time));
}

bool Poller::queryData()
{
    if (m_queryBusy)
        return false;
    BusyFlag busy(m_queryBusy);
    try {
        return runQuery();
    } catch (const std::exception &e) {
        messages().beep();
        logStatus(QStringLiteral("Connection Error：") + QString::fromLocal8Bit(e.what())
                  + QStringLiteral("  Source:Vantoro"));
        return false;
    }
}

bool Poller::runQuery()
{
    if (m_port.isOpen()) {
        // Another exchange (a remote command) holds the port.
        messages().beep();
        logStatus(QStringLiteral("Com port is busy!"), sysSettings.debugMode == 0);
        return false;
    }
    logDetail(mainText("msgBeginToQuery"));
    const SystemSettings &s = sysSettings;
    const bool crcProtocol = s.devcomversion == 2;
    const quint8 address = quint8(s.devaddr);
    // A stored negative count would run no attempt and report the link up.
    const int retries = std::max(0, s.retrytimes);
    int ok = 1;
    for (int attempt = 0; attempt <= retries; ++attempt) {
        if (attempt > 0) {
            logStatus(mainText("msgRetryTimes") + QString::number(attempt));
            waitSeconds(RETRY_PAUSE_SECONDS);
            if (quitRequested || !m_timer.isActive())
                return false;
        }
        const QByteArray data(POLL_DATA_BYTES, '\0');
        if (!setupCommPort(m_port, s.ComSettings, s.comport, true)) {
            m_attempts << PollResult::SendError;
            logStatus(QStringLiteral("Error while send command!"));
            return false;
        }
        // A port that cannot be opened (an adapter unplugged) is a failed
        // attempt like a silent device, so the link goes down and says so.
        if (!openForPolling()) {
            m_attempts << PollResult::SendError;
            logStatus(QStringLiteral("Error while send command!"));
            ok = 0;
            continue;
        }
        const bool sent = crcProtocol ? sendCrcFrame(m_port, address, data, FUNCTION_POLL)
                                      : sendPollV1(m_port, address, data, POLL_COMMAND_V1);
        if (!sent) {
            m_attempts << PollResult::SendError;
            logStatus(QStringLiteral("Error while send command!"));
            return false;
        }
        if (!m_port.isOpen())
            m_port.open();
        m_result = PollResult::Timeout;
        const bool accepted = crcProtocol ? receiveReplyV2(s.TimeOut, address, FUNCTION_POLL)
                                          : receiveReplyV1(s.TimeOut, address, POLL_COMMAND_V1);
        m_attempts << m_result;
        if (m_port.isOpen())
            m_port.close();
        // Stopped by the operator (or a quit): that says nothing about the link.
        if (m_result == PollResult::Stopped || quitRequested)
            return false;
        if (accepted) {
            ok = 1;
            break;
        }
        ok = 0;
    }
    setLinkState(ok, retries);
    return true;
}

void Poller::setLinkState(int ok, int retries)
{
    const QString device = QString::fromLatin1(PARAM_DEVICE_ID);
    if (ok == 1) {
        // A device that slept without answering did not lose its link.
        const bool quietReturn = m_sleep.silentlyAsleep();
        const SleepChange change = m_sleep.replied(
            dcInputPowerWatts(paramTable), standbyThresholdWatts(sysSettings.StandbyPercent, sysSettings.devpower),
            m_clock.elapsed());
        setDcSideResting(paramTable, m_sleep.asleep());
        if (sysSettings.linkOk != 1) {
            sysSettings.linkOk = 1;
            if (!quietReturn)
                logEvent(mainText("msgConnResumed"), device, QString(), true);
        }
        if (change == SleepChange::FellAsleep)
            logEvent(mainText("msgDeviceAsleep"), device, QString(), true);
        else if (change == SleepChange::WokeUp)
            logEvent(mainText("msgDeviceAwake"), device, QString(), true);
        return;
    }
    if (m_sleep.silent(m_clock.elapsed())) {
        sysSettings.linkOk = 0;
        return;
    }
    if (ok == sysSettings.linkOk)
        return;
    sysSettings.linkOk = ok;
    QString event;
    if (ok == 1)
        event = mainText("msgConnResumed");
    else if (retries > 0)
        event = mainText("msgConnFail") + QString::number(retries) + QLatin1Char(')');
    else
        event = mainText("msgConnFail0");
    logEvent(event, device, QString(), true);
}

bool Poller::openForPolling()
{
    if (m_port.isOpen() || m_port.open()) {
        m_portUnavailable = false;
        return true;
    }
    // A port that is gone (an adapter unplugged) fails every cycle until it
    // is back. A message box on each would stop the polling that finds it
    // again, so it is shown once, and not at all when the link is already
    // reported down; the running log keeps the cause of every cycle.
    if (!m_portUnavailable && sysSettings.linkOk == 1)
        reportError(QStringLiteral("Send command code"), m_port.errorText());
    else
        logStatus(QStringLiteral("Serial port not opened: ") + m_port.errorText());
    m_portUnavailable = true;
    return false;
}

bool Poller::receiveReplyV1(double timeoutSeconds, quint8 address, quint8 command)
{
    return receiveReply(1, timeoutSeconds, address, command);
}

bool Poller::receiveReplyV2(double timeoutSeconds, quint8 address, quint8 function)
{
    return receiveReply(2, timeoutSeconds, address, function);
}

bool Poller::waitForReply(double timeoutSeconds)
{
    const QString connecting = langText(QStringLiteral("Application"), QStringLiteral("Connecting"), LANGUAGE_CURRENT,
                                        QStringLiteral("Connecting"));
    QElapsedTimer clock;
    clock.start();
    int dots = 1;
    qint64 nextDotsAt = 0;
    bool stopped = false;
    // The monotonic clock makes the wait indifferent to midnight and clock changes.
    waitUntil(
        [&] {
            if (!m_port.isOpen() || m_port.bytesWaiting() >= REPLY_BYTES)
                return true;
            if (clock.elapsed() < nextDotsAt)
                return false;
            nextDotsAt = clock.elapsed() + REPLY_CHECK_STEP_MS;
            if (dots > CONNECTING_DOTS_MAX)
                dots = 1;
            logStatus(connecting + QLatin1Char(' ') + QString(dots, QLatin1Char('.')), true);
            if (!pollingAllowed()) {
                stopped = true;
                return true;
            }
            ++dots;
            return false;
        },
        truncatedInt(timeoutSeconds * 1000.0), [this](int milliseconds) { m_port.waitForInput(milliseconds); });
    if (quitRequested) {
        m_result = PollResult::Stopped;
        return false;
    }
    if (stopped) {
        m_result = PollResult::Stopped;
        logStatus(QStringLiteral("*通讯停止。"), sysSettings.debugMode == 0);
        return false;
    }
    if (!m_port.isOpen())
        return false;
    pauseMs(0);
    const int waiting = m_port.bytesWaiting();
    if (waiting < REPLY_BYTES) {
        logStatus(mainText("msgConnTimeOut") + QString::number(waiting));
        return false;
    }
    return true;
}

bool Poller::receiveReply(int version, double timeoutSeconds, quint8 address, quint8 function)
{
    m_replyReceived = 0;
    if (!m_port.isOpen() || !waitForReply(timeoutSeconds))
        return false;
    logDetail(QStringLiteral("Received data %1 bytes.").arg(m_port.bytesWaiting()));

    const QByteArray head = version == 1 ? replyHeadV1() : replyHeadV2(address, function);
    m_result = PollResult::BadChecksum;   // a damaged frame, until it checks out
    if (!findhead(m_port, head)) {
        messages().beep();
        logStatus(mainText("msgConnDataLost") + (version == 1 ? QString::number(m_port.bytesWaiting()) : QString()));
        return false;
    }
    const int bodyBytes = REPLY_BYTES - int(head.size());
    const int waiting = m_port.bytesWaiting();
    if (waiting < bodyBytes) {
        messages().beep();
        logStatus(mainText("msgConnDataLost") + QString::number(waiting));
        return false;
    }
    const QByteArray body = m_port.readAll();
    if (body.size() < bodyBytes) {
        messages().beep();
        logStatus(mainText("msgConnDataLost") + QString::number(body.size()));
        return false;
    }
    const QByteArray reply = (head + body).left(REPLY_BYTES);

    quint32 computed = 0;
    quint32 received = 0;
    if (version == 1) {
        if (quint8(reply.at(REPLY_BYTES - 1)) != FRAME_END) {
            messages().beep();
            logStatus(mainText("msgConnDataBad"));
            return false;
        }
        for (int i = 2; i <= 29; ++i)
            computed += quint8(reply.at(i));
        received = quint8(reply.at(30)) | (quint8(reply.at(31)) << 8);
    } else {
        computed = frameCrc(reply.left(31));
        received = quint8(reply.at(31)) | (quint8(reply.at(32)) << 8);
    }
    const bool checksumGood = computed == received;
    if (!checksumGood) {
        // A mismatch is reported only; the reply is still used.
        messages().beep();
        logStatus(mainText("msgConnCheckError") + hexText(computed) + QStringLiteral("<-->") + hexText(received));
    }

    const quint8 replyAddress = quint8(reply.at(version == 1 ? 2 : 0));
    const QDateTime now = replyTimeNow();
    m_lastReplyAddr = replyAddress;
    m_lastReplyTime = now;
    if (version == 1 && replyAddress != address) {
        m_result = PollResult::WrongAddress;
        messages().beep();
        logStatus(mainText("msgAddrReplyError") + deviceSuffix() + QStringLiteral(" [%1]").arg(replyAddress));
        return false;
    }
    m_replyReceived = 1;
    m_result = checksumGood ? PollResult::Ok : PollResult::BadChecksum;
    // Lets pending events run; a sleep here would only lengthen the cycle.
    pauseMs(0);
    logDetail(mainText("msgDataRecvOK") + deviceSuffix());
    // Polling switched off while the reply came in: the values are not wanted.
    if (!m_timer.isActive()) {
        m_result = PollResult::Stopped;
        return false;
    }

    const DecodeSettings settings{sysSettings.totalpower != 0, now};
    const DecodeOutcome outcome = version == 1 ? decodeReplyV1(reply, paramTable, settings)
                                               : decodeReplyV2(reply, paramTable, settings);
    reportDecodeOutcome(outcome);
    m_lastGoodReplyTime = now;
    m_cycleDecoded = true;
    logStatus(mainText("msgDataProcessOk") + deviceSuffix());
    return true;
}

void Poller::switchOff()
{
    if (m_timer.isActive())
        m_timer.stop();
    saveParamValues();
}

void Poller::pollingSwitched()
{
    checkComState();
    stationBus().publishPolling(m_timer.isActive());
}

void Poller::switchOn()
{
    m_saveSchedule.restart();
    m_timer.start();
}

void Poller::togglePollingFromToolbar()
{
    if (m_timer.isActive()) {
        switchOff();
    } else {
        // The first poll follows at once.
        m_timer.setInterval(FIRST_TICK_INTERVAL_MS);
        switchOn();
    }
    pollingSwitched();
}

void Poller::togglePollingFromMenu()
{
    if (m_timer.isActive())
        switchOff();
    else
        switchOn();
    pollingSwitched();
}

void Poller::setComOpen(bool open)
{
    if (open) {
        if (!m_timer.isActive())
            switchOn();
    } else {
        switchOff();
    }
    pollingSwitched();
}

bool Poller::startPollingIfAutoStart()
{
    if (m_timer.isActive() || leadingNumber(userValue(UserKeys::AutoStartPolling)) == 0)
        return false;
    togglePollingFromToolbar();
    return true;
}

} // namespace vantoro
