// A device's identity and texts.
#include "plant/device.h"

namespace vantoro {

Device::Device(DeviceRecord record)
    : m_record(std::move(record))
{
}

QString Device::suffix() const
{
    return QLatin1Char('(') + m_record.name + QLatin1Char(')');
}

int deviceIdNumber(const QString &id)
{
    bool ok = false;
    const int n = id.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

} // namespace vantoro
