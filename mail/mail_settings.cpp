// Mail settings: from the record, checked, into the sender's form.
#include "mail/mail_settings.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "mail/mail_message.h"

namespace vantoro {

namespace {

QString pageText(const char *key)
{
    return langText(QStringLiteral("pageMail"), QString::fromLatin1(key));
}

} // namespace

QString validateMailSettings(const MailSettingsText &f)
{
    if (!f.enabled)
        return {};
    if (!parseServerAddress(f.server, f.security).valid)
        return pageText("msgBadServer");
    const QStringList recipients = splitRecipients(f.recipients);
    if (recipients.isEmpty())
        return pageText("msgNoRecipient");
    const QStringList bad = invalidRecipients(f.recipients);
    if (!bad.isEmpty())
        return pageText("msgBadRecipient") + bad.join(QStringLiteral(", "));
    if (!isMailAddress(f.sender.trimmed()))
        return pageText("msgBadSender");
    return {};
}

SmtpConfig smtpConfigFrom(const MailSettingsText &f)
{
    SmtpConfig c;
    const ServerAddress server = parseServerAddress(f.server, f.security);
    c.host = server.host;
    c.port = server.port;
    c.security = f.security;
    c.user = f.user.trimmed();
    c.password = f.password;
    c.sender = f.sender.trimmed();
    c.recipients = splitRecipients(f.recipients);
    return c;
}

QByteArray composeStationMail(const SmtpConfig &config, const QString &subject, const QString &body,
                              const QDateTime &date)
{
    MailMessage message;
    message.fromName = QStringLiteral("Vantoro");
    message.from = config.sender;
    message.to = config.recipients;
    message.subject = subject;
    message.body = body;
    message.date = date;
    return composeMessage(message);
}

MailSettingsText storedMailSettings()
{
    const SystemSettings &s = sysSettings;
    return {s.MailEnabled != 0, s.MailServeraddr, s.MailAddr, s.MailSender, s.MailUser, s.MailPassword, s.MailSecurity};
}

} // namespace vantoro
