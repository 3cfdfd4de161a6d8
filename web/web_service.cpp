// Listening, re-listening on a settings change, and the snapshot the answers
// are made from.
#include "web/web_service.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "history/history_query.h"
#include "web/connection_guard.h"
#include "web/event_feed.h"
#include "web/web_http_server.h"

#include <QNetworkInterface>

namespace vantoro {

namespace {

// Events stored by another program (or a cleared log) show after this long.
constexpr int EVENTS_REREAD_MS = 60000;

QString serverText(const char *key)
{
    const QString k = QString::fromLatin1(key);
    return langText(QStringLiteral("webServer"), k, LANGUAGE_CURRENT, k);
}

} // namespace

namespace {

// The page's addresses as an operator types them: loopback only, or every
// IPv4 address of this computer.
QStringList webPageUrls(int mode, quint16 port)
{
    QStringList hosts;
    if (mode == WEB_MODE_ALL) {
        for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
                hosts << a.toString();
        }
    }
    hosts << QStringLiteral("127.0.0.1");
    QStringList urls;
    for (const QString &host : std::as_const(hosts))
        urls << QStringLiteral("http://%1:%2/").arg(host).arg(port);
    return urls;
}

} // namespace

QString webSettingsError(int mode, int port)
{
    if (mode < WEB_MODE_OFF || mode > WEB_MODE_ALL)
        return serverText("msgBadMode");
    if (port < 1 || port > 65535)
        return serverText("msgBadPort");
    return {};
}

WebService::WebService(QObject *parent)
    : QObject(parent)
    , m_api(*this)
{
    StationBus &bus = stationBus();
    connect(&bus, &StationBus::cycleFinished, this, &WebService::cycleFinished);
    connect(&bus, &StationBus::eventStored, this, [this] { m_eventsRead = QDateTime(); });
    connect(&bus, &StationBus::pollingChanged, this, [this](bool on) { m_polling = on; });
    connect(&bus, &StationBus::settingsSaved, this, [this] {
        if (m_started)
            applySettings(true);
    });
    m_retry.setInterval(WEB_RETRY_LISTEN_MS);
    connect(&m_retry, &QTimer::timeout, this, &WebService::retryListen);
}

WebService::~WebService()
{
    stop();
}

void WebService::start()
{
    m_started = true;
    applySettings(false);
}

void WebService::stop()
{
    m_started = false;
    m_retry.stop();
    closeServer();
    m_mode = WEB_MODE_OFF;
}

bool WebService::listening() const
{
    return m_tcp && m_tcp->isListening();
}

quint16 WebService::port() const
{
    return listening() ? m_tcp->serverPort() : 0;
}

QHostAddress WebService::address() const
{
    return listening() ? m_tcp->serverAddress() : QHostAddress();
}

void WebService::applySettings(bool userSaved)
{
    const int mode = sysSettings.HttpServerEnabled;
    const int port = sysSettings.httpport;
    // The sound switch saves the settings too: only a change of ours acts,
    // or a save while the port is still to be had.
    if (mode == m_mode && port == m_port) {
        if (!listening() && mode != WEB_MODE_OFF && webSettingsError(mode, port).isEmpty())
            retryListen();
        return;
    }
    m_mode = mode;
    m_port = port;
    m_retry.stop();
    m_loggedError.clear();
    closeServer();
    if (mode == WEB_MODE_OFF)
        return;
    const QString error = webSettingsError(mode, port);
    if (!error.isEmpty()) {
        m_error = error;
        logStatus(error);
        return;
    }
    listen(mode, port, userSaved);
}

void WebService::listen(int mode, int port, bool userSaved)
{
    const QHostAddress address = mode == WEB_MODE_ALL ? QHostAddress(QHostAddress::Any)
                                                      : QHostAddress(QHostAddress::LocalHost);
    m_server = std::make_unique<WebHttpServer>(m_api);
    m_tcp = new GuardedTcpServer(m_limits, m_server.get());
    if (!m_tcp->listen(address, quint16(port))) {
        m_error = serverText("msgPortInUse").arg(port).arg(m_tcp->errorString());
        closeServer();
        if (m_error != m_loggedError)
            logStatus(m_error);
        m_loggedError = m_error;
        stationBus().publishWebAccess({{}, m_error});
        if (userSaved)
            messages().show(serverText("Caption"), m_error, MessageIcon::Warning);
        m_retry.start();
        return;
    }
    m_error.clear();
    m_loggedError.clear();
    m_retry.stop();
    m_api.setLocalHostOnly(mode == WEB_MODE_LOOPBACK, m_tcp->serverPort());
    m_server->bind(m_tcp);
    logStatus(serverText("msgListening").arg(address.toString()).arg(m_tcp->serverPort()));
    stationBus().publishWebAccess({webPageUrls(mode, m_tcp->serverPort()), {}});
}

void WebService::retryListen()
{
    if (m_started && !listening() && m_mode != WEB_MODE_OFF)
        listen(m_mode, m_port, false);
}

void WebService::closeServer()
{
    if (m_tcp)
        stationBus().publishWebAccess({});
    // The sockets are children of the listening socket: they go with it.
    m_tcp = nullptr;
    m_server.reset();
}

void WebService::cycleFinished(const CycleReport &report)
{
    m_counters.add(report.attempts);
    m_yield.add(report);
    m_storedYieldDay = QDate();
    m_polling.reset();
}

StationSnapshot WebService::snapshot() const
{
    StationSnapshot s;
    s.report = stationBus().lastCycle();
    if (!s.report.time.isValid()) {
        // No cycle yet: the device as the settings name it, link unknown.
        const QList<DeviceInfo> &devices = stationBus().devices();
        const DeviceInfo d = devices.isEmpty() ? DeviceInfo{QString::fromLatin1(PARAM_DEVICE_ID), {}, 1, 1, {}, true}
                                               : devices.first();
        s.report.deviceId = d.id;
        s.report.deviceName = d.name;
        s.report.address = d.address;
        s.report.protocol = d.protocol == 2 ? 2 : 1;
        s.report.rating = d.rating;
    }
    if (m_polling)
        s.report.polling = *m_polling;
    if (!s.report.polling)
        withoutLiveValues(s.report);
    s.now = QDateTime::currentDateTime();
    s.pollIntervalSeconds = reloadIntervalMs(sysSettings.PauseSeconds) / 1000.0;
    s.todayYieldKwh = todayYieldKwh(s.now.date());
    s.version = QStringLiteral(VANTORO_VERSION);
    s.alarmAcknowledged = stationBus().acknowledged(s.report.deviceId);
    return s;
}

std::optional<double> WebService::todayYieldKwh(const QDate &today) const
{
    // The recorder's figure leaves out implausible counter steps; the
    // counter's rise since this station's first reply of the day stands in
    // while the history has no row for today (recording off, or just begun).
    if (m_storedYieldDay != today) {
        m_storedYield = storedDayEnergy(today, QString::fromLatin1(PARAM_DEVICE_ID));
        m_storedYieldDay = today;
    }
    return m_storedYield ? m_storedYield : m_yield.kwh(today);
}

QJsonArray WebService::recentEvents()
{
    if (!m_eventsRead.isValid() || m_eventsRead.msecsTo(QDateTime::currentDateTimeUtc()) > EVENTS_REREAD_MS) {
        QString error;
        if (const auto json = latestEventsJson(PAGE_EVENT_COUNT, &error))
            m_events = json->value(QStringLiteral("events")).toArray();
        m_eventsRead = QDateTime::currentDateTimeUtc();
    }
    return m_events;
}

int WebService::language() const
{
    return sysSettings.languageIndex == LANGUAGE_ENGLISH ? LANGUAGE_ENGLISH : LANGUAGE_CHINESE;
}

} // namespace vantoro
