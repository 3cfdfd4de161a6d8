// The station's web server as a service: listens as the settings say (off,
// loopback, all interfaces; the port), follows the station bus for what it
// serves, and applies changed settings on save without a restart.
#pragma once

#include "web/connection_guard.h"
#include "web/station_snapshot.h"
#include "web/web_api.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <memory>

namespace vantoro {

class GuardedTcpServer;
class WebHttpServer;

inline constexpr int WEB_MODE_OFF = 0;
inline constexpr int WEB_MODE_LOOPBACK = 1;
inline constexpr int WEB_MODE_ALL = 2;
inline constexpr int WEB_DEFAULT_PORT = 8080;
// A port that was in use is tried again this often.
inline constexpr int WEB_RETRY_LISTEN_MS = 60000;

// Empty when the mode (0..2) and port (1..65535) are acceptable; otherwise a
// message naming the field and its range.
QString webSettingsError(int mode, int port);

class WebService : public QObject, public WebContent
{
    Q_OBJECT
public:
    explicit WebService(QObject *parent = nullptr);
    ~WebService() override;

    // Listens as the settings say; reports a port in use and runs on without
    // it, trying again on every save and every minute.
    void start();
    void stop();

    bool listening() const;
    quint16 port() const;
    QHostAddress address() const;
    // Why the last attempt to listen failed; empty after a success.
    QString lastError() const { return m_error; }
    // For the tests: shorter timings, from the next listen on.
    void setConnectionLimits(const ConnectionLimits &limits) { m_limits = limits; }
    void setRetryIntervalMs(int ms) { m_retry.setInterval(ms); }

    PlantSnapshot plant() const override;
    QJsonArray recentEvents() override;
    int language() const override;

private:
    void applySettings(bool userSaved);
    void listen(int mode, int port, bool userSaved);
    void retryListen();
    void closeServer();
    void cycleFinished(const CycleReport &report);
    std::optional<double> todayYieldKwh(const QDate &today, const QString &deviceId) const;
    // The devices to serve: the line's list, or before it is known the
    // devices that reported.
    QList<DeviceInfo> servedDevices() const;

    WebApi m_api;
    std::unique_ptr<WebHttpServer> m_server;
    GuardedTcpServer *m_tcp = nullptr; // owned by m_server
    int m_mode = WEB_MODE_OFF;
    int m_port = 0;
    bool m_started = false;
    QString m_error;
    QString m_loggedError; // the failure the status line already shows
    QTimer m_retry;
    ConnectionLimits m_limits;

    // By device id, from the cycles seen since the start.
    QHash<QString, PollCounters> m_counters;
    QHash<QString, TodayYield> m_yield;
    PlantEnergy m_energy;
    // Today's row of each device's daily yield, read at most once a cycle of it.
    struct StoredYield
    {
        QDate day;
        std::optional<double> kwh;
    };
    mutable QHash<QString, StoredYield> m_storedYield;
    std::optional<bool> m_polling; // from pollingChanged, newer than the last cycle
    QJsonArray m_events;
    QDateTime m_eventsRead;
};

} // namespace vantoro
