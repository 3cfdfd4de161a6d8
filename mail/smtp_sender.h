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

struct SmtpResult
{
    bool accepted = false;
    // For the operator: what went wrong and the server's last answer, or the
    // server's answer to the message. Never holds the password.
    QString answer;
};

// Calls curl_global_init once; call on the main thread before any send.
void initSmtp();
// Sends `message` to every recipient; accepted only when the server took the
// message for all of them. A set `abort` ends a transfer in progress.
SmtpResult sendSmtp(const SmtpConfig &config, const QByteArray &message, const std::atomic_bool *abort = nullptr);

} // namespace vantoro
