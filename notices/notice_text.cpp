// Composing a notice.
#include "notices/notice_text.h"

#include "core/station_bus.h"

#include <QStringList>

namespace vantoro {

QString noticeDeviceName(const QString &deviceId)
{
    const DeviceInfo *device = stationBus().device(deviceId);
    return device && !device->name.trimmed().isEmpty() ? device->name : deviceId;
}

AlertContent composeNotice(const QList<NoticeEvent> &events, int leftOut, const DeviceNamer &nameOf)
{
    QStringList names;
    for (const NoticeEvent &e : events) {
        const QString name = nameOf(e.deviceId);
        if (!names.contains(name))
            names << name;
    }
    QList<MailEvent> lines;
    for (const NoticeEvent &e : events) {
        MailEvent line = e.event;
        if (names.size() > 1)
            line.text = nameOf(e.deviceId) + QStringLiteral(": ") + line.text;
        lines << line;
    }
    AlertContent c = composeAlert(names.join(QStringLiteral(", ")), lines, leftOut);
    // Channels show the body as it is; the mail's line ends would show as
    // blank lines on some.
    c.body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    c.body = c.body.trimmed();
    return c;
}

} // namespace vantoro
