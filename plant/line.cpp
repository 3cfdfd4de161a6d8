// Loading the devices of the line and saving their values.
#include "plant/line.h"

#include "acquisition/line_port.h"
#include "core/message_service.h"
#include "events/event_log.h"

namespace vantoro {

Line::Line(std::unique_ptr<SerialPort> port)
    : m_port(std::move(port))
{
}

void Line::followAddress(const QString &address)
{
    if (auto *port = dynamic_cast<LinePort *>(m_port.get()))
        port->follow(address);
}

bool Line::load()
{
    // A device row without parameter rows gets its rating's factory rows.
    for (const QString &message : ensureParameterRows())
        logStatus(message);
    QString error;
    const auto records = loadDevices(&error);
    if (!records || records->isEmpty()) {
        messages().beep();
        messages().show(QStringLiteral("Vantoro"), QStringLiteral("Device Info Error！Please contact system manager。"),
                        MessageIcon::None);
        return false;
    }
    std::vector<std::unique_ptr<Device>> devices;
    for (const DeviceRecord &r : *records) {
        std::unique_ptr<Device> device;
        for (auto &old : m_devices) {
            if (old && old->id() == r.id)
                device = std::move(old);
        }
        const bool fresh = !device;
        if (fresh)
            device = std::make_unique<Device>(r);
        const bool ratingChanged = device->record().rating != r.rating;
        device->setRecord(r);
        if (fresh || ratingChanged)
            device->loadTable();
        devices.push_back(std::move(device));
    }
    m_devices = std::move(devices);
    publishDevices();
    return true;
}

Device &Line::addDevice(const DeviceRecord &record)
{
    m_devices.push_back(std::make_unique<Device>(record));
    return *m_devices.back();
}

int Line::enabledCount() const
{
    int n = 0;
    for (const auto &d : m_devices)
        n += d->record().enabled ? 1 : 0;
    return n;
}

Device *Line::device(const QString &id) const
{
    for (const auto &d : m_devices) {
        if (d->id() == id)
            return d.get();
    }
    return nullptr;
}

bool Line::saveValues() const
{
    bool all = true;
    for (const auto &d : m_devices)
        all = d->saveValues() && all;
    return all;
}

void Line::publishDevices() const
{
    QList<DeviceInfo> list;
    for (const auto &d : m_devices)
        list << DeviceInfo(d->record());
    stationBus().publishDevices(list);
}

} // namespace vantoro
