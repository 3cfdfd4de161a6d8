// Removes samples older than the retention, in small batches: at most one
// run a minute, each batch its own short transaction, the next batch after
// the event loop has run, so pruning a month never stalls a poll cycle.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <functional>

namespace vantoro {

inline constexpr int HISTORY_PRUNE_INTERVAL_MS = 60000;
inline constexpr int HISTORY_PRUNE_BATCH_ROWS = 1000;

class HistoryPruner : public QObject
{
public:
    explicit HistoryPruner(QObject *parent = nullptr);

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    // 0 keeps samples for ever.
    void setKeepHours(int hours) { m_keepHours = hours; }
    void start();
    void stop();

    // Starts a run now unless one is going on.
    void runNow();
    bool running() const { return m_running; }

    // Deletes up to `rows` samples older than `cutoff`: the number deleted,
    // -1 when the database refused (tried again at the next run).
    static int pruneBatch(const QDateTime &cutoff, int rows);

private:
    void nextBatch();

    std::function<QDateTime()> m_clock;
    QTimer m_timer;
    QDateTime m_cutoff;
    int m_keepHours = 0;
    bool m_running = false;
};

} // namespace vantoro
