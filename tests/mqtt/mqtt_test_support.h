// A real broker for MQTT tests (mosquitto on a free loopback port, with a
// configuration of its own) and a subscriber that records what arrives.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <mutex>
#include <optional>

struct mosquitto;
struct mosquitto_message;

namespace vantoro::test {

class BrokerProcess
{
public:
    BrokerProcess();
    ~BrokerProcess();

    // Starts the broker; the first start picks a free port, later starts
    // reuse it. With a user, only that user and password are let in.
    bool start(const QString &user = QString(), const QString &password = QString());
    // Makes a certificate authority and a server certificate for 127.0.0.1
    // (with openssl) and listens with TLS from the next start; false when
    // they cannot be made.
    bool useTls();
    QString caFile() const;
    void stop();
    int port() const { return m_port; }
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
    QString m_error;
};

struct ReceivedMessage
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

class TestSubscriber
{
public:
    TestSubscriber();
    ~TestSubscriber();

    // Connects to the broker on 127.0.0.1 and subscribes to `pattern`.
    bool connect(int port, const QString &pattern = QStringLiteral("#"));
    // Publishes from the test's side (a config left from an earlier run).
    bool publish(const QString &topic, const QByteArray &payload, bool retain);

    QList<ReceivedMessage> messages() const;
    void clear();
    // The last message on `topic`, waiting up to `timeoutMs` for one that
    // `accept` takes (any message when none is given).
    std::optional<ReceivedMessage> waitFor(const QString &topic, int timeoutMs = 5000,
                                           const std::function<bool(const ReceivedMessage &)> &accept = {}) const;
    // The payload of the last message on `topic` as a JSON object.
    static QJsonObject json(const ReceivedMessage &message);

private:
    static void onMessage(mosquitto *, void *data, const mosquitto_message *message);
    static void onConnect(mosquitto *, void *data, int rc);

    mosquitto *m_mosq = nullptr;
    QString m_pattern;
    mutable std::mutex m_mutex;
    QList<ReceivedMessage> m_messages;
};

} // namespace vantoro::test
