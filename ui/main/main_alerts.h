// The main window's alert controls: the alarm acknowledgement (toolbar
// button and menu entry) and the stale look of the views with the age of the
// last reply in the status bar. The rules live in the core; this applies them.
#pragma once

#include "events/alarm_acknowledge.h"
#include "core/station_bus.h"
#include "events/stale_values.h"

#include <QObject>
#include <QTimer>

class QAction;
class QLabel;

namespace vantoro {

class Device;
class frmMain;

class MainAlerts : public QObject
{
public:
    explicit MainAlerts(frmMain &window);

    // Silences the tone for what alarms now and logs what was acknowledged.
    void acknowledge();
    // False while everything that alarms has been acknowledged.
    bool toneDue() const;
    // Whether the tone rule holds for any device: a fault while sound is on,
    // or a link lost while polling.
    bool alarmDue() const;
    // Re-judges staleness now (once a second and after every cycle).
    void refreshStaleness();
    // The running faults in the status bar and the acknowledge control's
    // look, after every refresh of the display.
    void showAlarmState();
    void languageApplied(int language);

    QAction *acknowledgeAction() const { return m_action; }
    QLabel *lastReplyPanel() const { return m_lastReply; }
    QLabel *faultsPanel() const { return m_faults; }
    BellState bellState() const { return m_bell; }
    bool valuesStale() const { return m_stale; }

private:
    void cycleFinished(const CycleReport &report);
    QList<DeviceAlarm> currentAlarms() const;
    // A device's name before its entries, once the plant has more than one.
    QString entryPrefix(const Device &device) const;
    void applyStaleLook(bool stale);
    QString lastReplyText(const Staleness &s) const;
    QStringList shownNames(const QStringList &names) const;

    frmMain &m_window;
    PlantAcknowledgement m_acknowledgement;
    QAction *m_action = nullptr;
    QLabel *m_lastReply = nullptr;
    QLabel *m_faults = nullptr;
    BellState m_bell = BellState::Quiet;
    bool m_bellShown = false;
    QTimer m_clock;
    bool m_stale = false;
    bool m_lookApplied = false;
};

} // namespace vantoro
