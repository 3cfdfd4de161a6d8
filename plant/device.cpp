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

int deviceIdNumber(const QString &id)
{
    bool ok = false;
    const int n = id.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

} // namespace vantoro
