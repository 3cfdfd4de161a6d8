// The operations the polling code needs of a serial port, so the station
// runs on QSerialPort and the tests on an in-memory fake.
#pragma once

#include "core/common.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantoro {

class SerialPort
{
public:
    virtual ~SerialPort() = default;

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // "9600,N,8,1"-style settings and the port number (1 = COM1).
    virtual bool setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;
    virtual void setPortNumber(int portNumber) = 0;
    virtual int portNumber() const = 0;
    // Discards pending input and output.
    virtual void flush() = 0;
    virtual int bytesWaiting() = 0;
    virtual std::optional<quint8> readByte() = 0;
    virtual QByteArray readAll() = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // Lets events run for up to `milliseconds`; a port that can tell when
    // bytes come in ends the wait then, so a reply wait ends on its last byte.
    virtual void waitForInput(int milliseconds) { pauseMs(milliseconds); }
    // The last error, empty when none.
    virtual QString errorText() const = 0;

    // Who uses the port. Polling holds it open between rounds, so being open
    // no longer says that an exchange (a round, a remote command waiting for
    // its reply) is under way; these say it.
    bool exchangeUnderWay() const { return m_exchanges > 0; }
    bool heldForPolling() const { return m_heldForPolling; }
    void setHeldForPolling(bool held) { m_heldForPolling = held; }

private:
    friend class PortExchange;
    int m_exchanges = 0;
    bool m_heldForPolling = false;
};

// One exchange on the port shared by the rounds and the remote dialogs: the
// port is marked taken while it lasts and afterwards left open only while
// polling holds it, so a late reply is not left for whoever comes next.
class PortExchange
{
public:
    explicit PortExchange(SerialPort &port) : m_port(port) { ++m_port.m_exchanges; }
    ~PortExchange()
    {
        --m_port.m_exchanges;
        if (m_port.m_exchanges == 0 && !m_port.heldForPolling() && m_port.isOpen())
            m_port.close();
    }
    PortExchange(const PortExchange &) = delete;
    PortExchange &operator=(const PortExchange &) = delete;

private:
    SerialPort &m_port;
};

} // namespace vantoro
