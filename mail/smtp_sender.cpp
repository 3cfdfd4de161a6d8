// SMTP through libcurl.
#include "mail/smtp_sender.h"

#include "core/system_settings.h"

#include <curl/curl.h>
#include <cstring>
#include <mutex>

namespace vantoro {

namespace {

constexpr long CONNECT_TIMEOUT_S = 20;
constexpr long TRANSFER_TIMEOUT_S = 120;

struct Transfer
{
    QByteArray message;
    qsizetype sent = 0;
    QStringList serverLines;
    const std::atomic_bool *abort = nullptr;
    // The recipient whose RCPT awaits its reply, and the replies refusing one.
    QString recipient;
    QString recipientReply;
    QList<RefusedRecipient> refused;
    // After QUIT the server only says goodbye: not the answer to report.
    bool quitting = false;
};

// The recipient of a "RCPT TO:<address> ..." command line.
QString recipientOf(const QString &command)
{
    const qsizetype open = command.indexOf(QLatin1Char('<'));
    const qsizetype close = command.indexOf(QLatin1Char('>'), open + 1);
    return open < 0 || close < 0 ? command.mid(8).trimmed() : command.mid(open + 1, close - open - 1);
}

void serverLine(Transfer &t, const QString &line)
{
    t.serverLines << line;
    if (t.recipient.isEmpty())
        return;
    t.recipientReply += (t.recipientReply.isEmpty() ? QString() : QStringLiteral(" ")) + line;
    // "550-..." continues a reply; "550 ..." ends it.
    if (line.size() > 3 && line.at(3) == QLatin1Char('-'))
        return;
    if (!line.startsWith(QLatin1Char('2')))
        t.refused << RefusedRecipient{t.recipient, t.recipientReply};
    t.recipient.clear();
    t.recipientReply.clear();
}

size_t readMessage(char *buffer, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const size_t n = qMin(size * count, size_t(t->message.size() - t->sent));
    std::memcpy(buffer, t->message.constData() + t->sent, n);
    t->sent += qsizetype(n);
    return n;
}

// Only what the server says is kept: what curl sends includes the login,
// and is only looked at for the command that a reply answers.
int keepServerLines(CURL *, curl_infotype type, char *data, size_t size, void *userdata)
{
    auto &t = *static_cast<Transfer *>(userdata);
    const QString text = QString::fromUtf8(data, qsizetype(size));
    if (type == CURLINFO_HEADER_OUT) {
        if (text.startsWith(QLatin1String("RCPT TO:"), Qt::CaseInsensitive)) {
            t.recipient = recipientOf(text.trimmed());
            t.recipientReply.clear();
        } else if (text.startsWith(QLatin1String("QUIT"), Qt::CaseInsensitive)) {
            t.quitting = true;
        }
    } else if (type == CURLINFO_HEADER_IN && !t.quitting) {
        for (const QString &part : text.split(QLatin1Char('\n'))) {
            const QString line = part.trimmed();
            if (!line.isEmpty())
                serverLine(t, line);
        }
    }
    return 0;
}

int checkAbort(void *userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto *t = static_cast<Transfer *>(userdata);
    return t->abort && t->abort->load() ? 1 : 0;
}

QByteArray angle(const QString &address)
{
    return '<' + address.toUtf8() + '>';
}

QByteArray urlFor(const SmtpConfig &c)
{
    const QString host = c.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + c.host + QLatin1Char(']') : c.host;
    const char *scheme = c.security == MAIL_SECURITY_TLS ? "smtps" : "smtp";
    return QStringLiteral("%1://%2:%3").arg(QLatin1String(scheme), host).arg(c.port).toUtf8();
}

} // namespace

void initSmtp()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SmtpResult sendSmtp(const SmtpConfig &config, const QByteArray &message, const std::atomic_bool *abort)
{
    initSmtp();
    SmtpResult result;
    CURL *curl = curl_easy_init();
    if (!curl) {
        result.answer = QStringLiteral("libcurl could not be initialised");
        return result;
    }
    Transfer transfer;
    transfer.message = message;
    transfer.abort = abort;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist *recipients = nullptr;
    for (const QString &r : config.recipients)
        recipients = curl_slist_append(recipients, angle(r).constData());
    const QByteArray url = urlFor(config);
    const QByteArray from = angle(config.sender);
    const QByteArray user = config.user.toUtf8();
    const QByteArray password = config.password.toUtf8();

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients);
    // One refused address must not keep the mail from the others.
#if LIBCURL_VERSION_NUM >= 0x080200
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readMessage);
    curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     config.security == MAIL_SECURITY_STARTTLS ? long(CURLUSESSL_ALL) : long(CURLUSESSL_NONE));
    if (!config.user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_S);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, TRANSFER_TIMEOUT_S);
    // Worker threads must not have curl's resolver raise signals.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, keepServerLines);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, checkAbort);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);

    const CURLcode code = curl_easy_perform(curl);
    const QString lastLine = transfer.serverLines.isEmpty() ? QString() : transfer.serverLines.last();
    curl_easy_cleanup(curl);
    curl_slist_free_all(recipients);

    result.accepted = code == CURLE_OK;
    if (result.accepted) {
        result.answer = lastLine;
    } else {
        result.answer = QString::fromUtf8(curl_easy_strerror(code));
        if (errorBuffer[0] && QString::fromUtf8(errorBuffer) != result.answer)
            result.answer += QStringLiteral(": ") + QString::fromUtf8(errorBuffer).trimmed();
        if (!lastLine.isEmpty())
            result.answer += QStringLiteral(" (server: ") + lastLine + QLatin1Char(')');
    }
    result.refused = transfer.refused;
    return result;
}

} // namespace vantoro
