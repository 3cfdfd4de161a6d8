// Listening, re-listening on a settings change, and the snapshot the answers
// are made from.
#include "web/web_service.h"

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
    m_counters[report.deviceId].add(report.attempts);
    m_yield[report.deviceId].add(report);
    m_energy.add(report);
    m_storedYield.remove(report.deviceId);
    m_polling.reset();
}

QList<DeviceInfo> WebService::servedDevices() const
{
    const StationBus &bus = stationBus();
    if (!bus.devices().isEmpty())
        return bus.devices();
    QList<DeviceInfo> devices;
    for (const CycleReport &r : bus.lastCycles())
        devices << DeviceInfo{r.deviceId, r.deviceName, r.address, r.protocol, r.rating, true};
    return devices;
}

PlantSnapshot WebService::plant() const
{
    const StationBus &bus = stationBus();
    PlantSnapshot plant;
    plant.now = QDateTime::currentDateTime();
    plant.version = QStringLiteral(VANTORO_VERSION);
    const double intervalSeconds = reloadIntervalMs(sysSettings.PauseSeconds) / 1000.0;
    const QList<DeviceInfo> devices = servedDevices();
    plant.devices.reserve(devices.size());
    for (const DeviceInfo &d : devices) {
        StationSnapshot s;
        if (const CycleReport *r = bus.lastCycle(d.id)) {
            s.report = *r;
        } else {
            // No cycle yet: the device as the line names it, link unknown.
            s.report.deviceId = d.id;
            s.report.deviceName = d.name;
            s.report.address = d.address;
            s.report.protocol = d.protocol;
            s.report.rating = d.rating;
        }
        s.enabled = d.enabled;
        if (m_polling)
            s.report.polling = *m_polling;
        if (!d.enabled)
            s.report.polling = false;
        if (!s.report.polling)
            withoutLiveValues(s.report);
        s.now = plant.now;
        s.pollIntervalSeconds = intervalSeconds;
        s.todayYieldKwh = todayYieldKwh(plant.now.date(), d.id);
        s.version = plant.version;
        s.counters = m_counters.value(d.id);
        s.alarmAcknowledged = stationBus().acknowledged(d.id);
        plant.devices << s;
    }
    plant.addTotals(m_energy);
    return plant;
}

std::optional<double> WebService::todayYieldKwh(const QDate &today, const QString &deviceId) const
{
    // The recorder's figure leaves out implausible counter steps; the
    // counter's rise since this station's first reply of the day stands in
    // while the history has no row for today (recording off, or just begun).
    StoredYield &stored = m_storedYield[deviceId];
    if (stored.day != today) {
        stored.kwh = storedDayEnergy(today, deviceId);
        stored.day = today;
    }
    if (stored.kwh)
        return stored.kwh;
    const auto yield = m_yield.constFind(deviceId);
    return yield == m_yield.cend() ? std::nullopt : yield->kwh(today);
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
