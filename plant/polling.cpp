// The poll cycle, the reply checks and the link state.
#include "plant/polling.h"

#include "acquisition/frames.h"
#include "acquisition/param_table.h"
#include "acquisition/reply_decoding.h"
#include "acquisition/serial_link.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "plant/cycle_report.h"
#include "events/event_log.h"

#include <QElapsedTimer>
#include <algorithm>
#include <exception>
#include <optional>

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

Poller::Poller(Line &line, QTimer &timerReloadData, PollHooks hooks)
    : m_line(line)
    , m_port(line.port())
    , m_timer(timerReloadData)
    , m_hooks(std::move(hooks))
{
    if (!m_timer.isActive())
        m_timer.setInterval(INITIAL_RELOAD_INTERVAL_MS);
    m_clock.start();
}

Poller::~Poller()
{
    releasePort();
}

void Poller::releasePort()
{
    // An exchange under way closes the port at its end.
    m_port.setHeldForPolling(false);
    reopenPort();
}

void Poller::reopenPort()
{
    if (!m_port.exchangeUnderWay() && m_port.isOpen()) {
        m_port.close();
        logTrace(mainText("msgConnectionClosed"));
    }
}

bool Poller::linkLost(const Device &device) const
{
    return device.link().linkOk == 0 && !device.link().sleep.silentlyAsleep() && m_timer.isActive();
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
    // A remote command waiting for its reply has the line: a round now would
    // talk over it, so this one is left to the next tick.
    if (m_port.exchangeUnderWay()) {
        logStatus(QStringLiteral("Com port is busy!"), sysSettings.debugMode == 0);
        return;
    }
    const QList<CycleReport> reports = pollRound();
    if (m_timer.isActive())
        m_saveSchedule.saveIfDue([this] { return m_line.saveValues(); });
    if (m_timer.isActive()) {
        // Restarted, so the next tick comes a full interval after this round.
        m_timer.stop();
        m_timer.setInterval(reloadIntervalMs(sysSettings.PauseSeconds));
        m_timer.start();
    }
    stationBus().publishRound(roundOf(reports, m_timer.isActive(), QDateTime::currentDateTime()));
    if (m_hooks.roundFinished)
        m_hooks.roundFinished();
}

QList<CycleReport> Poller::pollRound()
{
    m_line.followAddress(sysSettings.LineAddress);
    PortExchange exchange(m_port);
    // Held open from round to round while polling: opening a serial port
    // costs its lock file and a network line its connect.
    m_port.setHeldForPolling(m_timer.isActive());
    m_portFailedThisRound = false;
    QList<CycleReport> reports;
    bool setUp = false;
    bool lineAnswered = false;
    for (const auto &owned : m_line.devices()) {
        Device &device = *owned;
        if (!device.record().enabled)
            continue;
        LinkState &link = device.link();
        link.attempts.clear();
        link.cycleDecoded = false;
        if (!setUp) {
            setUp = true;
            if (!prepareCommPort(m_port, sysSettings.ComSettings, sysSettings.comport, true)) {
                logStatus(QStringLiteral("Error while send command!"));
                m_portFailedThisRound = true;
            }
        }
        queryData(device);
        lineAnswered = lineAnswered || std::any_of(link.attempts.cbegin(), link.attempts.cend(), [](PollResult r) {
            return r != PollResult::Timeout && r != PollResult::SendError && r != PollResult::Stopped;
        });
        if (link.cycleDecoded)
            logStatus(mainText("msgLastReply") + QLatin1Char(' ')
                          + link.lastGoodReplyTime.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ')
                          + device.suffix(),
                      true);
        if (link.linkOk == 1) {
            if (m_hooks.refreshDisplay)
                m_hooks.refreshDisplay(device);
        } else if (m_hooks.showLinkDown) {
            m_hooks.showLinkDown(device);
        }
        reports << publishCycle(device);
        // Polling switched off or a quit: the rest of the round is not wanted.
        if (quitRequested || !m_timer.isActive())
            break;
    }
    // Switched off within the round: the exchange's end closes the port.
    if (!m_timer.isActive() || quitRequested)
        m_port.setHeldForPolling(false);
    // Not a byte from any device: the port may reach nothing any more (an
    // adapter unplugged and back, a pseudo-terminal whose far end went,
    // which report no error), so the next round opens it afresh.
    else if (!lineAnswered && setUp && m_port.isOpen()) {
        m_port.close();
        logTrace(mainText("msgConnectionClosed"));
    }
    return reports;
}

CycleReport Poller::publishCycle(Device &device)
{
    const LinkState &link = device.link();
    CycleOutcome outcome;
    outcome.linkUp = link.linkOk == 1;
    outcome.polling = m_timer.isActive();
    outcome.replied = link.cycleDecoded;
    outcome.lastReplyTime = link.lastGoodReplyTime;
    outcome.attempts = link.attempts;
    outcome.asleep = link.sleep.asleep();
    const CycleReport report = makeCycleReport(outcome, device);
    stationBus().publishCycle(report);
    return report;
}

bool Poller::queryData(Device &device)
{
    if (m_queryBusy)
        return false;
    BusyFlag busy(m_queryBusy);
    try {
        return runQuery(device);
    } catch (const std::exception &e) {
        messages().beep();
        logStatus(QStringLiteral("Connection Error：") + QString::fromLocal8Bit(e.what())
                  + QStringLiteral("  Source:Vantoro"));
        return false;
    }
}

bool Poller::runQuery(Device &device)
{
    // Outside a round (a test, a remote dialog's own poll) the port is
    // prepared here; inside one it is already open for the round.
    const bool ownExchange = !m_reloadBusy;
    if (ownExchange && m_port.exchangeUnderWay()) {
        // Another exchange (a remote command) holds the port.
        messages().beep();
        logStatus(QStringLiteral("Com port is busy!"), sysSettings.debugMode == 0);
        return false;
    }
    std::optional<PortExchange> exchange;
    if (ownExchange) {
        m_line.followAddress(sysSettings.LineAddress);
        exchange.emplace(m_port);
        m_portFailedThisRound = false;
        if (!prepareCommPort(m_port, sysSettings.ComSettings, sysSettings.comport, true)) {
            device.link().attempts << PollResult::SendError;
            logStatus(QStringLiteral("Error while send command!"));
            return false;
        }
    }
    logDetail(mainText("msgBeginToQuery") + QLatin1Char(' ') + device.suffix());
    // A stored negative count would run no attempt and report the link up.
    const int retries = std::max(0, sysSettings.retrytimes);
    int ok = 1;
    // A stop, a quit or a failed write ends the cycle without a verdict on
    // the link.
    bool cutShort = false;
    for (int n = 0; n <= retries; ++n) {
        if (n > 0) {
            logStatus(mainText("msgRetryTimes") + QString::number(n) + QLatin1Char(' ') + device.suffix());
            waitSeconds(RETRY_PAUSE_SECONDS);
            if (quitRequested || !m_timer.isActive()) {
                cutShort = true;
                break;
            }
        }
        bool accepted = false;
        if (!attempt(device, sysSettings.TimeOut, accepted)) {
            cutShort = true;
            break;
        }
        if (accepted) {
            ok = 1;
            break;
        }
        ok = 0;
        // A port that would not open fails every attempt: the other devices
        // of the round are not kept waiting by its retries.
        if (m_portFailedThisRound)
            break;
    }
    const PollResult last = device.link().attempts.isEmpty() ? PollResult::Timeout : device.link().attempts.last();
    // Stopped by the operator (or a quit): that says nothing about the link.
    if (cutShort || last == PollResult::Stopped || quitRequested)
        return false;
    if (device.link().attempts.isEmpty())
        return false;
    setLinkState(device, ok, retries);
    return true;
}

bool Poller::attempt(Device &device, double timeoutSeconds, bool &accepted)
{
    LinkState &link = device.link();
    const DeviceRecord &r = device.record();
    const bool crcProtocol = r.protocol == 2;
    const quint8 address = quint8(r.address);
    // A port that cannot be opened (an adapter unplugged) is a failed
    // attempt like a silent device, so the link goes down and says so.
    if (m_portFailedThisRound || !openForPolling(device)) {
        m_portFailedThisRound = true;
        link.attempts << PollResult::SendError;
        logStatus(QStringLiteral("Error while send command!"));
        return true;
    }
    // A late reply of the device before is no reply of this one.
    m_port.flush();
    const QByteArray data(POLL_DATA_BYTES, '\0');
    const bool sent = crcProtocol ? sendCrcFrame(m_port, address, data, FUNCTION_POLL)
                                  : sendPollV1(m_port, address, data, POLL_COMMAND_V1);
    if (!sent) {
        link.attempts << PollResult::SendError;
        logStatus(QStringLiteral("Error while send command!"));
        // The port is in doubt: it is opened afresh for the next device.
        if (m_port.isOpen())
            m_port.close();
        return false;
    }
    if (!m_port.isOpen())
        m_port.open();
    m_result = PollResult::Timeout;
    accepted = crcProtocol ? receiveReplyV2(device, timeoutSeconds, address, FUNCTION_POLL)
                           : receiveReplyV1(device, timeoutSeconds, address, POLL_COMMAND_V1);
    link.attempts << m_result;
    return m_result != PollResult::Stopped && !quitRequested;
}

void Poller::setLinkState(Device &device, int ok, int retries)
{
    LinkState &link = device.link();
    const QString &id = device.id();
    if (ok == 1) {
        // A device that slept without answering did not lose its link.
        const bool quietReturn = link.sleep.silentlyAsleep();
        const SleepChange change = link.sleep.replied(
            dcInputPowerWatts(device.table()),
            standbyThresholdWatts(sysSettings.StandbyPercent, device.record().rating), m_clock.elapsed());
        setDcSideResting(device.table(), link.sleep.asleep());
        if (link.linkOk != 1) {
            link.linkOk = 1;
            if (!quietReturn)
                logEvent(mainText("msgConnResumed") + device.suffix(), id, QString(), true);
        }
        if (change == SleepChange::FellAsleep)
            logEvent(mainText("msgDeviceAsleep") + device.suffix(), id, QString(), true);
        else if (change == SleepChange::WokeUp)
            logEvent(mainText("msgDeviceAwake") + device.suffix(), id, QString(), true);
        return;
    }
    if (link.sleep.silent(m_clock.elapsed())) {
        link.linkOk = 0;
        return;
    }
    if (ok == link.linkOk)
        return;
    link.linkOk = ok;
    QString event;
    if (retries > 0)
        event = mainText("msgConnFail") + QString::number(retries) + QLatin1Char(')');
    else
        event = mainText("msgConnFail0");
    logEvent(event + device.suffix(), id, QString(), true);
}

bool Poller::openForPolling(const Device &device)
{
    if (m_port.isOpen() || m_port.open()) {
        m_portUnavailable = false;
        return true;
    }
    // A port that is gone (an adapter unplugged) fails every cycle until it
    // is back. A message box on each would stop the polling that finds it
    // again, so it is shown once, and not at all when the link is already
    // reported down; the running log keeps the cause of every cycle.
    if (!m_portUnavailable && device.linkUp())
        reportError(QStringLiteral("Send command code"), m_port.errorText());
    else
        logStatus(QStringLiteral("Serial port not opened: ") + m_port.errorText());
    m_portUnavailable = true;
    return false;
}

bool Poller::receiveReplyV1(Device &device, double timeoutSeconds, quint8 address, quint8 command)
{
    return receiveReply(device, 1, timeoutSeconds, address, command);
}

bool Poller::receiveReplyV2(Device &device, double timeoutSeconds, quint8 address, quint8 function)
{
    return receiveReply(device, 2, timeoutSeconds, address, function);
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

bool Poller::receiveReply(Device &device, int version, double timeoutSeconds, quint8 address, quint8 function)
{
    LinkState &link = device.link();
    link.replyReceived = 0;
    if (!m_port.isOpen() || !waitForReply(timeoutSeconds))
        return false;
    logDetail(QStringLiteral("Received data %1 bytes.").arg(m_port.bytesWaiting()));

    // A CRC reply is found by its function and length, whatever address it
    // carries, so an answer of another device on the line is told apart.
    QByteArray head = version == 1 ? replyHeadV1() : replyHeadV2(address, function);
    quint8 addressByte = 0;
    if (version == 2)
        head.remove(0, 1);
    m_result = PollResult::BadChecksum;   // a damaged frame, until it checks out
    if (!findhead(m_port, head, &addressByte)) {
        messages().beep();
        logStatus(mainText("msgConnDataLost") + (version == 1 ? QString::number(m_port.bytesWaiting()) : QString()));
        return false;
    }
    if (version == 2)
        head.prepend(char(addressByte));
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
    link.lastReplyAddr = replyAddress;
    link.lastReplyTime = now;
    // On a line of several devices another one may answer: its reply is
    // never credited to the device asked.
    if (replyAddress != address) {
        m_result = PollResult::WrongAddress;
        messages().beep();
        logStatus(mainText("msgAddrReplyError") + device.suffix() + QStringLiteral(" [%1]").arg(replyAddress));
        return false;
    }
    link.replyReceived = 1;
    m_result = checksumGood ? PollResult::Ok : PollResult::BadChecksum;
    // Lets pending events run; a sleep here would only lengthen the cycle.
    pauseMs(0);
    logDetail(mainText("msgDataRecvOK") + device.suffix());
    // Polling switched off while the reply came in: the values are not wanted.
    if (!m_timer.isActive()) {
        m_result = PollResult::Stopped;
        return false;
    }

    const DecodeSettings settings{device.record().meterCounter, now};
    const DecodeOutcome outcome = version == 1 ? decodeReplyV1(reply, device.table(), settings)
                                               : decodeReplyV2(reply, device.table(), settings);
    reportDecodeOutcome(outcome, device.id());
    link.lastGoodReplyTime = now;
    link.cycleDecoded = true;
    logStatus(mainText("msgDataProcessOk") + device.suffix());
    return true;
}

void Poller::switchOff()
{
    if (m_timer.isActive())
        m_timer.stop();
    // The line is let go for the editors and other programs.
    releasePort();
    m_line.saveValues();
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
