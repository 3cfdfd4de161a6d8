// Making the port of a line.
#include "acquisition/line_port.h"

#include "acquisition/line_address.h"
#include "acquisition/qt_serial_port.h"
#include "acquisition/tcp_line_port.h"
#include "core/user_settings.h"

namespace vantoro {

namespace {

// A line named wrongly: polling it fails each attempt with the reason
// rather than quietly polling some other port.
class UnusablePort : public SerialPort
{
public:
    explicit UnusablePort(const QString &reason) : m_error(reason) {}
    bool open() override { return false; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool setSettings(const QString &settings) override
    {
        m_settings = settings;
        return true;
    }
    QString settings() const override { return m_settings; }
    void setPortNumber(int portNumber) override { m_portNumber = portNumber; }
    int portNumber() const override { return m_portNumber; }
    void flush() override {}
    int bytesWaiting() override { return 0; }
    std::optional<quint8> readByte() override { return std::nullopt; }
    QByteArray readAll() override { return {}; }
    bool write(const QByteArray &) override { return false; }
    QString errorText() const override { return m_error; }

private:
    QString m_error;
    QString m_settings;
    int m_portNumber = 1;
};

} // namespace

std::unique_ptr<SerialPort> makeLinePort(const QString &line)
{
    if (line.trimmed().isEmpty())
        return std::make_unique<QtSerialPort>();
    const LineAddress address = parseLineAddress(line);
    switch (address.kind) {
    case LineKind::Tcp:
    case LineKind::ModbusTcp:
        return std::make_unique<TcpLinePort>(address);
    case LineKind::SerialPath: {
        auto port = std::make_unique<QtSerialPort>();
        port->setDeviceName(address.devicePath);
        return port;
    }
    case LineKind::SerialNumber: {
        auto port = std::make_unique<QtSerialPort>();
        // The number's device now, whatever number the poll settings carry.
        port->setDeviceName(portDeviceName(address.portNumber));
        return port;
    }
    case LineKind::Invalid:
        break;
    }
    return std::make_unique<UnusablePort>(address.error);
}

LinePort::LinePort(const QString &line)
    : m_line(line.trimmed())
    , m_port(makeLinePort(m_line))
{
}

bool LinePort::follow(const QString &line)
{
    const QString wanted = line.trimmed();
    if (wanted == m_line)
        return true;
    if (exchangeUnderWay())
        return false;
    auto port = makeLinePort(wanted);
    port->setPortNumber(m_port->portNumber());
    if (!m_port->settings().isEmpty())
        port->setSettings(m_port->settings());
    m_port->close();
    m_port = std::move(port);
    m_line = wanted;
    return true;
}

} // namespace vantoro
