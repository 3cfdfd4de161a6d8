// The wording of a notice: the mail's alert text, naming the device of each
// event.
#pragma once

#include "mail/mail_events.h"

#include <functional>

namespace vantoro {

struct NoticeEvent
{
    MailEvent event;
    QString deviceId;
};

using DeviceNamer = std::function<QString(const QString &deviceId)>;

// The name the station bus knows the device by, else its id.
QString noticeDeviceName(const QString &deviceId);

// Events of one device read as its mail would; events of several carry
// their device's name in front of the text.
AlertContent composeNotice(const QList<NoticeEvent> &events, int leftOut, const DeviceNamer &nameOf = noticeDeviceName);

} // namespace vantoro
