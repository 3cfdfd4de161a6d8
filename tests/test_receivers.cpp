// The loopback receivers of the services' tests.
#include "test_receivers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QTest>

namespace vantoro::test {

namespace {

// Saves each message as parsed by Python's own mail package (an independent
// reader of what the station wrote) and as received.
const char *const handlerModule = R"PY(
import email, email.policy, json, os

class Saver:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        return cls(*args)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.startswith("nobody@"):
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        raw = envelope.original_content or envelope.content
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        record = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                  "subject": str(msg["subject"]), "from": str(msg["from"]), "to": str(msg["to"]),
                  "date": str(msg["date"]), "message_id": str(msg["message-id"]),
                  "content_type": msg.get_content_type(), "charset": msg.get_content_charset(),
                  "body": msg.get_content()}
        path = os.path.join(self.folder, "%03d" % self.count)
        with open(path + ".eml", "wb") as f:
            f.write(raw)
        with open(path + ".tmp", "w", encoding="utf-8") as f:
            json.dump(record, f, ensure_ascii=False)
        os.replace(path + ".tmp", path + ".json")
        return "250 Message accepted for delivery"
)PY";

// The same handler behind a server that offers a login and refuses every one.
const char *const refusingServer = R"PY(
import sys, threading
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult
from handler import Saver

def refuse(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=False, handled=False)

port, folder = int(sys.argv[1]), sys.argv[2]
controller = Controller(Saver(folder), hostname="127.0.0.1", port=port,
                        auth_require_tls=False, authenticator=refuse)
controller.start()
print("ready", flush=True)
threading.Event().wait()
)PY";

} // namespace

QString python()
{
    // Debian's interpreter carries Debian's aiosmtpd, whatever else is on PATH.
    static const QString found = [] {
        for (const QString &candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
            if (QProcess::execute(candidate, {QStringLiteral("-c"), QStringLiteral("import aiosmtpd")}) == 0)
                return candidate;
        }
        return QString();
    }();
    return found;
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

SmtpServer::SmtpServer(int port, bool refuseLogin)
    : m_port(port)
{
    writeFile(QStringLiteral("handler.py"), handlerModule);
    writeFile(QStringLiteral("refusing.py"), refusingServer);
    QDir().mkpath(folder());
    m_process.setWorkingDirectory(m_dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONPATH"), m_dir.path());
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString listen = QStringLiteral("127.0.0.1:%1").arg(port);
    if (refuseLogin)
        m_process.start(python(), {QStringLiteral("refusing.py"), QString::number(port), folder()});
    else
        m_process.start(python(), {QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"),
                                   QStringLiteral("-l"), listen, QStringLiteral("-c"),
                                   QStringLiteral("handler.Saver"), folder()});
}

SmtpServer::~SmtpServer()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool SmtpServer::waitReady()
{
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (socket.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

QString SmtpServer::folder() const
{
    return m_dir.filePath(QStringLiteral("received"));
}

QList<QJsonObject> SmtpServer::messages() const
{
    QList<QJsonObject> out;
    const QDir dir(folder());
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::ReadOnly);
        out << QJsonDocument::fromJson(f.readAll()).object();
    }
    return out;
}

void SmtpServer::writeFile(const QString &name, const char *text)
{
    QFile f(m_dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(text);
}

Webhook::Webhook(bool hang)
    : m_hang(hang)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection())
            connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
    });
}

QString Webhook::url(const QString &path) const
{
    return QStringLiteral("json://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path);
}

void Webhook::read(QTcpSocket *s)
{
    QByteArray &buffer = m_buffers[s];
    buffer += s->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    qsizetype length = 0;
    for (const QByteArray &line : buffer.left(end).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (buffer.size() < end + 4 + length)
        return;
    ++requests;
    if (m_hang)
        return;
    posts << QJsonDocument::fromJson(buffer.mid(end + 4, length)).object();
    m_buffers.remove(s);
    s->write("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    s->disconnectFromHost();
}

} // namespace vantoro::test
