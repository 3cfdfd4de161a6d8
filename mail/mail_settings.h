// The mail settings of the station as the sender uses them, and the check
// the settings page runs before they are saved.
#pragma once

#include "mail/smtp_sender.h"

#include <QDateTime>

namespace vantoro {

struct MailSettingsText
{
    bool enabled = false;
    QString server;
    QString recipients;
    QString sender;
    QString user;
    QString password;
    int security = 0;
};

// Empty when the fields can be used; otherwise a message naming the field.
// Disabled mail is not checked, so a half-filled page can still be saved.
QString validateMailSettings(const MailSettingsText &fields);
SmtpConfig smtpConfigFrom(const MailSettingsText &fields);
// The fields as stored in the system settings record.
MailSettingsText storedMailSettings();
// A mail of the station to the configured recipients, ready for the server.
QByteArray composeStationMail(const SmtpConfig &config, const QString &subject, const QString &body,
                              const QDateTime &date = QDateTime::currentDateTime());

} // namespace vantoro
