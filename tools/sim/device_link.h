// The simulator's end of the line: a pseudo-terminal or a real serial port.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace vantoro::sim {

class DeviceLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~DeviceLink() override = default;

    // The name the station connects to.
    virtual QString path() const = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // Whether bytes are paced by hardware (a real UART) rather than by us.
    virtual bool pacedByHardware() const = 0;
    // Ends the station's connection, where the link has one.
    virtual void dropConnection() {}

signals:
    void received(const QByteArray &bytes);
    // The line is gone for good (adapter unplugged).
    void failed(const QString &reason);
};

} // namespace vantoro::sim
