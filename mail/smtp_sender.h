// One mail handed to an SMTP server through libcurl. Blocking: it runs on a
// worker thread, never on the window's.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>

namespace vantoro {

struct SmtpConfig
{
    QString host;
    int port = 25;
    int security = 0; // MAIL_SECURITY_*
    QString user;     // empty: no login
    QString password;
    QString sender;
    QStringList recipients;

    bool operator==(const SmtpConfig &) const = default;
};

struct RefusedRecipient
{
    QString address;
    QString reply; // the server's own answer to RCPT
};

struct SmtpResult
{
    // The server took the message for at least one recipient.
    bool accepted = false;
    // For the operator: what went wrong and the server's last answer, or the
    // server's answer to the message (the job adds the refused recipients
    // with the server's replies). Never holds the password.
    QString answer;
    QList<RefusedRecipient> refused;
};

// Calls curl_global_init once; call on the main thread before any send.
void initSmtp();
// Sends `message` to every recipient the server accepts; one that it refuses
// does not keep the message from the others. A set `abort` ends a transfer
// in progress.
SmtpResult sendSmtp(const SmtpConfig &config, const QByteArray &message, const std::atomic_bool *abort = nullptr);

} // namespace vantoro
