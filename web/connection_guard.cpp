// Connection cap, request size limit and idle timeout of the web server.
#include "web/connection_guard.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace vantoro {

bool RequestSizeCounter::add(QByteArrayView bytes)
{
    static constexpr char kEnd[] = "\r\n\r\n";
    for (char c : bytes) {
        ++m_headBytes;
        if (c == kEnd[m_matched]) {
            ++m_matched;
        } else {
            // "\r\n\r" followed by "\r" still ends in a possible "\r".
            m_matched = c == '\r' ? 1 : 0;
        }
        if (m_matched == 4) {
            m_matched = 0;
            m_headBytes = 0;
        } else if (m_headBytes > WEB_MAX_REQUEST_BYTES) {
            return false;
        }
    }
    return true;
}

GuardedTcpServer::GuardedTcpServer(QObject *parent)
    : QTcpServer(parent)
{
}

void GuardedTcpServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    if (m_open >= WEB_MAX_CONNECTIONS) {
        refuse(socket, "HTTP/1.1 503 Service Unavailable");
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    guard(socket);
    addPendingConnection(socket);
}

void GuardedTcpServer::guard(QTcpSocket *socket)
{
    // Connected before the HTTP server's own slot, so an oversized head is
    // refused before it is parsed.
    auto counter = std::make_shared<RequestSizeCounter>();
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(m_idleTimeoutMs);
    connect(idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
    idle->start();
    connect(socket, &QTcpSocket::readyRead, socket, [socket, counter, idle] {
        idle->start();
        if (!counter->add(socket->peek(socket->bytesAvailable()))) {
            socket->readAll();
            refuse(socket, "HTTP/1.1 431 Request Header Fields Too Large");
        }
    });
    connect(socket, &QTcpSocket::bytesWritten, idle, qOverload<>(&QTimer::start));
}

void GuardedTcpServer::refuse(QTcpSocket *socket, const QByteArray &statusLine)
{
    // The refusal carries the same protective headers as every other answer.
    socket->write(statusLine
                  + "\r\nConnection: close\r\nContent-Length: 0\r\n"
                    "Content-Security-Policy: default-src 'self'\r\nX-Content-Type-Options: nosniff\r\n"
                    "Cache-Control: no-store\r\n\r\n");
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace vantoro
