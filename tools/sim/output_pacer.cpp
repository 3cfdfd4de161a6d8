// Line-rate pacing of the simulator's replies.
#include "output_pacer.h"

#include <algorithm>

namespace vantoro::sim {

namespace {

constexpr qint64 BITS_PER_BYTE = 10; // start, 8 data, stop
constexpr qint64 NS_PER_MS = 1000000;

} // namespace

OutputPacer::OutputPacer(std::function<void(const QByteArray &)> write, int baud, QObject *parent)
    : QObject(parent)
    , m_write(std::move(write))
    , m_byteNs(baud > 0 ? BITS_PER_BYTE * 1000000000LL / baud : 0)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OutputPacer::pump);
}

void OutputPacer::send(const QByteArray &bytes, qint64 earliestNs, qint64 gapNs)
{
    m_queue.push_back({bytes, earliestNs, gapNs});
    pump();
}

void OutputPacer::wakeAt(qint64 dueNs)
{
    const qint64 waitNs = std::max<qint64>(0, dueNs - nowNs());
    m_timer.start(int((waitNs + NS_PER_MS - 1) / NS_PER_MS));
}

void OutputPacer::pump()
{
    while (!m_queue.empty()) {
        Pending &piece = m_queue.front();
        const qint64 now = nowNs();
        if (piece.startNs < 0)
            piece.startNs = std::max(piece.earliestNs, m_wireFreeNs + piece.gapNs);
        if (now < piece.startNs) {
            wakeAt(piece.startNs);
            return;
        }
        if (m_byteNs == 0) {
            m_write(piece.bytes);
            m_wireFreeNs = now;
            m_queue.pop_front();
            continue;
        }
        // A byte is on the station's side once its 10 bits have gone by; a
        // late wake-up catches up by writing every byte already due.
        qint64 wire = std::max(piece.startNs, m_wireFreeNs);
        const qsizetype first = piece.sent;
        while (piece.sent < piece.bytes.size() && now >= wire + m_byteNs) {
            wire += m_byteNs;
            ++piece.sent;
        }
        m_wireFreeNs = std::max(m_wireFreeNs, first == piece.sent ? m_wireFreeNs : wire);
        if (piece.sent > first)
            m_write(piece.bytes.mid(first, piece.sent - first));
        if (piece.sent < piece.bytes.size()) {
            wakeAt(std::max(piece.startNs, m_wireFreeNs) + m_byteNs);
            return;
        }
        m_queue.pop_front();
    }
}

} // namespace vantoro::sim
