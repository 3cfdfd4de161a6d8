// One connection to a broker through libmosquitto, run on a thread of its
// own: connecting, the network loop and every retry happen there, so a slow,
// absent or refusing broker never holds up the caller. Publishing only
// queues the message. Results come back as signals, queued to the owner's
// thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace vantoro {

inline constexpr int MQTT_RETRY_FIRST_SECONDS = 1;
inline constexpr int MQTT_RETRY_LAST_SECONDS = 60;
// Also the longest a connect attempt may take before it counts as failed.
inline constexpr int MQTT_KEEPALIVE_SECONDS = 30;

// The wait before retry number `attempt` (0 = the first retry): doubling
// from 1 s, held at 60 s.
int mqttRetryDelaySeconds(int attempt);

struct MqttLinkOptions
{
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile;
    QString userName;
    QString password;
    QString clientId;
    QString willTopic;      // the last will, retained, QoS 1; none when empty
    QByteArray willPayload;
    // How long a broker that took the connection may stay silent before
    // the attempt counts as failed.
    int answerTimeoutSeconds = MQTT_KEEPALIVE_SECONDS;
};

struct MqttLinkShared;

class MqttLink : public QObject
{
    Q_OBJECT
public:
    explicit MqttLink(QObject *parent = nullptr);
    ~MqttLink() override;

    // Starts connecting; retries until stop(). False when the options are
    // refused outright (the reason went out through connectFailed).
    bool start(const MqttLinkOptions &options);
    // Publishes `lastTopic`/`lastPayload` (retained) when connected, then
    // disconnects and waits at most `waitMs` for the thread to end.
    void stop(const QString &lastTopic = QString(), const QByteArray &lastPayload = QByteArray(), int waitMs = 2000);

    bool isConnected() const;
    // Queues a message; false while not connected.
    bool publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    bool subscribe(const QString &pattern);

signals:
    void connected();
    // A connect attempt failed (refused, unreachable, bad credentials, TLS).
    void connectFailed(const QString &reason);
    void connectionLost(const QString &reason);
    void messageArrived(const QString &topic, const QByteArray &payload);

private:
    std::shared_ptr<MqttLinkShared> m_shared;
};

} // namespace vantoro
