// The simulator's network side.
#include "tcp_link.h"

#include "acquisition/frames.h"
#include "acquisition/modbus_tcp.h"
#include "acquisition/line_address.h"

#include <cstdio>

namespace vantoro::sim {

namespace {

constexpr int CRC_BYTES = 2;

} // namespace

TcpLink::TcpLink(bool modbus, QObject *parent)
    : DeviceLink(parent)
    , m_modbus(modbus)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpLink::onNewConnection);
}

std::optional<QString> TcpLink::listen(quint16 port, bool ipv6)
{
    const QHostAddress loopback = ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost;
    if (!m_server.listen(loopback, port))
        return m_server.errorString();
    return std::nullopt;
}

QString TcpLink::path() const
{
    const QString host = m_server.serverAddress().protocol() == QAbstractSocket::IPv6Protocol
        ? QStringLiteral("[%1]").arg(m_server.serverAddress().toString())
        : m_server.serverAddress().toString();
    return QString::fromLatin1(m_modbus ? MODBUS_TCP_SCHEME : TCP_SCHEME) + host + QLatin1Char(':')
        + QString::number(m_server.serverPort());
}

void TcpLink::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_client)
            m_client->abort();
        if (m_client)
            m_client->deleteLater();
        m_client = socket;
        m_received.clear();
        m_replyBytesSent = 0;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TcpLink::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || socket != m_client)
        return;
    const QByteArray bytes = socket->readAll();
    if (!m_modbus) {
        emit received(bytes);
        return;
    }
    m_received += bytes;
    takeModbusRequests();
}

void TcpLink::takeModbusRequests()
{
    while (const auto header = readMbapHeader(m_received)) {
        if (header->protocol != MBAP_PROTOCOL || header->length < 2 || header->length > MAX_RTU_FRAME_BYTES - CRC_BYTES) {
            std::fprintf(stderr, "vantoro-sim: bad MBAP header, connection dropped\n");
            dropConnection();
            return;
        }
        const int total = MBAP_HEADER_BYTES - 1 + header->length;
        if (m_received.size() < total)
            return;
        // A gateway serves one request at a time: a newer one abandons an
        // older one still unanswered.
        m_transaction = header->transaction;
        m_replyBytesSent = 0;
        const QByteArray rtu = withCrc(m_received.mid(MBAP_HEADER_BYTES - 1, header->length));
        m_received.remove(0, total);
        emit received(rtu);
    }
}

bool TcpLink::write(const QByteArray &bytes)
{
    if (!m_client || m_client->state() != QAbstractSocket::ConnectedState)
        return false;
    if (!m_modbus)
        return m_client->write(bytes) == bytes.size();
    // Replies are 33 RTU bytes: the header goes with the first, the CRC is
    // left out, and a reply cut short leaves its frame short on the wire too.
    QByteArray out;
    for (char byte : bytes) {
        if (m_replyBytesSent == 0)
            out += mbapFrame(m_transaction, QByteArray(REPLY_BYTES - CRC_BYTES, '\0')).left(MBAP_HEADER_BYTES - 1);
        if (m_replyBytesSent < REPLY_BYTES - CRC_BYTES)
            out += byte;
        if (++m_replyBytesSent == REPLY_BYTES)
            m_replyBytesSent = 0;
    }
    return m_client->write(out) == out.size();
}

void TcpLink::dropConnection()
{
    if (m_client) {
        m_client->flush();
        m_client->abort();
    }
    m_received.clear();
    m_replyBytesSent = 0;
}

} // namespace vantoro::sim
