// The one place a line's text becomes the port that reaches it.
#pragma once

#include "acquisition/serial_port.h"

#include <QString>
#include <memory>

namespace vantoro {

// Empty text: the serial port of the port number, as ever. A text that does
// not parse gives a port whose open() fails with the reason.
std::unique_ptr<SerialPort> makeLinePort(const QString &line);

// The port of a running line. It follows the line's address as the
// settings name it, so a gateway typed in on the settings page (or a serial
// port again) is reached from the next round on, without a restart; the
// round, the remote dialogs and the services all hold this one object.
class LinePort : public SerialPort
{
public:
    explicit LinePort(const QString &line);

    // Makes the port `line` names when it differs from the one reached now,
    // keeping the line settings and port number; not while an exchange is
    // under way (false, nothing changes), so no reply is cut off.
    bool follow(const QString &line);
    const QString &line() const { return m_line; }

    bool open() override { return m_port->open(); }
    void close() override { m_port->close(); }
    bool isOpen() const override { return m_port->isOpen(); }
    bool setSettings(const QString &settings) override { return m_port->setSettings(settings); }
    QString settings() const override { return m_port->settings(); }
    void setPortNumber(int portNumber) override { m_port->setPortNumber(portNumber); }
    int portNumber() const override { return m_port->portNumber(); }
    void flush() override { m_port->flush(); }
    int bytesWaiting() override { return m_port->bytesWaiting(); }
    std::optional<quint8> readByte() override { return m_port->readByte(); }
    QByteArray readAll() override { return m_port->readAll(); }
    bool write(const QByteArray &bytes) override { return m_port->write(bytes); }
    void waitForInput(int milliseconds) override { m_port->waitForInput(milliseconds); }
    QString errorText() const override { return m_port->errorText(); }

private:
    QString m_line;
    std::unique_ptr<SerialPort> m_port;
};

} // namespace vantoro
