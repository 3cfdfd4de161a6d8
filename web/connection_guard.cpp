// Connection cap, request head rules, output bound and the timers of one
// connection.
#include "web/connection_guard.h"

#include <QTcpSocket>

namespace vantoro {

namespace {

// The answer to a refused request: the same protective headers as every
// other answer, and the connection closed after it.
void writeRefusal(QTcpSocket *socket, int status)
{
    socket->write(statusLine(status)
                  + "\r\nConnection: close\r\nContent-Length: 0\r\n"
                    "Content-Security-Policy: default-src 'self'\r\nX-Content-Type-Options: nosniff\r\n"
                    "Cache-Control: no-store\r\n\r\n");
}

} // namespace

QByteArray statusLine(int status)
{
    static const QList<QPair<int, const char *>> reasons{
        {200, "OK"},
        {400, "Bad Request"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {408, "Request Timeout"},
        {413, "Payload Too Large"},
        {421, "Misdirected Request"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {503, "Service Unavailable"},
    };
    QByteArray line = "HTTP/1.1 " + QByteArray::number(status);
    for (const auto &[code, reason] : reasons) {
        if (code == status)
            return line + ' ' + reason;
    }
    return line;
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits)
    : QObject(socket)
    , m_socket(socket)
{
    // A client that sends faster than it is answered is held by the kernel,
    // not by this buffer.
    socket->setReadBufferSize(WEB_READ_BUFFER_BYTES);
    for (QTimer *timer : {&m_headTimer, &m_idleTimer, &m_budgetTimer})
        timer->setSingleShot(true);
    // The first head's time runs from the connection's start.
    m_headTimer.setInterval(limits.headTimeoutMs);
    connect(&m_headTimer, &QTimer::timeout, this, [this] { refuse(408); });
    m_headTimer.start();
    m_idleTimer.setInterval(limits.idleTimeoutMs);
    connect(&m_idleTimer, &QTimer::timeout, socket, &QTcpSocket::abort);
    m_idleTimer.start();
    m_budgetTimer.setInterval(limits.budgetMs);
    connect(&m_budgetTimer, &QTimer::timeout, this, &ConnectionGuard::close);
    m_budgetTimer.start();
    // Connected before the HTTP server's own slot, so a head is judged
    // before it is parsed.
    connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::bytesArrived);
    connect(socket, &QTcpSocket::bytesWritten, this, &ConnectionGuard::bytesWritten);
}

ConnectionGuard *ConnectionGuard::of(QTcpSocket *socket)
{
    return socket ? socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void ConnectionGuard::bytesArrived()
{
    if (m_closing) {
        drain();
        return;
    }
    const qint64 available = m_socket->bytesAvailable();
    // The parser reads all there is while a request is incomplete (its
    // transaction is then open); after a request it leaves the rest unread.
    const qint64 fresh = m_socket->isTransactionStarted() ? available : available - m_scannedUnread;
    m_scannedUnread = available;
    if (fresh <= 0)
        return;
    const QByteArray bytes = m_socket->peek(available);
    if (!m_scanner.add(QByteArrayView(bytes).sliced(bytes.size() - qMin<qint64>(fresh, bytes.size())))) {
        refuse(431);
        drain();
        return;
    }
    const QList<RequestHead> heads = m_scanner.takeHeads();
    for (const RequestHead &head : heads) {
        if (head.badLength || head.announcesBody) {
            // The body is never read: answered and closed at its head.
            refuse(head.badLength ? 400 : 413);
            drain();
            return;
        }
        m_heads.append(head);
    }
    if (m_heads.size() + m_waiting.size() > WEB_MAX_PIPELINED) {
        refuse(503);
        drain();
        return;
    }
    if (!heads.isEmpty()) {
        m_idleTimer.start();
        if (m_scanner.inHead())
            m_headTimer.start();
        else
            m_headTimer.stop();
    } else if (m_scanner.inHead() && !m_headTimer.isActive()) {
        m_headTimer.start();
    }
}

void ConnectionGuard::drain()
{
    // Nothing more reaches the parser, and nothing read stays in memory.
    if (m_socket->isTransactionStarted())
        m_socket->rollbackTransaction();
    m_socket->readAll();
}

RequestHead ConnectionGuard::takeHead()
{
    m_scannedUnread = m_socket->bytesAvailable();
    return m_heads.isEmpty() ? RequestHead{} : m_heads.takeFirst();
}

void ConnectionGuard::submit(Answer answer)
{
    if (m_closing)
        return;
    if (m_waiting.isEmpty() && m_socket->bytesToWrite() <= WEB_MAX_QUEUED_OUTPUT) {
        if (!answer(m_socket))
            close();
        return;
    }
    if (m_waiting.size() >= WEB_MAX_WAITING_ANSWERS) {
        // The HTTP server is still in its handler: it goes once that returns.
        m_closing = true;
        m_waiting.clear();
        QMetaObject::invokeMethod(m_socket, &QTcpSocket::abort, Qt::QueuedConnection);
        return;
    }
    m_waiting.append(std::move(answer));
}

void ConnectionGuard::bytesWritten()
{
    m_idleTimer.start();
    writeWaiting();
}

void ConnectionGuard::writeWaiting()
{
    while (!m_closing && !m_waiting.isEmpty() && m_socket->bytesToWrite() <= WEB_MAX_QUEUED_OUTPUT) {
        if (!m_waiting.takeFirst()(m_socket))
            close();
    }
}

void ConnectionGuard::refuse(int status)
{
    if (m_closing)
        return;
    writeRefusal(m_socket, status);
    close();
}

void ConnectionGuard::close()
{
    // The queued output still goes out; the idle timer ends a client that
    // does not read it.
    m_closing = true;
    m_waiting.clear();
    m_headTimer.stop();
    m_socket->disconnectFromHost();
}

GuardedTcpServer::GuardedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent)
    , m_limits(limits)
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
        writeRefusal(socket, 503);
        QTimer::singleShot(WEB_HEAD_TIMEOUT_MS, socket, &QTcpSocket::abort);
        socket->disconnectFromHost();
        if (socket->state() == QAbstractSocket::UnconnectedState)
            socket->deleteLater();
        else
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    new ConnectionGuard(socket, m_limits);
    addPendingConnection(socket);
}

} // namespace vantoro
