// Composing mail and checking the operator's addresses.
#include "mail/mail_message.h"

#include "core/system_settings.h"

#include <QLocale>
#include <QRegularExpression>
#include <QUuid>

namespace vantoro {

namespace {

// A line holding encoded words is at most 76 characters long, a word at
// most 75. "=?UTF-8?B?" and "?=" take 12 of them; base64 carries 3 bytes in
// every 4 characters.
constexpr int ENCODED_LINE = 76;
constexpr int ENCODED_WORD = 75;
constexpr int WORD_OVERHEAD = 12;
constexpr int MAX_CHARACTER_BYTES = 4;
constexpr int BODY_LINE = 76;

int wordBytesFor(int lineRoom)
{
    return (qMin(lineRoom, ENCODED_WORD) - WORD_OVERHEAD) / 4 * 3;
}

// Nothing that could end the header line or hide in it.
QString withoutControls(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control)
            out += c;
    }
    return out;
}

bool isPlainHeaderText(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    // "=?" would read as the start of an encoded word.
    return !text.contains(QLatin1String("=?"));
}

// How many bytes from `start`, at most `limit`, end on a whole character.
qsizetype wholeCharacters(const QByteArray &utf8, qsizetype start, int limit)
{
    qsizetype end = qMin(start + limit, utf8.size());
    while (end < utf8.size() && end > start && (quint8(utf8.at(end)) & 0xC0) == 0x80)
        --end;
    return end - start;
}

QByteArray addressHeader(int headerNameLength, const QString &name, const QString &address)
{
    const QByteArray plainAddress = withoutControls(address).toUtf8();
    if (name.isEmpty())
        return plainAddress;
    QByteArray value = encodeHeaderText(name, headerNameLength);
    const qsizetype lineStart = value.lastIndexOf('\n');
    const qsizetype lastLine = lineStart < 0 ? headerNameLength + value.size() : value.size() - lineStart - 1;
    const QByteArray angleAddress = '<' + plainAddress + '>';
    // The address may not lengthen a line of encoded words past the limit.
    if (value.contains("=?") && lastLine + 1 + angleAddress.size() > ENCODED_LINE)
        return value + "\r\n " + angleAddress;
    return value + ' ' + angleAddress;
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

QByteArray encodeHeaderText(const QString &text, int headerNameLength)
{
    const QString clean = withoutControls(text);
    if (isPlainHeaderText(clean))
        return clean.toLatin1();
    const QByteArray utf8 = clean.toUtf8();
    // A folded line starts with one space.
    const QByteArray fold = "\r\n ";
    const int foldedRoom = wordBytesFor(ENCODED_LINE - 1);
    QByteArray out;
    int room = wordBytesFor(ENCODED_LINE - headerNameLength);
    if (room < MAX_CHARACTER_BYTES) {
        out = fold; // no room beside a long name: the words start on the next line
        room = foldedRoom;
    }
    for (qsizetype start = 0; start < utf8.size();) {
        const qsizetype length = wholeCharacters(utf8, start, room);
        if (!out.isEmpty() && !out.endsWith(fold))
            out += fold;
        out += "=?UTF-8?B?" + utf8.mid(start, length).toBase64() + "?=";
        start += length;
        room = foldedRoom;
    }
    return out;
}

QByteArray composeMessage(const MailMessage &m)
{
    QByteArray out;
    auto header = [&out](const char *name, const QByteArray &value) { out += name + QByteArray(": ") + value + "\r\n"; };
    auto nameLength = [](const char *name) { return int(qstrlen(name)) + 2; };
    header("Date", rfc5322Date(m.date.isValid() ? m.date : QDateTime::currentDateTime()));
    header("From", addressHeader(nameLength("From"), m.fromName, m.from));
    QList<QByteArray> to;
    for (const QString &r : m.to)
        to << withoutControls(r).toUtf8();
    header("To", to.join(",\r\n "));
    header("Subject", encodeHeaderText(m.subject, nameLength("Subject")));
    header("Message-ID", '<' + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '@'
                             + domainOf(withoutControls(m.from)) + '>');
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
