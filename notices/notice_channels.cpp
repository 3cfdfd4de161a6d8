// Stored notification URLs and their masks.
#include "notices/notice_channels.h"

#include "core/database.h"
#include "core/localisation.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString hidden = QStringLiteral("****");

// Tokens are long or mix letters and digits; host names and topics with a
// dot or without digits stay readable so the user can tell channels apart.
bool looksLikeToken(const QString &part)
{
    if (part.contains(QLatin1Char('.')))
        return part.size() >= 40;
    if (part.size() >= 16)
        return true;
    bool letter = false;
    bool digit = false;
    for (const QChar c : part) {
        letter = letter || c.isLetter();
        digit = digit || c.isDigit();
    }
    return part.size() >= 8 && letter && digit;
}

QString masked(const QString &part)
{
    return part.left(2) + hidden;
}

// Masks each token between the separators of an address.
QString maskParts(const QString &address)
{
    static const QRegularExpression separators(QStringLiteral("([/:@])"));
    QString out;
    qsizetype from = 0;
    auto it = separators.globalMatch(address);
    auto take = [&](qsizetype to) {
        const QString part = address.mid(from, to - from);
        out += looksLikeToken(part) ? masked(part) : part;
    };
    while (it.hasNext()) {
        const auto m = it.next();
        take(m.capturedStart());
        out += m.captured();
        from = m.capturedEnd();
    }
    take(address.size());
    return out;
}

} // namespace

QList<NoticeChannel> storedNoticeChannels(QString *error)
{
    QList<NoticeChannel> channels;
    const auto rows = rsSqlGet(QStringLiteral("select id, url, added from noticeurls order by id"), {}, error);
    if (!rows)
        return channels;
    for (int i = 0; i < rows->recordCount(); ++i) {
        channels << NoticeChannel{rows->value(i, QStringLiteral("id")).toLongLong(), rows->text(i, QStringLiteral("url")),
                                  QDateTime::fromString(rows->text(i, QStringLiteral("added")), timeFormat)};
    }
    return channels;
}

bool saveNoticeChannels(const QList<NoticeChannel> &channels, QString *error)
{
    const QString now = QDateTime::currentDateTime().toString(timeFormat);
    return rsSqlGet2([&](QSqlDatabase &db, QString &err) {
        QSqlQuery q(db);
        QSet<qint64> kept;
        for (const NoticeChannel &c : channels)
            kept.insert(c.id);
        if (!q.exec(QStringLiteral("select id from noticeurls"))) {
            err = q.lastError().text();
            return false;
        }
        QList<qint64> removed;
        while (q.next()) {
            if (!kept.contains(q.value(0).toLongLong()))
                removed << q.value(0).toLongLong();
        }
        for (const qint64 id : removed) {
            for (const char *sql : {"delete from noticesent where channel=?", "delete from noticeurls where id=?"}) {
                q.prepare(QString::fromLatin1(sql));
                q.addBindValue(id);
                if (!q.exec()) {
                    err = q.lastError().text();
                    return false;
                }
            }
        }
        for (const NoticeChannel &c : channels) {
            if (c.id != 0)
                continue;
            q.prepare(QStringLiteral("insert into noticeurls (url, added) values (?, ?)"));
            q.addBindValue(c.url);
            q.addBindValue(now);
            if (!q.exec()) {
                err = q.lastError().text();
                return false;
            }
        }
        return true;
    }, error);
}

QString validateNoticeUrl(const QString &url)
{
    static const QRegularExpression form(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://\\S+$"));
    if (url.size() > 2000 || !form.match(url).hasMatch())
        return langText(QStringLiteral("pageNotices"), QStringLiteral("msgBadUrl")).trimmed() + QLatin1Char(' ')
            + maskNoticeUrl(url.left(200));
    return QString();
}

QString maskNoticeUrl(const QString &url)
{
    const qsizetype schemeEnd = url.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return url.size() <= 8 ? url : masked(url);
    QString rest = url.mid(schemeEnd + 3);
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        QStringList pairs = rest.mid(q + 1).split(QLatin1Char('&'));
        for (QString &pair : pairs) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            if (eq >= 0 && eq + 1 < pair.size())
                pair = pair.left(eq + 1) + hidden;
        }
        query = QLatin1Char('?') + pairs.join(QLatin1Char('&'));
        rest.truncate(q);
    }
    // The password of user:password@ whatever it looks like.
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'), rest.indexOf(QLatin1Char('/')));
    QString login;
    if (at >= 0) {
        login = rest.left(at);
        rest = rest.mid(at + 1);
        const qsizetype colon = login.indexOf(QLatin1Char(':'));
        login = colon >= 0 ? maskParts(login.left(colon)) + QLatin1Char(':') + hidden : maskParts(login);
        login += QLatin1Char('@');
    }
    return url.left(schemeEnd + 3) + login + maskParts(rest) + query;
}

QString maskNoticeUrls(QString text, const QStringList &urls)
{
    for (const QString &url : urls) {
        if (!url.isEmpty())
            text.replace(url, maskNoticeUrl(url));
    }
    return text;
}

} // namespace vantoro
