// Alarm acknowledgement and stale values in the main window.
#include "ui/main/main_alerts.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"
#include "ui/main/frm_main.h"
#include "ui/main/main_views.h"

#include <QAction>
#include <QGraphicsColorizeEffect>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QStatusBar>
#include <QToolBar>

namespace vantoro {

namespace {

const QString mainSection = QStringLiteral("frmMain");
constexpr int STALENESS_CHECK_MS = 1000;

QString mainText(const char *key)
{
    return langText(mainSection, QString::fromLatin1(key));
}

// Greyed, not hidden: the last values stay readable, and plainly not live.
void greyOut(QWidget *view, bool stale)
{
    if (!view)
        return;
    if (!stale) {
        view->setGraphicsEffect(nullptr);
        return;
    }
    auto *effect = new QGraphicsColorizeEffect(view);
    effect->setColor(QColor(128, 128, 128));
    effect->setStrength(0.85);
    view->setGraphicsEffect(effect);
}

void insertAfter(QWidget *holder, QAction *after, QAction *action)
{
    const QList<QAction *> entries = holder->actions();
    const qsizetype at = entries.indexOf(after);
    holder->insertAction(at >= 0 && at + 1 < entries.size() ? entries.at(at + 1) : nullptr, action);
}

} // namespace

MainAlerts::MainAlerts(frmMain &window)
    : QObject(&window)
    , m_window(window)
{
    m_action = new QAction(QIcon(QStringLiteral(":/icons/ackalarm.svg")), mainText("mnuAckAlarm"), &window);
    m_action->setObjectName(QStringLiteral("mnuAckAlarm"));
    m_action->setShortcut(QKeySequence(Qt::Key_F8));
    connect(m_action, &QAction::triggered, this, &MainAlerts::acknowledge);
    // Beside the polling switch on the toolbar, beside the sound switch in
    // the menu.
    if (auto *toolbar = window.findChild<QToolBar *>(QStringLiteral("Tb1")))
        insertAfter(toolbar, window.toolButton(QStringLiteral("plug")), m_action);
    if (auto *menu = window.findChild<QMenu *>(QStringLiteral("mnuSys")))
        insertAfter(menu, window.action(QStringLiteral("mnuEnableSound")), m_action);

    m_faults = new QLabel(window.statusBar());
    m_faults->setObjectName(QStringLiteral("panel_faults"));
    m_faults->setContentsMargins(4, 0, 4, 0);
    m_faults->setStyleSheet(QStringLiteral("QLabel { color: white; background: #c0392b; font-weight: bold; }"));
    m_faults->hide();
    window.statusBar()->addPermanentWidget(m_faults);

    m_lastReply = new QLabel(window.statusBar());
    m_lastReply->setObjectName(QStringLiteral("panel_lastReply"));
    m_lastReply->setContentsMargins(4, 0, 4, 0);
    m_lastReply->hide();
    window.statusBar()->addPermanentWidget(m_lastReply);

    connect(&stationBus(), &StationBus::cycleFinished, this, &MainAlerts::cycleFinished);
    connect(&stationBus(), &StationBus::pollingChanged, this, &MainAlerts::refreshStaleness);
    m_clock.setInterval(STALENESS_CHECK_MS);
    connect(&m_clock, &QTimer::timeout, this, &MainAlerts::refreshStaleness);
    m_clock.start();
    showAlarmState();
}

QList<DeviceAlarm> MainAlerts::currentAlarms() const
{
    QList<DeviceAlarm> alarms;
    for (const auto &device : m_window.line().devices()) {
        if (device->record().enabled)
            alarms.append({device->id(), {faultEntries(device->table()), m_window.poller().linkLost(*device)}});
    }
    return alarms;
}

QString MainAlerts::entryPrefix(const Device &device) const
{
    if (m_window.line().devices().size() < 2)
        return QString();
    return (device.name().trimmed().isEmpty() ? device.id() : device.name().trimmed()) + QStringLiteral(": ");
}

void MainAlerts::cycleFinished(const CycleReport &report)
{
    for (const DeviceAlarm &a : currentAlarms()) {
        if (a.deviceId == report.deviceId)
            m_acknowledgement.update(a);
    }
    refreshStaleness();
    showAlarmState();
}

bool MainAlerts::alarmDue() const
{
    const bool polling = m_window.timerReloadData().isActive();
    for (const auto &device : m_window.line().devices()) {
        if (!device->record().enabled)
            continue;
        const LinkState &link = device->link();
        // Faults sound while they are watched: once polling stops, a fault
        // found before must not sound for ever, unless a refresh finds it
        // again.
        const bool faults = (polling || m_window.bFoundError) && !faultEntries(device->table()).isEmpty();
        if (vantoro::alarmDue(faults, sysSettings.Soundenabled, link.linkOk, polling,
                              link.sleep.silentlyAsleep()))
            return true;
    }
    return false;
}

QStringList MainAlerts::shownNames(const QStringList &names) const
{
    QStringList shown = names;
    shown.replaceInStrings(QRegularExpression(QStringLiteral("^link$")), mainText("msgLinkLost"));
    return shown;
}

void MainAlerts::acknowledge()
{
    const auto added = m_acknowledgement.acknowledge(currentAlarms());
    showAlarmState();
    if (added.isEmpty()) {
        m_window.showStatus(mainText(m_bell == BellState::Quiet ? "msgNothingToAcknowledge" : "msgAlreadyAcknowledged"));
        return;
    }
    QString shown;
    for (const auto &[id, names] : added) {
        const Device *device = m_window.line().device(id);
        // The language text ends in a colon; the file trims the blank after it.
        const QString text = mainText("msgAlarmAcknowledged") + QLatin1Char(' ')
            + (device ? entryPrefix(*device) : QString()) + shownNames(names).join(QStringLiteral(", "));
        logEvent(text, id, QString(), true);
        shown = shown.isEmpty() ? text : shown + QStringLiteral("; ") + text;
    }
    m_window.showStatus(shown);
}

void MainAlerts::showAlarmState()
{
    const QList<DeviceAlarm> alarms = currentAlarms();
    QStringList running;
    QStringList lost;
    for (const DeviceAlarm &a : alarms) {
        const Device *device = m_window.line().device(a.deviceId);
        const QString prefix = device ? entryPrefix(*device) : QString();
        if (a.state.linkLost)
            lost << prefix + mainText("msgLinkLost");
        for (const QString &entry : a.state.faults)
            running << prefix + entry;
    }
    running = lost + running;
    QString summary;
    if (!running.isEmpty()) {
        summary = mainText("msgFaultPanel").arg(running.first());
        if (running.size() > 1)
            summary += QLatin1Char(' ') + mainText("msgMoreFaults").arg(running.size() - 1);
    }
    if (m_faults->text() != summary) {
        m_faults->setText(summary);
        m_faults->setToolTip(running.join(QLatin1Char('\n')));
    }
    m_faults->setVisible(!running.isEmpty());

    const BellState bell = m_acknowledgement.bell(alarms);
    for (const DeviceAlarm &a : alarms)
        stationBus().publishAcknowledged(a.deviceId, m_acknowledgement.bell(a) == BellState::Acknowledged);
    if (bell != m_bell || !m_bellShown) {
        m_bell = bell;
        m_bellShown = true;
        const char *icon = bell == BellState::Quiet ? ":/icons/ackalarm_quiet.svg"
            : bell == BellState::Due                ? ":/icons/ackalarm_due.svg"
                                                    : ":/icons/ackalarm.svg";
        m_action->setIcon(QIcon(QString::fromLatin1(icon)));
    }
    QString tip = mainText("tbAckAlarm") + QStringLiteral("\n");
    if (bell == BellState::Quiet)
        tip += mainText("msgNothingToAcknowledge");
    else if (bell == BellState::Due)
        tip += mainText("msgAcknowledgeDue");
    else
    {
        QStringList names;
        for (const DeviceAlarm &a : alarms) {
            const Device *device = m_window.line().device(a.deviceId);
            for (const QString &name : shownNames(m_acknowledgement.acknowledged(a.deviceId)))
                names << (device ? entryPrefix(*device) : QString()) + name;
        }
        tip += mainText("msgAlarmAcknowledged") + QLatin1Char(' ') + names.join(QStringLiteral(", "));
    }
    if (m_action->toolTip() != tip)
        m_action->setToolTip(tip);
}

bool MainAlerts::toneDue() const
{
    return !m_acknowledgement.silences(currentAlarms());
}

void MainAlerts::refreshStaleness()
{
    const bool polling = m_window.timerReloadData().isActive();
    const Device *device = m_window.device();
    const Staleness s = valueStaleness(device ? device->link().lastGoodReplyTime : QDateTime(),
                                       QDateTime::currentDateTime(), reloadIntervalMs(sysSettings.PauseSeconds),
                                       device && device->linkUp(), polling);
    m_stale = s.stale;
    applyStaleLook(s.stale);
    const QString text = s.stale ? lastReplyText(s) : QString();
    if (m_lastReply->text() != text)
        m_lastReply->setText(text);
    m_lastReply->setVisible(s.stale);
}

void MainAlerts::applyStaleLook(bool stale)
{
    if (stale == m_lookApplied)
        return;
    m_lookApplied = stale;
    MainViews *views = m_window.views();
    // The trend charts keep their history: only the live values grey.
    for (QWidget *view : {views->picState(), views->grid(), views->picMeter()})
        greyOut(view, stale);
}

QString MainAlerts::lastReplyText(const Staleness &s) const
{
    if (m_window.device() && m_window.device()->link().sleep.silentlyAsleep())
        return mainText("msgDeviceAsleep");
    if (s.ageSeconds < 0)
        return mainText("msgNoReply");
    if (s.ageSeconds < 60)
        return mainText("msgLastReplySec").arg(s.ageSeconds);
    return mainText("msgLastReplyMin").arg(s.ageSeconds / 60);
}

void MainAlerts::languageApplied(int language)
{
    Q_UNUSED(language);
    m_lastReply->clear();
    refreshStaleness();
    m_bellShown = false;
    m_faults->clear();
    showAlarmState();
}

} // namespace vantoro
