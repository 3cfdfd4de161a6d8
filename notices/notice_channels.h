// The notification URLs the station sends notices to, as stored in the
// database, and how a URL is shown once saved: a token never in full.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace vantoro {

struct NoticeChannel
{
    qint64 id = 0;        // 0 for a URL not saved yet
    QString url;
    QDateTime added;      // events stored before it never go to this channel
};

// The stored channels in the order of the page; empty on a read failure,
// which `error` then names.
QList<NoticeChannel> storedNoticeChannels(QString *error = nullptr);
// Replaces the stored list in one transaction: a kept id keeps its
// deliveries, a removed channel loses them, a new URL starts now.
bool saveNoticeChannels(const QList<NoticeChannel> &channels, QString *error = nullptr);

// Empty when Apprise may be handed the URL; otherwise what is wrong with it.
QString validateNoticeUrl(const QString &url);
// The URL with its secrets replaced: the password of a login, query values,
// and each part of the address that looks like a token.
QString maskNoticeUrl(const QString &url);
// `text` with every occurrence of one of the URLs masked.
QString maskNoticeUrls(QString text, const QStringList &urls);

} // namespace vantoro
