// Alarm acknowledgement: the operator silences the tone for the faults
// present; a fault not acknowledged, or a link lost afterwards, sounds again.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace vantoro {

// What sounds the alarm after a cycle: the fault entries of the status
// evaluation and whether the link is lost while polling.
struct AlarmState
{
    QStringList faults;
    bool linkLost = false;
};


// The parameter a fault entry names ("Vac=262 outside limits (..)" gives
// "Vac"): the value in the entry changes every cycle, the fault does not.
QString faultParameter(const QString &entry);

// What the acknowledge control shows: nothing alarms, something alarms that
// was not acknowledged, or all that alarms was acknowledged.
enum class BellState { Quiet, Due, Acknowledged };

class AlarmAcknowledgement
{
public:
    BellState bell(const AlarmState &state) const;
    // The parameters acknowledged and still at fault, sorted; the link text
    // key "link" among them while an acknowledged loss lasts.
    QStringList acknowledged() const;
    // Acknowledges everything alarming now; returns what was newly
    // acknowledged (parameter names, and the link text key when the link is
    // lost), empty when there was nothing new to acknowledge.
    QStringList acknowledge(const AlarmState &state);
    // After each evaluation: a fault that cleared is forgotten, so its return
    // is a new fault; a link that came back likewise.
    void update(const AlarmState &state);
    // True when something alarms and all of it was acknowledged.
    bool silences(const AlarmState &state) const;
    bool isEmpty() const { return m_faults.isEmpty() && !m_linkLost; }

private:
    QSet<QString> m_faults;
    bool m_linkLost = false;
};

// One device's alarm state on a plant.
struct DeviceAlarm
{
    QString deviceId;
    AlarmState state;
};

// The acknowledgement of a plant: each device by its own rule, the bell by
// all of them (due while any device is due).
class PlantAcknowledgement
{
public:
    BellState bell(const QList<DeviceAlarm> &alarms) const;
    BellState bell(const DeviceAlarm &alarm) const { return m_devices.value(alarm.deviceId).bell(alarm.state); }
    // What each device newly acknowledged; devices with nothing new are left out.
    QList<QPair<QString, QStringList>> acknowledge(const QList<DeviceAlarm> &alarms);
    void update(const DeviceAlarm &alarm) { m_devices[alarm.deviceId].update(alarm.state); }
    // True when something alarms and all of it was acknowledged.
    bool silences(const QList<DeviceAlarm> &alarms) const;
    QStringList acknowledged(const QString &deviceId) const { return m_devices.value(deviceId).acknowledged(); }

private:
    QHash<QString, AlarmAcknowledgement> m_devices;
};

} // namespace vantoro
