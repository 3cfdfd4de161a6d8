// Ordered answers per connection and the worker that makes the long ones.
#include "web/reply_queue.h"

#include <QTcpSocket>

namespace vantoro {

ReplyQueue::ReplyQueue(QObject *parent)
    : QObject(parent)
{
    // One worker: a history answer may take a core, never both.
    m_worker.setMaxThreadCount(1);
    m_worker.setExpiryTimeout(30000);
}

ReplyQueue::~ReplyQueue()
{
    m_worker.clear();
    m_worker.waitForDone();
}

void ReplyQueue::answer(QTcpSocket *socket, Writer write, WebReply reply)
{
    auto found = m_queues.find(socket);
    if (found == m_queues.end()) {
        found = m_queues.emplace(socket, std::deque<Entry>()).first;
        // A connection that goes drops its answers; one still in the making
        // finds no entry when it is done.
        connect(socket, &QObject::destroyed, this, [this, socket] { m_queues.erase(socket); });
    }
    Entry entry;
    entry.id = ++m_nextId;
    entry.write = std::move(write);
    if (!reply.deferred) {
        entry.reply = std::move(reply);
    } else if (m_inProgress >= WEB_DEFERRED_MAX) {
        WebReply busy = jsonError(503, QStringLiteral("the station is busy with other history answers: try again"));
        busy.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
        busy.sendBody = reply.sendBody;
        entry.reply = std::move(busy);
    } else {
        ++m_inProgress;
        const bool sendBody = reply.sendBody;
        const quint64 id = entry.id;
        m_worker.start([this, socket, id, sendBody, make = std::move(reply.deferred)] {
            WebReply made = make();
            made.sendBody = sendBody;
            // Back on the server's thread; dropped with the queue.
            QMetaObject::invokeMethod(this, [this, socket, id, made = std::move(made)]() mutable {
                finished(socket, id, std::move(made));
            });
        });
    }
    found->second.push_back(std::move(entry));
    flush(socket);
}

void ReplyQueue::finished(QTcpSocket *socket, quint64 id, WebReply reply)
{
    --m_inProgress;
    const auto found = m_queues.find(socket);
    if (found == m_queues.end())
        return;
    for (Entry &entry : found->second) {
        if (entry.id == id) {
            entry.reply = std::move(reply);
            break;
        }
    }
    flush(socket);
}

void ReplyQueue::flush(QTcpSocket *socket)
{
    // Written in order. Looked up afresh after each answer: writing one may
    // end the connection.
    for (;;) {
        const auto found = m_queues.find(socket);
        if (found == m_queues.end() || found->second.empty() || !found->second.front().reply)
            return;
        Entry entry = std::move(found->second.front());
        found->second.pop_front();
        entry.write(*entry.reply);
    }
}

} // namespace vantoro
