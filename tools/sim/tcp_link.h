// The simulator as a network gateway on loopback: transparent (the line's
// bytes as they are) or Modbus TCP (MBAP requests become CRC frames, replies
// go back under an MBAP header without their CRC). One station at a time: a
// new connection replaces the old one.
#pragma once

#include "device_link.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QPointer>
#include <optional>

namespace vantoro::sim {

class TcpLink : public DeviceLink
{
    Q_OBJECT

public:
    TcpLink(bool modbus, QObject *parent = nullptr);

    // Listens on 127.0.0.1 (or ::1) at `port`, 0 for one the system picks.
    std::optional<QString> listen(quint16 port, bool ipv6);
    // "tcp://127.0.0.1:PORT" or "modbus-tcp://[::1]:PORT".
    QString path() const override;
    bool write(const QByteArray &bytes) override;
    // The gateway's serial side is where pacing would be; here bytes go as written.
    bool pacedByHardware() const override { return false; }
    void dropConnection() override;

private:
    void onNewConnection();
    void onReadyRead();
    void takeModbusRequests();

    bool m_modbus = false;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    // Modbus TCP: the transaction of the latest request and where the reply
    // being passed back stands.
    quint16 m_transaction = 0;
    int m_replyBytesSent = 0;
};

} // namespace vantoro::sim
