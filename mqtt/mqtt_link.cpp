// The broker connection's thread: connect, loop, wait, retry.
#include "mqtt/mqtt_link.h"

#include <mosquitto.h>

#include <QByteArray>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace vantoro {

namespace {

// How long one pass of the network loop may sleep: bounds how late the
// thread sees a stop while nothing else wakes it.
constexpr int LOOP_SLICE_MS = 250;
constexpr int DISCONNECT_FLUSH_MS = 1000;
constexpr const char *SYSTEM_CA_DIRECTORY = "/etc/ssl/certs";

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

struct MqttLinkShared
{
    mosquitto *mosq = nullptr;
    MqttLinkOptions options;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> connected{false};
    // Thread-only: the CONNACK code of the attempt (-1 none) and whether the
    // attempt got as far as a session.
    int refusal = -1;
    bool sessionUp = false;

    std::mutex mutex;               // guards owner and finished
    std::condition_variable wake;   // a stop, or the thread's end
    MqttLink *owner = nullptr;
    bool finished = false;

    template<typename Emit>
    void notify(Emit emitTo)
    {
        std::lock_guard lock(mutex);
        if (owner)
            emitTo(owner);
    }
};

namespace {

void onConnect(mosquitto *, void *data, int rc)
{
    auto *s = static_cast<MqttLinkShared *>(data);
    if (rc != 0) {
        s->refusal = rc;
        return;
    }
    s->sessionUp = true;
    s->connected = true;
    s->notify([](MqttLink *owner) { emit owner->connected(); });
}

void onDisconnect(mosquitto *, void *data, int)
{
    static_cast<MqttLinkShared *>(data)->connected = false;
}

void onMessage(mosquitto *, void *data, const mosquitto_message *message)
{
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    static_cast<MqttLinkShared *>(data)->notify(
        [&](MqttLink *owner) { emit owner->messageArrived(topic, payload); });
}

QString failureText(int rc, int savedErrno, int refusal, bool sessionUp, int answerTimeoutSeconds)
{
    if (refusal >= 0)
        return QString::fromUtf8(mosquitto_connack_string(refusal));
    // A broker (or something else) took the connection and said nothing;
    // libmosquitto itself has no words for that.
    if (rc == MOSQ_ERR_KEEPALIVE)
        return sessionUp ? QStringLiteral("the broker stopped answering")
                         : QStringLiteral("the broker did not answer within %1 s").arg(answerTimeoutSeconds);
    if (rc == MOSQ_ERR_ERRNO && savedErrno != 0)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// Waits `seconds` unless a stop comes first.
void pause(MqttLinkShared &s, int seconds)
{
    std::unique_lock lock(s.mutex);
    s.wake.wait_for(lock, std::chrono::seconds(seconds), [&] { return s.stopping.load(); });
}

void closeOrderly(MqttLinkShared &s)
{
    if (!s.connected)
        return;
    mosquitto_disconnect(s.mosq);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(DISCONNECT_FLUSH_MS);
    while (std::chrono::steady_clock::now() < deadline && mosquitto_loop(s.mosq, 100, 1) == MOSQ_ERR_SUCCESS) {
    }
}

void run(std::shared_ptr<MqttLinkShared> s)
{
    const QByteArray host = s->options.host.toUtf8();
    int retry = 0;
    while (!s->stopping) {
        s->refusal = -1;
        s->sessionUp = false;
        errno = 0;
        int rc = mosquitto_connect_async(s->mosq, host.constData(), s->options.port, MQTT_KEEPALIVE_SECONDS);
        int savedErrno = errno;
        const auto answerDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(s->options.answerTimeoutSeconds);
        while (rc == MOSQ_ERR_SUCCESS && !s->stopping) {
            rc = mosquitto_loop(s->mosq, LOOP_SLICE_MS, 1);
            savedErrno = errno;
            if (rc == MOSQ_ERR_SUCCESS && !s->sessionUp && s->refusal < 0
                && std::chrono::steady_clock::now() >= answerDeadline) {
                mosquitto_disconnect(s->mosq);
                mosquitto_loop(s->mosq, 0, 1);
                rc = MOSQ_ERR_KEEPALIVE;
            }
        }
        if (s->stopping)
            break;
        s->connected = false;
        const QString reason = failureText(rc, savedErrno, s->refusal, s->sessionUp, s->options.answerTimeoutSeconds);
        if (s->sessionUp) {
            retry = 0;
            s->notify([&](MqttLink *owner) { emit owner->connectionLost(reason); });
        } else {
            s->notify([&](MqttLink *owner) { emit owner->connectFailed(reason); });
        }
        pause(*s, mqttRetryDelaySeconds(retry++));
    }
    closeOrderly(*s);
    s->connected = false;
    mosquitto_destroy(s->mosq);
    s->mosq = nullptr;
    {
        std::lock_guard lock(s->mutex);
        s->finished = true;
    }
    s->wake.notify_all();
}

// Applies the options to a new client; the reason when one is refused.
QString configure(mosquitto *m, const MqttLinkOptions &o)
{
    mosquitto_threaded_set(m, true);
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    int rc = MOSQ_ERR_SUCCESS;
    if (!o.userName.isEmpty())
        rc = mosquitto_username_pw_set(m, o.userName.toUtf8().constData(),
                                       o.password.isEmpty() ? nullptr : o.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !o.willTopic.isEmpty())
        rc = mosquitto_will_set(m, o.willTopic.toUtf8().constData(), int(o.willPayload.size()),
                                o.willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && o.tls) {
        // Without a CA file the system's store; named as a directory, since
        // with the store option alone every retry after a failed handshake
        // is refused as invalid.
        const QByteArray caFile = o.caFile.toLocal8Bit();
        const bool systemStore = caFile.isEmpty() && QFileInfo(QString::fromLatin1(SYSTEM_CA_DIRECTORY)).isDir();
        if (caFile.isEmpty())
            rc = mosquitto_int_option(m, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc == MOSQ_ERR_SUCCESS && (!caFile.isEmpty() || systemStore))
            rc = mosquitto_tls_set(m, caFile.isEmpty() ? nullptr : caFile.constData(),
                                   systemStore ? SYSTEM_CA_DIRECTORY : nullptr, nullptr, nullptr, nullptr);
    }
    return rc == MOSQ_ERR_SUCCESS ? QString() : QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

int mqttRetryDelaySeconds(int attempt)
{
    int delay = MQTT_RETRY_FIRST_SECONDS;
    for (int i = 0; i < attempt && delay < MQTT_RETRY_LAST_SECONDS; ++i)
        delay *= 2;
    return std::min(delay, MQTT_RETRY_LAST_SECONDS);
}

MqttLink::MqttLink(QObject *parent)
    : QObject(parent)
{
}

MqttLink::~MqttLink()
{
    stop();
}

bool MqttLink::start(const MqttLinkOptions &options)
{
    stop();
    initLibrary();
    auto s = std::make_shared<MqttLinkShared>();
    s->options = options;
    s->owner = this;
    s->mosq = mosquitto_new(options.clientId.toUtf8().constData(), true, s.get());
    if (!s->mosq) {
        emit connectFailed(QString::fromUtf8(mosquitto_strerror(MOSQ_ERR_NOMEM)));
        return false;
    }
    if (const QString problem = configure(s->mosq, options); !problem.isEmpty()) {
        mosquitto_destroy(s->mosq);
        emit connectFailed(problem);
        return false;
    }
    mosquitto_connect_callback_set(s->mosq, onConnect);
    mosquitto_disconnect_callback_set(s->mosq, onDisconnect);
    mosquitto_message_callback_set(s->mosq, onMessage);
    s->thread = std::thread(run, s);
    m_shared = std::move(s);
    return true;
}

void MqttLink::stop(const QString &lastTopic, const QByteArray &lastPayload, int waitMs)
{
    if (!m_shared)
        return;
    const std::shared_ptr<MqttLinkShared> s = std::move(m_shared);
    // Queued ahead of the disconnect, so it reaches the broker first.
    if (s->connected && !lastTopic.isEmpty())
        mosquitto_publish(s->mosq, nullptr, lastTopic.toUtf8().constData(), int(lastPayload.size()),
                          lastPayload.constData(), 1, true);
    std::unique_lock lock(s->mutex);
    s->stopping = true;
    s->owner = nullptr;
    s->wake.notify_all();
    // A thread held up in a name look-up is left to end by itself; it owns
    // everything it still touches.
    if (s->wake.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return s->finished; })) {
        lock.unlock();
        s->thread.join();
    } else {
        lock.unlock();
        s->thread.detach();
    }
}

bool MqttLink::isConnected() const
{
    return m_shared && m_shared->connected;
}

bool MqttLink::publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!isConnected())
        return false;
    return mosquitto_publish(m_shared->mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                             payload.constData(), qos, retain)
        == MOSQ_ERR_SUCCESS;
}

bool MqttLink::subscribe(const QString &pattern)
{
    if (!isConnected())
        return false;
    return mosquitto_subscribe(m_shared->mosq, nullptr, pattern.toUtf8().constData(), 1) == MOSQ_ERR_SUCCESS;
}

} // namespace vantoro
