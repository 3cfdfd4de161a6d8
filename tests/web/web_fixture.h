// What the web tests share: the station's poll path against the simulator
// with the web service on a free loopback port, a real HTTP client, and
// outside programs run while the event loop keeps serving.
#pragma once

#include "sim_process.h"
#include "test_support.h"
#include "web/connection_guard.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace vantoro {
class Poller;
class Line;
class WebService;
}

namespace vantoro::test {

// A loopback port nobody listens on at the moment of asking.
quint16 freeLoopbackPort();

struct HttpAnswer
{
    int status = 0; // 0 when no answer came
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray header(const QByteArray &name) const;
};

// One request through QNetworkAccessManager, the event loop running meanwhile.
HttpAnswer httpRequest(const QString &url, const QByteArray &method = "GET");

// Runs a program to its end with the event loop running; nullopt when it
// could not start or ran past the timeout. `exitCode` gets its exit code.
std::optional<QByteArray> runProgram(const QString &program, const QStringList &args, int timeoutMs,
                                     int *exitCode = nullptr, const QByteArray &input = {});
// The program's full path, empty when not installed.
QString installedProgram(const QString &name);

// The simulator's values as the station decodes them: VAC 230.1 V,
// IAC 10.02 A, EKWH 12345.6 kWh, status word 0x0101 (RUN and UFRQ set).
class WebStation
{
public:
    WebStation();
    ~WebStation();
    // Simulator up, poller built, web service listening on loopback.
    bool start(QString *error, const ConnectionLimits &limits = {});
    void poll();
    bool setScenario(const QString &text) { return m_sim.writeScenario(text); }
    WebService &web() { return *m_web; }
    QString url(const QString &path) const;
    quint16 port() const { return m_port; }
    MessageRecorder &messages() { return *m_messages; }

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    SimProcess m_sim;
    std::unique_ptr<Line> m_line;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<WebService> m_web;
    quint16 m_port = 0;
};

} // namespace vantoro::test
