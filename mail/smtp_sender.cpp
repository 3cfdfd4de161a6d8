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
};

size_t readMessage(char *buffer, size_t size, size_t count, void *userdata)
{
    auto *t = static_cast<Transfer *>(userdata);
    const size_t n = qMin(size * count, size_t(t->message.size() - t->sent));
    std::memcpy(buffer, t->message.constData() + t->sent, n);
    t->sent += qsizetype(n);
    return n;
}

// Only what the server says is kept: what curl sends includes the login.
int keepServerLines(CURL *, curl_infotype type, char *data, size_t size, void *userdata)
{
    if (type == CURLINFO_HEADER_IN) {
        const QString line = QString::fromUtf8(data, qsizetype(size)).trimmed();
        if (!line.isEmpty())
            static_cast<Transfer *>(userdata)->serverLines << line;
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
    Transfer transfer{message, 0, {}, abort};
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
    // Taken before the cleanup, whose QUIT would add the server's goodbye.
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
    return result;
}

} // namespace vantoro
