// Loopback requests for the web benchmarks.
#include "http_exchange.h"

#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace vantoro::bench {

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
