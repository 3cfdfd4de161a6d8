// Composing mail and checking the operator's addresses.
#include "mail/mail_message.h"

#include "core/system_settings.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

namespace vantoro {

namespace {

// 75 characters per encoded word: "=?UTF-8?B?" and "?=" leave 63 for base64,
// which carries 45 bytes in 60 characters.
constexpr int WORD_BYTES = 45;
constexpr int BODY_LINE = 76;

bool isPlainHeaderText(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    // "=?" would read as the start of an encoded word.
    return !text.contains(QLatin1String("=?"));
}

// Splits UTF-8 into chunks of at most `limit` bytes, never inside a character.
QList<QByteArray> utf8Chunks(const QByteArray &utf8, int limit)
{
    QList<QByteArray> chunks;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = qMin(start + limit, utf8.size());
        while (end < utf8.size() && end > start && (quint8(utf8.at(end)) & 0xC0) == 0x80)
            --end;
        chunks << utf8.mid(start, end - start);
        start = end;
    }
    return chunks;
}

QByteArray addressHeader(const QString &name, const QString &address)
{
    if (name.isEmpty())
        return address.toUtf8();
    return encodeHeaderText(name) + " <" + address.toUtf8() + '>';
}

QByteArray rfc5322Date(const QDateTime &when)
{
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
    return (c.toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) + zone).toLatin1();
}

QByteArray domainOf(const QString &address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    return at < 0 ? QByteArray("vantoro.invalid") : address.mid(at + 1).toUtf8();
}

} // namespace

QByteArray encodeHeaderText(const QString &text)
{
    if (isPlainHeaderText(text))
        return text.toLatin1();
    QList<QByteArray> words;
    for (const QByteArray &chunk : utf8Chunks(text.toUtf8(), WORD_BYTES))
        words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    return words.join("\r\n ");
}

QByteArray composeMessage(const MailMessage &m)
{
    QByteArray out;
    auto header = [&out](const char *name, const QByteArray &value) { out += name + QByteArray(": ") + value + "\r\n"; };
    header("Date", rfc5322Date(m.date.isValid() ? m.date : QDateTime::currentDateTime()));
    header("From", addressHeader(m.fromName, m.from));
    QList<QByteArray> to;
    for (const QString &r : m.to)
        to << r.toUtf8();
    header("To", to.join(",\r\n "));
    header("Subject", encodeHeaderText(m.subject));
    header("Message-ID", '<' + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@' + domainOf(m.from) + '>');
    header("MIME-Version", "1.0");
    header("Content-Type", "text/plain; charset=UTF-8");
    header("Content-Transfer-Encoding", "base64");
    out += "\r\n";
    const QByteArray body = m.body.toUtf8().toBase64();
    for (qsizetype i = 0; i < body.size(); i += BODY_LINE)
        out += body.mid(i, BODY_LINE) + "\r\n";
    return out;
}

bool isMailAddress(const QString &text)
{
    // Deliberately plain: what a station operator types, not every form
    // RFC 5321 allows.
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z0-9.!#$%&'*+/=?^_`{|}~-]+@[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
    return text.size() <= 254 && pattern.match(text).hasMatch();
}

QStringList splitRecipients(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[;,]"));
    QStringList out;
    for (const QString &part : text.split(separators)) {
        const QString r = part.trimmed();
        if (!r.isEmpty())
            out << r;
    }
    return out;
}

QStringList invalidRecipients(const QString &text)
{
    QStringList bad;
    for (const QString &r : splitRecipients(text)) {
        if (!isMailAddress(r))
            bad << r;
    }
    return bad;
}

ServerAddress parseServerAddress(const QString &text, int security)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?))(?::(\\d{1,5}))?$"));
    ServerAddress a;
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return a;
    a.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const int defaultPort = security == MAIL_SECURITY_TLS ? 465 : security == MAIL_SECURITY_STARTTLS ? 587 : 25;
    a.port = match.captured(3).isEmpty() ? defaultPort : match.captured(3).toInt();
    a.valid = a.port >= 1 && a.port <= 65535;
    return a;
}

} // namespace vantoro
