// Alarm acknowledgement rules.
#include "events/alarm_acknowledge.h"

namespace vantoro {

QString faultParameter(const QString &entry)
{
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    return equals < 0 ? entry : entry.left(equals);
}

QStringList AlarmAcknowledgement::acknowledge(const AlarmState &state)
{
    QStringList added;
    for (const QString &entry : state.faults) {
        const QString key = faultParameter(entry);
        if (!m_faults.contains(key)) {
            m_faults.insert(key);
            added << key;
        }
    }
    if (state.linkLost && !m_linkLost) {
        m_linkLost = true;
        added << QStringLiteral("link");
    }
    return added;
}

void AlarmAcknowledgement::update(const AlarmState &state)
{
    QSet<QString> present;
    for (const QString &entry : state.faults)
        present.insert(faultParameter(entry));
    m_faults.intersect(present);
    m_linkLost = m_linkLost && state.linkLost;
}

BellState AlarmAcknowledgement::bell(const AlarmState &state) const
{
    if (state.faults.isEmpty() && !state.linkLost)
        return BellState::Quiet;
    return silences(state) ? BellState::Acknowledged : BellState::Due;
}

QStringList AlarmAcknowledgement::acknowledged() const
{
    QStringList names(m_faults.cbegin(), m_faults.cend());
    names.sort();
    if (m_linkLost)
        names << QStringLiteral("link");
    return names;
}

bool AlarmAcknowledgement::silences(const AlarmState &state) const
{
    if (state.faults.isEmpty() && !state.linkLost)
        return false;
    if (state.linkLost && !m_linkLost)
        return false;
    for (const QString &entry : state.faults) {
        if (!m_faults.contains(faultParameter(entry)))
            return false;
    }
    return true;
}

BellState PlantAcknowledgement::bell(const QList<DeviceAlarm> &alarms) const
{
    BellState bell = BellState::Quiet;
    for (const DeviceAlarm &a : alarms) {
        const BellState one = m_devices.value(a.deviceId).bell(a.state);
        if (one == BellState::Due)
            return BellState::Due;
        if (one == BellState::Acknowledged)
            bell = BellState::Acknowledged;
    }
    return bell;
}

QList<QPair<QString, QStringList>> PlantAcknowledgement::acknowledge(const QList<DeviceAlarm> &alarms)
{
    QList<QPair<QString, QStringList>> added;
    for (const DeviceAlarm &a : alarms) {
        const QStringList names = m_devices[a.deviceId].acknowledge(a.state);
        if (!names.isEmpty())
            added.append({a.deviceId, names});
    }
    return added;
}

bool PlantAcknowledgement::silences(const QList<DeviceAlarm> &alarms) const
{
    return bell(alarms) == BellState::Acknowledged;
}

} // namespace vantoro
