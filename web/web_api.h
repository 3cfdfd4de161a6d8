// The web server's answers: which path gives what, the method and parameter
// checks, and the headers every answer carries. Independent of the socket
// layer, so every rule here is one function call away from a test.
#pragma once

#include "history/csv_writer.h"
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

// One request as the API sees it.
struct WebRequest
{
    QByteArray method; // as sent: "GET", "HEAD", ...
    QString path;
    QByteArray rawQuery; // without the '?'
    QByteArray host;     // the Host header, empty when none came
};

// Whether `host` (a Host header) names this machine at `port`: localhost,
// 127.0.0.1 or [::1], with the port (which may be left out for port 80).
bool hostNamesThisMachine(const QByteArray &host, quint16 port);

// What the answers are made of; the web service provides it from the bus.
class WebContent
{
public:
    virtual ~WebContent() = default;
    // Every device on the line with its counters and yield, and the totals.
    virtual PlantSnapshot plant() const = 0;
    // The newest events for the page, newest first.
    virtual QJsonArray recentEvents() = 0;
    // LANGUAGE_CHINESE or LANGUAGE_ENGLISH.
    virtual int language() const = 0;
};

class WebApi
{
public:
    explicit WebApi(WebContent &content) : m_content(content) { }

    WebReply handle(const WebRequest &request);
    // Bound to loopback, only Host values that name this machine are
    // answered, so a page of another site cannot reach the station through
    // a name it points at 127.0.0.1; bound to all interfaces, any.
    void setLocalHostOnly(bool on, quint16 port)
    {
        m_localHostOnly = on;
        m_port = port;
    }

    // The paths served, for the tests and the manual.
    static QStringList paths();

private:
    WebReply get(const QString &path, const QByteArray &rawQuery);
    WebReply status(const QByteArray &rawQuery);
    WebReply devices();
    WebReply events(const QByteArray &rawQuery);
    WebReply history(const QByteArray &rawQuery);
    WebReply yield(const QByteArray &rawQuery);
    WebReply page();

    WebContent &m_content;
    bool m_localHostOnly = false;
    quint16 m_port = 0;
    QByteArray m_page;
    int m_pageLanguage = 0;
};

// A 400 (or other) answer: {"error": message, "parameter": name}.
WebReply jsonError(int status, const QString &message, const QString &parameter = QString());

// The history answer as the worker makes it, through a read-only connection
// of its own to `databaseFile`.
WebReply historyReply(const QString &databaseFile, const HistoryCsvTexts &texts, const QString &deviceId,
                      const TimeRange &range, const QStringList &codes, bool csv);

} // namespace vantoro
