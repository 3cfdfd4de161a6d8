// Routing, method and parameter checks, and the common headers.
#include "web/web_api.h"

#include "core/database.h"
#include "history/csv_writer.h"
#include "web/event_feed.h"
#include "web/history_feed.h"
#include "web/metrics_text.h"
#include "web/status_json.h"
#include "web/web_page.h"

#include <QJsonDocument>

namespace vantoro {

namespace {

const QByteArray kJson = "application/json; charset=utf-8";
const QByteArray kAllow = "GET, HEAD";
// Events of at most this many days per request.
constexpr int EVENTS_MAX_DAYS = 366;

const QString kPathPage = QStringLiteral("/");
const QString kPathScript = QStringLiteral("/page.js");
const QString kPathStyle = QStringLiteral("/page.css");
const QString kPathStatus = QStringLiteral("/api/v1/status");
const QString kPathDevices = QStringLiteral("/api/v1/devices");
const QString kPathEvents = QStringLiteral("/api/v1/events");
const QString kPathMetrics = QStringLiteral("/metrics");
const QString kPathHistory = QStringLiteral("/api/v1/history");
const QString kPathYield = QStringLiteral("/api/v1/yield");

WebReply jsonReply(const QJsonObject &object)
{
    return {200, kJson, QJsonDocument(object).toJson(QJsonDocument::Compact), {}};
}

// Paths that take no parameters refuse any, so a typing error shows.
bool refusesQuery(const QByteArray &rawQuery, WebReply *reply)
{
    ParameterError error;
    const auto params = QueryParams::parse(rawQuery, {}, &error);
    if (params && params->names().isEmpty())
        return false;
    if (params)
        error = {params->names().constFirst(), QStringLiteral("this path takes no parameters")};
    *reply = jsonError(400, error.message, error.parameter);
    return true;
}

} // namespace

QList<QPair<QByteArray, QByteArray>> WebReply::allHeaders() const
{
    QList<QPair<QByteArray, QByteArray>> out{
        {"Content-Type", contentType.isEmpty() ? kJson : contentType},
        {"Content-Length", QByteArray::number(body.size())},
        {"Content-Security-Policy", "default-src 'self'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Cache-Control", "no-store"},
    };
    out += headers;
    return out;
}

WebReply jsonError(int status, const QString &message, const QString &parameter)
{
    QJsonObject error{{QStringLiteral("error"), message}};
    if (!parameter.isEmpty())
        error.insert(QStringLiteral("parameter"), parameter);
    return {status, kJson, QJsonDocument(error).toJson(QJsonDocument::Compact), {}};
}

bool hostNamesThisMachine(const QByteArray &host, quint16 port)
{
    const QByteArray lower = host.trimmed().toLower();
    const QByteArray withPort = ':' + QByteArray::number(port);
    for (const char *name : {"localhost", "127.0.0.1", "[::1]"}) {
        if (lower == name + withPort || (port == 80 && lower == name))
            return true;
    }
    return false;
}

QStringList WebApi::paths()
{
    return {kPathPage, kPathScript, kPathStyle, kPathStatus, kPathDevices, kPathEvents, kPathHistory, kPathYield, kPathMetrics};
}

WebReply WebApi::handle(const WebRequest &request)
{
    WebReply reply;
    if (m_localHostOnly && !hostNamesThisMachine(request.host, m_port)) {
        reply = jsonError(421, QStringLiteral("this station answers only to localhost, 127.0.0.1 or [::1] with its "
                                              "port"));
    } else if (!paths().contains(request.path)) {
        reply = jsonError(404, QStringLiteral("no such path"));
    } else if (request.method != "GET" && request.method != "HEAD") {
        reply = jsonError(405, QStringLiteral("only GET and HEAD are served"));
        reply.headers.append({"Allow", kAllow});
    } else {
        reply = get(request.path, request.rawQuery);
    }
    // Whatever the answer, a body after HEAD would be read as the next answer.
    reply.sendBody = request.method != "HEAD";
    return reply;
}

WebReply WebApi::get(const QString &path, const QByteArray &rawQuery)
{
    WebReply refused;
    if (path == kPathPage)
        return page(); // a link may carry a query of its own
    if (path == kPathEvents)
        return events(rawQuery);
    if (path == kPathHistory)
        return history(rawQuery);
    if (path == kPathYield)
        return yield(rawQuery);
    if (path == kPathStatus)
        return status(rawQuery);
    if (refusesQuery(rawQuery, &refused))
        return refused;
    if (path == kPathDevices)
        return devices();
    if (path == kPathMetrics)
        return {200, METRICS_CONTENT_TYPE, metricsText(m_content.plant()), {}};
    if (path == kPathScript)
        return {200, "text/javascript; charset=utf-8", pageResource(QStringLiteral("page.js")), {}};
    if (path == kPathStyle)
        return {200, "text/css; charset=utf-8", pageResource(QStringLiteral("page.css")), {}};
    return jsonError(404, QStringLiteral("no such path"));
}

WebReply WebApi::status(const QByteArray &rawQuery)
{
    const QString deviceName = QStringLiteral("device");
    ParameterError error;
    const auto params = QueryParams::parse(rawQuery, {deviceName}, &error);
    if (!params)
        return jsonError(400, error.message, error.parameter);
    const auto id = params->deviceId(deviceName, &error);
    if (!id)
        return jsonError(400, error.message, error.parameter);
    const PlantSnapshot plant = m_content.plant();
    const StationSnapshot *device = id->isEmpty() ? plant.defaultDevice() : plant.device(*id);
    if (!device)
        return jsonError(404, id->isEmpty() ? QStringLiteral("no device on the line")
                                            : QStringLiteral("no device %1 on the line").arg(*id),
                         deviceName);
    QJsonObject json = statusJson(*device);
    QJsonArray events = m_content.recentEvents();
    // Asked for one device of a plant, its own events; without, the plant's.
    if (!id->isEmpty()) {
        QJsonArray own;
        for (const QJsonValue &e : std::as_const(events)) {
            if (e[QStringLiteral("device")].toString() == *id)
                own.append(e);
        }
        events = own;
    }
    json.insert(QStringLiteral("events"), events);
    return jsonReply(json);
}

WebReply WebApi::devices()
{
    return jsonReply(devicesJson(m_content.plant()));
}

WebReply WebApi::events(const QByteArray &rawQuery)
{
    ParameterError error;
    const auto params = QueryParams::parse(
        rawQuery, {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("limit")}, &error);
    if (!params)
        return jsonError(400, error.message, error.parameter);
    const auto range = params->dayRange(QDate::currentDate(), EVENTS_MAX_DAYS, &error);
    if (!range)
        return jsonError(400, error.message, error.parameter);
    const auto limit = params->integer(QStringLiteral("limit"), 1, EVENTS_MAX_ROWS, EVENTS_MAX_ROWS, &error);
    if (!limit)
        return jsonError(400, error.message, error.parameter);
    QString dbError;
    const auto json = eventsJson(*range, *limit, &dbError);
    if (!json)
        return jsonError(503, QStringLiteral("the event log cannot be read: ") + dbError);
    return jsonReply(*json);
}

WebReply WebApi::history(const QByteArray &rawQuery)
{
    ParameterError error;
    const auto params = QueryParams::parse(rawQuery,
                                           {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("codes"),
                                            QStringLiteral("format"), QStringLiteral("device")},
                                           &error);
    if (!params)
        return jsonError(400, error.message, error.parameter);
    const auto device = requestedDevice(*params, &error);
    if (!device)
        return jsonError(404, error.message, error.parameter);
    const auto range = params->timeRange(QDate::currentDate(), HISTORY_MAX_DAYS, &error);
    if (!range)
        return jsonError(400, error.message, error.parameter);
    const QString codesName = QStringLiteral("codes");
    const auto codes = params->has(codesName) ? params->codes(codesName, &error) : QStringList();
    if (!codes)
        return jsonError(400, error.message, error.parameter);
    const auto format = params->choice(QStringLiteral("format"), {QStringLiteral("json"), QStringLiteral("csv")},
                                       QStringLiteral("json"), &error);
    if (!format)
        return jsonError(400, error.message, error.parameter);
    // What the worker needs is taken here: it reads no settings of its own.
    WebReply reply;
    reply.deferred = [path = databasePath(), texts = historyCsvTexts(), device = *device, range = *range,
                      codes = *codes, csv = *format == QStringLiteral("csv")] {
        return historyReply(path, texts, device, range, codes, csv);
    };
    return reply;
}

WebReply historyReply(const QString &databaseFile, const HistoryCsvTexts &texts, const QString &deviceId,
                      const TimeRange &range, const QStringList &codes, bool csv)
{
    FeedError feedError;
    DbConnection connection(databaseFile, DbConnection::Access::ReadOnly);
    if (!connection.isOpen()) {
        feedError.databaseError = connection.errorText();
    } else {
        QSqlDatabase db = connection.database();
        if (csv) {
            if (const auto text = historyCsv(db, deviceId, range, codes, texts, &feedError))
                return {200, "text/csv; charset=utf-8", *text, {}};
        } else if (const auto json = historyJson(db, deviceId, range, codes, &feedError)) {
            return jsonReply(*json);
        }
    }
    if (feedError.badParameter)
        return jsonError(400, feedError.parameter.message, feedError.parameter.parameter);
    return jsonError(503, QStringLiteral("the history cannot be read: ") + feedError.databaseError);
}

WebReply WebApi::yield(const QByteArray &rawQuery)
{
    ParameterError error;
    const auto params = QueryParams::parse(
        rawQuery, {QStringLiteral("year"), QStringLiteral("month"), QStringLiteral("device")}, &error);
    if (!params)
        return jsonError(400, error.message, error.parameter);
    const auto device = requestedDevice(*params, &error);
    if (!device)
        return jsonError(404, error.message, error.parameter);
    const auto year = params->integer(QStringLiteral("year"), 1970, 9999, QDate::currentDate().year(), &error);
    if (!year)
        return jsonError(400, error.message, error.parameter);
    std::optional<int> month;
    if (params->has(QStringLiteral("month"))) {
        month = params->integer(QStringLiteral("month"), 1, 12, std::nullopt, &error);
        if (!month)
            return jsonError(400, error.message, error.parameter);
    }
    QString dbError;
    const auto json = yieldJson(*device, *year, month, &dbError);
    if (!json)
        return jsonError(503, QStringLiteral("the daily yield cannot be read: ") + dbError);
    return jsonReply(*json);
}

WebReply WebApi::page()
{
    // The texts come from the language files: built once per language.
    const int language = m_content.language();
    if (m_page.isEmpty() || m_pageLanguage != language) {
        m_page = statusPageHtml(language);
        m_pageLanguage = language;
    }
    return {200, "text/html; charset=utf-8", m_page, {}};
}

} // namespace vantoro
