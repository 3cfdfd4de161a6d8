// Serial-port side of the simulator.
#include "port_link.h"

namespace vantoro::sim {

PortLink::PortLink(QObject *parent)
    : DeviceLink(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] { emit received(m_port.readAll()); });
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError) {
            m_port.close();
            emit failed(m_port.errorString());
        }
    });
}

std::optional<QString> PortLink::open(const QString &name, int baud)
{
    m_port.setPortName(name);
    m_port.setBaudRate(baud > 0 ? baud : 9600);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        return m_port.errorString();
    return std::nullopt;
}

bool PortLink::write(const QByteArray &bytes)
{
    return m_port.write(bytes) == bytes.size();
}

} // namespace vantoro::sim
