// Discovery config bookkeeping.
#include "mqtt/mqtt_discovery.h"

namespace vantoro {

void DiscoveryTracker::reset()
{
    m_sent.clear();
    m_found.clear();
}

QList<MqttMessage> DiscoveryTracker::resendAll()
{
    m_sent.clear();
    return sync();
}

QList<MqttMessage> DiscoveryTracker::update(const QList<MqttMessage> &wanted, bool complete)
{
    m_wanted = wanted;
    m_complete = complete;
    return sync();
}

QList<MqttMessage> DiscoveryTracker::found(const QString &topic, const QByteArray &payload)
{
    if (payload.isEmpty()) {
        m_found.remove(topic);
        return {};
    }
    if (m_sent.contains(topic))
        return {}; // our own config coming back
    m_found.insert(topic);
    return sync();
}

QList<MqttMessage> DiscoveryTracker::sync()
{
    QList<MqttMessage> out;
    QSet<QString> wantedTopics;
    for (const MqttMessage &w : std::as_const(m_wanted)) {
        wantedTopics.insert(w.topic);
        const auto sent = m_sent.constFind(w.topic);
        if (sent != m_sent.constEnd() && *sent == w.payload)
            continue;
        m_sent.insert(w.topic, w.payload);
        m_found.remove(w.topic);
        out << w;
    }
    if (!m_complete)
        return out;
    QSet<QString> stale = m_found;
    for (auto it = m_sent.constBegin(); it != m_sent.constEnd(); ++it)
        stale.insert(it.key());
    stale.subtract(wantedTopics);
    for (const QString &topic : std::as_const(stale)) {
        m_sent.remove(topic);
        m_found.remove(topic);
        out << MqttMessage{topic, QByteArray(), true, 1};
    }
    return out;
}

} // namespace vantoro
