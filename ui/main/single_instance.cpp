// Single-instance rule over QLocalServer / QLocalSocket.
#include "ui/main/single_instance.h"

#include "core/common.h"

#include <QCryptographicHash>
#include <QLocalSocket>
#include <QStandardPaths>

namespace vantoro {

namespace {

constexpr int connectTimeoutMs = 300;
constexpr int answerTimeoutMs = 2000;
const QByteArray raiseRequest("raise\n");
const QByteArray raisedAnswer("raised\n");
const QByteArray noWindowAnswer("nowindow\n");

} // namespace

SingleInstance::SingleInstance(const QString &serverName)
    : m_name(serverName)
{
}

SingleInstance::~SingleInstance()
{
    m_server.close();
}

QString SingleInstance::defaultServerName()
{
    // Per user and per installation, as a second copy of the same program is
    // what the rule refuses.
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
    const QByteArray hash = QCryptographicHash::hash((user + QLatin1Char('|') + appDir()).toUtf8(),
                                                     QCryptographicHash::Sha1).toHex().left(16);
    const QString name = QStringLiteral("vantoro-") + QString::fromLatin1(hash);
#ifdef Q_OS_UNIX
    // In the user's own runtime directory (mode 0700): in the shared /tmp
    // another user could take the name first and answer for the station,
    // which would then end as a second instance.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QLatin1Char('/') + name;
#endif
    return name;
}

bool SingleInstance::otherRunning() const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    const bool connected = socket.waitForConnected(connectTimeoutMs);
    socket.abort();
    return connected;
}

bool SingleInstance::askOtherToRaise() const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(raiseRequest);
    socket.waitForBytesWritten(answerTimeoutMs);
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(answerTimeoutMs))
        answer += socket.readAll();
    return answer == raisedAnswer;
}

bool SingleInstance::listen(std::function<bool()> raise)
{
    m_raise = std::move(raise);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name)) {
        // A name left behind by a crashed instance.
        QLocalServer::removeServer(m_name);
        if (!m_server.listen(m_name))
            return false;
    }
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->readAll().contains(raiseRequest))
                    return;
                const bool raised = m_raise && m_raise();
                socket->write(raised ? raisedAnswer : noWindowAnswer);
                socket->flush();
            });
        }
    });
    return true;
}

} // namespace vantoro
