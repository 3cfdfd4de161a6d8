// The answers of each connection in the order its requests came: a ready
// answer waits behind one still being made on the worker thread, so a
// pipelining client never sees them swapped.
#pragma once

#include "web/web_api.h"

#include <QObject>
#include <QThreadPool>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>

class QTcpSocket;

namespace vantoro {

// Answers made on the worker at once, waiting ones included; more are
// refused with 503 until one is sent, so no client can queue work without end.
inline constexpr int WEB_DEFERRED_MAX = 4;

class ReplyQueue : public QObject
{
public:
    // Writes one finished answer to its connection.
    using Writer = std::function<void(const WebReply &reply)>;

    explicit ReplyQueue(QObject *parent = nullptr);
    // Waits for the answer in the making; its result is dropped.
    ~ReplyQueue() override;

    // Hands `reply` to `write` once every earlier answer on `socket` is
    // written; a deferred one is made on the worker first.
    void answer(QTcpSocket *socket, Writer write, WebReply reply);
    // Deferred answers being made or waiting to be made.
    int inProgress() const { return m_inProgress; }

private:
    struct Entry
    {
        quint64 id = 0;
        Writer write;
        std::optional<WebReply> reply;
    };

    void finished(QTcpSocket *socket, quint64 id, WebReply reply);
    void flush(QTcpSocket *socket);

    QThreadPool m_worker;
    std::unordered_map<QTcpSocket *, std::deque<Entry>> m_queues;
    quint64 m_nextId = 0;
    int m_inProgress = 0;
};

} // namespace vantoro
