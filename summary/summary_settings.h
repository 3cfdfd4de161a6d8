// The daily summary's settings as the service uses them, and the check the
// mail page runs before they are saved.
#pragma once

#include "mail/mail_settings.h"

#include <QString>
#include <QTime>
#include <optional>

namespace vantoro {

struct SummarySettingsText
{
    QString time;          // "HH:MM" as typed
    bool byMail = false;
    bool byNotice = false;
};

// "HH:MM" or "H:MM", 00:00 to 23:59; nullopt for anything else.
std::optional<QTime> parseSummaryTime(const QString &text);
// Empty when the fields can be used; otherwise a message naming the field.
// By mail needs a mail server, sender and recipients that would work, also
// while alert mails are off.
QString validateSummarySettings(const SummarySettingsText &summary, const MailSettingsText &mail);
// The fields as stored in the system settings record.
SummarySettingsText storedSummarySettings();

} // namespace vantoro
