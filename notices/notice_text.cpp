// Composing a notice.
#include "notices/notice_text.h"

#include "core/station_bus.h"

#include <QStringList>

#include <algorithm>

namespace vantoro {

QString noticeDeviceName(const QString &deviceId)
{
    const DeviceInfo *device = stationBus().device(deviceId);
    return device && !device->name.trimmed().isEmpty() ? device->name : deviceId;
}

AlertContent composeNotice(const QList<NoticeEvent> &events, int leftOut, const DeviceNamer &nameOf)
{
    // The mail's wording, with the names the namer gives.
    QList<DeviceInfo> devices;
    QList<MailEvent> lines;
    for (const NoticeEvent &e : events) {
        MailEvent line = e.event;
        line.deviceId = e.deviceId;
        lines << line;
        const bool known = std::any_of(devices.cbegin(), devices.cend(),
                                       [&e](const DeviceInfo &d) { return d.id == e.deviceId; });
        if (!known && !e.deviceId.isEmpty()) {
            const QString name = nameOf(e.deviceId);
            devices << DeviceInfo{e.deviceId, name == e.deviceId ? QString() : name, 1, 1, {}, true};
        }
    }
    AlertContent c = composeAlert(lines, leftOut, devices);
    // Channels show the body as it is; the mail's line ends would show as
    // blank lines on some.
    c.body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    c.body = c.body.trimmed();
    return c;
}

} // namespace vantoro
