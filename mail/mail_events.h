// Which stored events go out by mail, and the alert mail that carries them.
#pragma once

#include "core/station_bus.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace vantoro {

// Events gathered into one mail, and how old an unsent event may be at its
// first chance to go out.
inline constexpr int MAIL_GATHER_SECONDS = 120;
inline constexpr int MAIL_MAX_AGE_HOURS = 24;
inline constexpr int MAIL_EVENTS_PER_MESSAGE = 100;

// Fault entries, link lost or restored, the power meter out of step, the
// shutdown countdown and a start after an unclean stop, in either language;
// never the "*" trace texts.
bool isMailEvent(const QString &text);

struct MailEvent
{
    qint64 rowId = 0;
    QDateTime time;
    QString text;
    QString deviceId; // empty for an event of the station itself
};

struct AlertContent
{
    QString subject;
    QString body;
};

// Subject: the devices the events are of and the first event; body: every
// event with its time and device, and one line for the events left out as
// too old. A device is named as `devices` (the line's list) names it.
AlertContent composeAlert(const QList<MailEvent> &events, int leftOut, const QList<DeviceInfo> &devices);
// "name (id)", the id alone for a device without a name or not on the list,
// and the station's name for an event of no device.
QString deviceLabel(const QString &deviceId, const QList<DeviceInfo> &devices);

} // namespace vantoro
