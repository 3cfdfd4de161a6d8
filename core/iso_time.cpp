// ISO 8601 times with their UTC offset.
#include "core/iso_time.h"

#include <cstdlib>

namespace vantoro {

QString isoWithOffset(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const int offset = time.offsetFromUtc();
    const QDateTime shifted = time.toOffsetFromUtc(offset);
    const QString plain = shifted.date().toString(Qt::ISODate) + QLatin1Char('T') + shifted.time().toString(Qt::ISODate);
    const int minutes = std::abs(offset) / 60;
    return plain + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace vantoro
