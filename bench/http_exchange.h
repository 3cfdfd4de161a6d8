// The loopback HTTP client of the web benchmarks: a free port, one request
// on an open connection, and work on a thread beside the event loop.
#pragma once

#include <QByteArray>
#include <functional>

class QTcpSocket;

namespace vantoro::bench {

quint16 freePort();
// One GET on an open connection; false unless a 200 with its whole body came
// within `waitMs` of each read. `bodyBytes` gets the body's size.
bool exchange(QTcpSocket &socket, const QByteArray &path, int waitMs = 5000, qsizetype *bodyBytes = nullptr);
// Runs `work` on a thread of its own while this thread's event loop serves.
void runBeside(const std::function<void()> &work);

} // namespace vantoro::bench
