// Loopback requests for the web benchmarks.
#include "http_exchange.h"

#include "bench_support.h"
#include "core/system_settings.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <cstdio>

namespace vantoro::bench {

bool PolledWebStation::start()
{
    if (!m_sim.start({QStringLiteral("--baud"), QStringLiteral("9600")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(m_sim.errorText()));
        return false;
    }
    useSimulator(m_line, m_sim.ptyPath());
    sysSettings.HttpServerEnabled = WEB_MODE_LOOPBACK;
    sysSettings.httpport = freePort();
    m_poller = std::make_unique<Poller>(m_line, m_pollTimer, PollHooks{});
    m_pollTimer.start(3600 * 1000); // polling on; the bench drives the ticks
    m_web = std::make_unique<WebService>();
    m_web->start();
    if (!m_web->listening()) {
        std::fprintf(stderr, "web server: %s\n", qPrintable(m_web->lastError()));
        return false;
    }
    m_poller->reloadTick();
    return true;
}

void PolledWebStation::stop()
{
    m_web->stop();
    m_sim.stop();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool exchange(QTcpSocket &socket, const QByteArray &path, int waitMs, qsizetype *bodyBytes)
{
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(socket.peerPort())
                 + "\r\n\r\n");
    QByteArray data;
    qsizetype headEnd = -1;
    qsizetype length = -1;
    while (headEnd < 0 || data.size() < headEnd + 4 + length) {
        if (!socket.waitForReadyRead(waitMs))
            return false;
        data += socket.readAll();
        if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
            const qsizetype at = data.left(headEnd).toLower().indexOf("content-length:");
            if (at < 0)
                return false;
            length = data.mid(at + 15, data.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
        }
    }
    if (bodyBytes)
        *bodyBytes = length;
    return data.startsWith("HTTP/1.1 200");
}

void runBeside(const std::function<void()> &work)
{
    QThread *thread = QThread::create(work);
    QEventLoop loop;
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    delete thread;
}

} // namespace vantoro::bench
