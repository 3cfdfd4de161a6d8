// The web server's answers: which path gives what, the method and parameter
// checks, and the headers every answer carries. Independent of the socket
// layer, so every rule here is one function call away from a test.
#pragma once

#include "web/query_params.h"
#include "web/station_snapshot.h"

#include <QByteArray>
#include <QJsonArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace vantoro {

struct WebReply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // beside the common ones
    bool sendBody = true; // false for HEAD: the headers still describe the body
    // Set when the answer reads much of the database: the server makes it on
    // a worker thread with `deferred` and sends what that returns, so the
    // station's thread (and its poll cycle) never waits for it.
    std::function<WebReply()> deferred = {};

    // The headers of the answer, Content-Length included.
    QList<QPair<QByteArray, QByteArray>> allHeaders() const;
};

// What the answers are made of; the web service provides it from the bus.
class WebContent
{
public:
    virtual ~WebContent() = default;
    virtual StationSnapshot snapshot() const = 0;
    virtual const PollCounters &counters() const = 0;
    // The newest events for the page, newest first.
    virtual QJsonArray recentEvents() = 0;
    // LANGUAGE_CHINESE or LANGUAGE_ENGLISH.
    virtual int language() const = 0;
};

class WebApi
{
public:
    explicit WebApi(WebContent &content) : m_content(content) { }

    // `method` as sent ("GET", "HEAD", ...); `rawQuery` without the '?'.
    WebReply handle(const QByteArray &method, const QString &path, const QByteArray &rawQuery);

    // The paths served, for the tests and the manual.
    static QStringList paths();

private:
    WebReply get(const QString &path, const QByteArray &rawQuery);
    WebReply status();
    WebReply events(const QByteArray &rawQuery);
    WebReply history(const QByteArray &rawQuery);
    WebReply yield(const QByteArray &rawQuery);
    WebReply page();

    WebContent &m_content;
    QByteArray m_page;
    int m_pageLanguage = 0;
};

// A 400 (or other) answer: {"error": message, "parameter": name}.
WebReply jsonError(int status, const QString &message, const QString &parameter = QString());

// The history answer as the worker makes it, through a read-only connection
// of its own to `databaseFile`.
WebReply historyReply(const QString &databaseFile, const QString &timeHeader, const TimeRange &range,
                      const QStringList &codes, bool csv);

} // namespace vantoro
