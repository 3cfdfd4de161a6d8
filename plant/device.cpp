// A device's identity and texts.
#include "plant/device.h"

namespace vantoro {

DeviceRecord plantOfOneRecord()
{
    DeviceRecord r;
    r.id = QString::fromLatin1(PARAM_DEVICE_ID);
    r.rating = QStringLiteral("3K");
    return r;
}

Device::Device(DeviceRecord record)
    : m_record(std::move(record))
{
}

QString Device::suffix() const
{
    return QLatin1Char('(') + m_record.name + QLatin1Char(')');
}

} // namespace vantoro
