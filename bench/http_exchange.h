// What the web benchmarks share: the station's poll path against the
// simulator with its web server on a free loopback port, and the loopback
// HTTP client (one request on an open connection, work on a thread beside
// the event loop).
#pragma once

#include "sim_process.h"

#include "plant/polling.h"
#include "acquisition/qt_serial_port.h"
#include "web/web_service.h"

#include <QByteArray>
#include <QTimer>
#include <functional>
#include <memory>

class QTcpSocket;

namespace vantoro::bench {

// Polling on with the bench driving the ticks (reloadTick), the simulator at
// 9600 baud, the web server listening on loopback.
class PolledWebStation
{
public:
    // False after printing why.
    bool start();
    void stop();
    Poller &poller() { return *m_poller; }
    quint16 port() const { return m_web->port(); }

private:
    test::SimProcess m_sim;
    Line m_line{std::make_unique<QtSerialPort>()};
    QTimer m_pollTimer;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<WebService> m_web;
};

quint16 freePort();
// One GET on an open connection; false unless a 200 with its whole body came
// within `waitMs` of each read. `bodyBytes` gets the body's size.
bool exchange(QTcpSocket &socket, const QByteArray &path, int waitMs = 5000, qsizetype *bodyBytes = nullptr);
// Runs `work` on a thread of its own while this thread's event loop serves.
void runBeside(const std::function<void()> &work);

} // namespace vantoro::bench
