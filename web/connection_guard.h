// The listening socket of the web server with its limits: at most 16
// connections at once, a request head of at most 8 KB that must be complete
// within 10 s, no request body, a bounded queue of output and of waiting
// answers, and an idle and a total time per connection, so no client can
// hold the server or swell its memory for long.
#pragma once

#include "web/request_head.h"

#include <QList>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class QTcpSocket;

namespace vantoro {

inline constexpr int WEB_MAX_CONNECTIONS = 16;
inline constexpr int WEB_IDLE_TIMEOUT_MS = 30000;
// From a head's first byte (or the connection's start) to its end.
inline constexpr int WEB_HEAD_TIMEOUT_MS = 10000;
// The whole life of one connection; a client reconnects after it.
inline constexpr int WEB_CONNECTION_BUDGET_MS = 300000;
// Output still queued beyond the answer being written: past this, further
// answers wait until the client has read.
inline constexpr qint64 WEB_MAX_QUEUED_OUTPUT = 1024 * 1024;
// Answers that may wait for the client to read; one more closes the connection.
inline constexpr int WEB_MAX_WAITING_ANSWERS = 8;
// Requests read ahead of their answers; one more closes the connection.
inline constexpr int WEB_MAX_PIPELINED = 256;
// What a connection buffers of its input before it stops reading.
inline constexpr qint64 WEB_READ_BUFFER_BYTES = 2 * WEB_MAX_REQUEST_BYTES;

// The timings a connection is held to; the tests shorten them.
struct ConnectionLimits
{
    int headTimeoutMs = WEB_HEAD_TIMEOUT_MS;
    int idleTimeoutMs = WEB_IDLE_TIMEOUT_MS;
    int budgetMs = WEB_CONNECTION_BUDGET_MS;
};

// One accepted connection: scans what arrives before the HTTP parser sees
// it, refuses what breaks the limits, and holds answers back while the
// client is not reading.
class ConnectionGuard : public QObject
{
    Q_OBJECT
public:
    // Writes one answer; false when the connection closes after it.
    using Answer = std::function<bool(QTcpSocket *)>;

    ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits);
    // The guard of a socket the guarded server accepted; null for any other.
    static ConnectionGuard *of(QTcpSocket *socket);

    // The head of the request the HTTP parser hands over now.
    RequestHead takeHead();
    // Writes the answer now, or once the queued output has drained; closes
    // the connection when too many answers wait.
    void submit(Answer answer);
    // Answers with a status and no body, and closes the connection.
    void refuse(int status);

private:
    void bytesArrived();
    void drain();
    void close();
    void bytesWritten();
    void writeWaiting();

    QTcpSocket *m_socket;
    RequestHeadScanner m_scanner;
    QList<RequestHead> m_heads;
    QList<Answer> m_waiting;
    // Bytes at the front of the socket's buffer already scanned: what the
    // HTTP parser left there after the request it handled.
    qint64 m_scannedUnread = 0;
    bool m_closing = false;
    QTimer m_headTimer;
    QTimer m_idleTimer;
    QTimer m_budgetTimer;
};

class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit GuardedTcpServer(const ConnectionLimits &limits = {}, QObject *parent = nullptr);
    int openConnections() const { return m_open; }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    int m_open = 0;
    ConnectionLimits m_limits;
};

// "HTTP/1.1 404 Not Found": the status line for a code the server answers.
QByteArray statusLine(int status);


} // namespace vantoro
