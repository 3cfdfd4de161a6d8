// The line: one port and the devices on it, in the order a round polls them.
#pragma once

#include "acquisition/serial_port.h"
#include "plant/device.h"

#include <memory>
#include <vector>

namespace vantoro {

class Line
{
public:
    explicit Line(std::unique_ptr<SerialPort> port);
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    SerialPort &port() const { return *m_port; }
    // A line made on a LinePort reaches `address` from now on (see
    // LinePort::follow); any other port stays as it is.
    void followAddress(const QString &address);

    // Reads the devices of the `devices` table in id order and each one's
    // parameter rows, then publishes the list. A device already on the line
    // keeps its table and link state, so a reload after an edit loses no
    // live value. No device row: the message of a damaged database and
    // false; the line keeps what it had.
    bool load();
    // Replaces the devices by these (tests, and a database-less start).
    Device &addDevice(const DeviceRecord &record);
    void clear() { m_devices.clear(); }

    const std::vector<std::unique_ptr<Device>> &devices() const { return m_devices; }
    int enabledCount() const;
    Device *device(const QString &id) const;
    // The first device, the one a plant of one shows; nullptr when none.
    Device *first() const { return m_devices.empty() ? nullptr : m_devices.front().get(); }

    // Saves the live values of every device; true when all were saved.
    bool saveValues() const;
    void publishDevices() const;

private:
    std::unique_ptr<SerialPort> m_port;
    std::vector<std::unique_ptr<Device>> m_devices;
};


} // namespace vantoro
