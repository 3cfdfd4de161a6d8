// Keeps the broker's retained discovery configs in line with the station's
// parameters: each config is sent once per connection and again only when
// it changes; configs of parameters no longer enabled, whether sent in this
// run or found on the broker from an earlier one, are removed.
#pragma once

#include "mqtt/mqtt_payloads.h"

#include <QHash>
#include <QSet>

namespace vantoro {

class DiscoveryTracker
{
public:
    // A new connection: everything is sent again.
    void reset();
    // Every wanted config again, on this connection: the consumer restarted
    // and may have lost them.
    QList<MqttMessage> resendAll();
    // The configs wanted now. While `complete` is false (no cycle with the
    // link up yet, so the enabled parameters are unknown) nothing is removed.
    QList<MqttMessage> update(const QList<MqttMessage> &wanted, bool complete);
    // A retained config the broker holds under the station's sensor topics.
    QList<MqttMessage> found(const QString &topic, const QByteArray &payload);

private:
    QList<MqttMessage> sync();

    QList<MqttMessage> m_wanted;
    bool m_complete = false;
    QHash<QString, QByteArray> m_sent;
    QSet<QString> m_found;
};

} // namespace vantoro
