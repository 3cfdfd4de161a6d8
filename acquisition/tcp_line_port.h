// A line reached over the network: a gateway that passes the bytes through
// (tcp://) or one that speaks Modbus TCP (modbus-tcp://), behind the same
// port interface as the serial port. It connects without blocking: open()
// starts the connection, what is written waits until it stands, and the
// poller's waits run the event loop that completes it.
#pragma once

#include "acquisition/line_address.h"
#include "acquisition/serial_port.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTimer>

namespace vantoro {

inline constexpr int RECONNECT_FIRST_MS = 1000;
inline constexpr int RECONNECT_MAX_MS = 30000;
inline constexpr int CONNECT_TIMEOUT_MS = 10000;

class TcpLinePort : public SerialPort
{
public:
    // `address` is a Tcp or ModbusTcp one.
    explicit TcpLinePort(const LineAddress &address);
    ~TcpLinePort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_state != State::Closed; }
    // Line settings belong to the gateway's serial side; they are kept, not used.
    bool setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    void setPortNumber(int portNumber) override { m_portNumber = portNumber; }
    int portNumber() const override { return m_portNumber; }
    void flush() override;
    int bytesWaiting() override;
    std::optional<quint8> readByte() override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes) override;
    void waitForInput(int milliseconds) override;
    QString errorText() const override { return m_error; }

    bool connected() const { return m_state == State::Connected; }
    // The wait before the next connect may start, 0 when none.
    int reconnectDelayMs() const;

private:
    enum class State { Closed, Connecting, Connected };

    void onConnected();
    void onSocketError();
    void pullIn();
    void sendPending();
    void lose(const QString &reason, bool connectFailed);
    QString name() const;

    LineAddress m_address;
    bool m_modbus = false;
    QTcpSocket m_socket;
    QTimer m_pushTimer;
    QTimer m_connectTimer;
    State m_state = State::Closed;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_portNumber = 1;
    QString m_error;
    QByteArray m_input;    // what the poller reads
    QByteArray m_output;   // written, not yet sent
    QElapsedTimer m_lastWrite;
    int m_backoffMs = 0;
    QString m_failure; // why the last connect failed
    QElapsedTimer m_failedAt;
    // Modbus TCP: the frame being written, the raw replies, the exchange awaited.
    QByteArray m_frame;
    QByteArray m_received;
    quint16 m_transaction = 0;
    quint8 m_unit = 0;
    bool m_awaiting = false;
};

} // namespace vantoro
