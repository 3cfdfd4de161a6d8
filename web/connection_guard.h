// The listening socket of the web server with its limits: at most 16
// connections at once, a request head of at most 8 KB, and an idle connection
// closed after a while, so no client can hold the server for long.
#pragma once

#include <QByteArray>
#include <QTcpServer>

class QTcpSocket;

namespace vantoro {

inline constexpr int WEB_MAX_CONNECTIONS = 16;
inline constexpr int WEB_MAX_REQUEST_BYTES = 8192;
inline constexpr int WEB_IDLE_TIMEOUT_MS = 30000;

// Follows the bytes of one connection and finds where each request head ends
// (an empty line); the count starts over after every head. Requests carry no
// body here: any bytes after a head count towards the next one.
class RequestSizeCounter
{
public:
    // Adds bytes read; false once a head has grown beyond the limit.
    bool add(QByteArrayView bytes);

private:
    qint64 m_headBytes = 0;
    int m_matched = 0; // how much of "\r\n\r\n" the last bytes matched
};

class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit GuardedTcpServer(QObject *parent = nullptr);
    int openConnections() const { return m_open; }
    void setIdleTimeoutMs(int ms) { m_idleTimeoutMs = ms; }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void guard(QTcpSocket *socket);
    static void refuse(QTcpSocket *socket, const QByteArray &statusLine);

    int m_open = 0;
    int m_idleTimeoutMs = WEB_IDLE_TIMEOUT_MS;
};

} // namespace vantoro
