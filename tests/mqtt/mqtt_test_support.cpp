// Broker process and recording subscriber for the MQTT tests.
#include "mqtt_test_support.h"

#include <mosquitto.h>

#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <unistd.h>

namespace vantoro::test {

namespace {

int freeLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

bool portAnswers(int port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    return socket.waitForConnected(200);
}

} // namespace

BrokerProcess::BrokerProcess() = default;

BrokerProcess::~BrokerProcess()
{
    stop();
}

bool BrokerProcess::start(const QString &user, const QString &password)
{
    if (m_port == 0)
        m_port = freeLoopbackPort();
    QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\n").arg(m_port);
    // Started by root, the broker would read its files as another user.
    if (::geteuid() == 0)
        config += QStringLiteral("user root\n");
    if (m_tls)
        config += QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                      .arg(caFile(), m_dir.filePath(QStringLiteral("server.crt")), m_dir.filePath(QStringLiteral("server.key")));
    if (user.isEmpty()) {
        config += QStringLiteral("allow_anonymous true\n");
    } else {
        const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
        QFile::remove(passwords);
        if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-b", "-c", passwords, user, password}) != 0) {
            m_error = QStringLiteral("mosquitto_passwd failed");
            return false;
        }
        config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
    }
    QFile file(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = file.errorString();
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("mosquitto"), {"-c", file.fileName()});
    if (!m_process.waitForStarted(3000)) {
        m_error = m_process.errorString();
        return false;
    }
    if (!QTest::qWaitFor([&] { return portAnswers(m_port) || m_process.state() != QProcess::Running; }, 5000)
        || m_process.state() != QProcess::Running) {
        m_error = QString::fromLocal8Bit(m_process.readAll());
        return false;
    }
    return true;
}

QString BrokerProcess::caFile() const
{
    return m_dir.filePath(QStringLiteral("ca.crt"));
}

bool BrokerProcess::useTls()
{
    const QString dir = m_dir.path();
    const auto run = [&](const QStringList &args) {
        QProcess openssl;
        openssl.setWorkingDirectory(dir);
        openssl.start(QStringLiteral("openssl"), args);
        return openssl.waitForFinished(20000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    };
    QFile extensions(m_dir.filePath(QStringLiteral("server.ext")));
    m_tls = extensions.open(QIODevice::WriteOnly) && extensions.write("subjectAltName=IP:127.0.0.1\n") > 0;
    extensions.close();
    m_tls = m_tls
        && run({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt", "-days", "2",
                "-subj", "/CN=test-ca"})
        && run({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr", "-subj",
                "/CN=127.0.0.1"})
        && run({"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                "server.crt", "-days", "2", "-extfile", "server.ext"});
    if (!m_tls)
        m_error = QStringLiteral("openssl could not make the certificates");
    return m_tls;
}

void BrokerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

TestSubscriber::TestSubscriber()
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_mosq, onMessage);
    mosquitto_connect_callback_set(m_mosq, onConnect);
}

TestSubscriber::~TestSubscriber()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

void TestSubscriber::onConnect(mosquitto *mosq, void *data, int rc)
{
    auto *self = static_cast<TestSubscriber *>(data);
    if (rc == 0) {
        mosquitto_subscribe(mosq, nullptr, self->m_pattern.toUtf8().constData(), 1);
        mosquitto_subscribe(mosq, nullptr, "test-probe/#", 1);
    }
}

void TestSubscriber::onMessage(mosquitto *, void *data, const mosquitto_message *message)
{
    auto *self = static_cast<TestSubscriber *>(data);
    std::lock_guard lock(self->m_mutex);
    self->m_messages.append({QString::fromUtf8(message->topic),
                             QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                             message->retain});
}

bool TestSubscriber::connect(int port, const QString &pattern)
{
    m_pattern = pattern;
    if (mosquitto_connect(m_mosq, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS)
        return false;
    // The subscription is in place once a message to ourselves comes back.
    const QString probe = QStringLiteral("test-probe/%1").arg(quintptr(this));
    return QTest::qWaitFor([&] {
        publish(probe, "x", false);
        return waitFor(probe, 100).has_value();
    }, 5000);
}

bool TestSubscriber::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    return mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()), payload.constData(), 1,
                             retain)
        == MOSQ_ERR_SUCCESS;
}

QList<ReceivedMessage> TestSubscriber::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void TestSubscriber::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

std::optional<ReceivedMessage> TestSubscriber::waitFor(const QString &topic, int timeoutMs,
                                                       const std::function<bool(const ReceivedMessage &)> &accept) const
{
    std::optional<ReceivedMessage> found;
    (void)QTest::qWaitFor([&] {
        const QList<ReceivedMessage> all = messages();
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            if (it->topic == topic && (!accept || accept(*it))) {
                found = *it;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return found;
}

QJsonObject TestSubscriber::json(const ReceivedMessage &message)
{
    return QJsonDocument::fromJson(message.payload).object();
}

} // namespace vantoro::test
