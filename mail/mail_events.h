// Which stored events go out by mail, and the alert mail that carries them.
#pragma once

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
};

struct AlertContent
{
    QString subject;
    QString body;
};

// Subject: the device and the first event; body: every event with its time,
// and one line for the events left out as too old.
AlertContent composeAlert(const QString &deviceName, const QList<MailEvent> &events, int leftOut);

} // namespace vantoro
