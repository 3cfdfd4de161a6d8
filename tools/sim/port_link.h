// A real serial port for the simulator, for trying the station against a null-modem cable.
#pragma once

#include "device_link.h"

#include <QSerialPort>
#include <optional>

namespace vantoro::sim {

class PortLink : public DeviceLink
{
    Q_OBJECT

public:
    explicit PortLink(QObject *parent = nullptr);

    std::optional<QString> open(const QString &name, int baud);
    QString path() const override { return m_port.portName(); }
    bool write(const QByteArray &bytes) override;
    bool pacedByHardware() const override { return true; }

private:
    QSerialPort m_port;
};

} // namespace vantoro::sim
