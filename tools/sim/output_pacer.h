// Sends reply bytes at the line rate: one byte every 10 bits' time, each
// piece no earlier than its due time.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

namespace vantoro::sim {

class OutputPacer : public QObject
{
    Q_OBJECT

public:
    // `baud` 0 writes every piece at once when it is due.
    OutputPacer(std::function<void(const QByteArray &)> write, int baud, QObject *parent = nullptr);

    qint64 nowNs() const { return m_clock.nsecsElapsed(); }
    // The wire time of one byte; 0 without pacing.
    qint64 byteNs() const { return m_byteNs; }
    // Queues a piece: it starts no earlier than `earliestNs` and no sooner
    // than `gapNs` after the previous piece left.
    void send(const QByteArray &bytes, qint64 earliestNs, qint64 gapNs);
    bool idle() const { return m_queue.empty(); }

private:
    struct Pending
    {
        QByteArray bytes;
        qint64 earliestNs = 0;
        qint64 gapNs = 0;
        qint64 startNs = -1;
        qsizetype sent = 0;
    };

    void pump();
    void wakeAt(qint64 dueNs);

    std::function<void(const QByteArray &)> m_write;
    qint64 m_byteNs = 0;
    qint64 m_wireFreeNs = 0;
    std::deque<Pending> m_queue;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

} // namespace vantoro::sim
