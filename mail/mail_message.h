// Mail as the server receives it: an RFC 5322 message with UTF-8 headers
// encoded as RFC 2047 words and a base64 UTF-8 body; the recipient list and
// the server address as the operator types them.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vantoro {

struct MailMessage
{
    QString fromName;
    QString from;
    QStringList to;
    QString subject;
    QString body;
    QDateTime date;
};

// A header value as it may travel, control characters (a CR or LF in a
// device name) removed: plain when it is printable ASCII, else UTF-8 encoded
// words folded so that no line passes 76 characters, the first line
// counting the `headerNameLength` characters of "Name: " before the value.
QByteArray encodeHeaderText(const QString &text, int headerNameLength = 0);
// The whole message, lines ending in CRLF.
QByteArray composeMessage(const MailMessage &message);

// A plain address "local@domain" (no display name, no spaces).
bool isMailAddress(const QString &text);
// Recipients separated by ';' or ',', trimmed, empty entries dropped.
QStringList splitRecipients(const QString &text);
// The recipients of a field that are not addresses.
QStringList invalidRecipients(const QString &text);

struct ServerAddress
{
    QString host;
    int port = 0;
    bool valid = false;
};

// "host[:port]" (or "[v6]:port"); without a port the usual one of the
// security: 25 plain, 587 STARTTLS, 465 TLS.
ServerAddress parseServerAddress(const QString &text, int security);

} // namespace vantoro
