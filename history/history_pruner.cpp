#include "history/history_pruner.h"

#include "history/history_store.h"

#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

HistoryPruner::HistoryPruner(QObject *parent)
    : QObject(parent)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    m_timer.setInterval(HISTORY_PRUNE_INTERVAL_MS);
    connect(&m_timer, &QTimer::timeout, this, &HistoryPruner::runNow);
}

void HistoryPruner::start()
{
    m_timer.start();
}

void HistoryPruner::stop()
{
    m_timer.stop();
    m_running = false;
}

void HistoryPruner::runNow()
{
    if (m_running || m_keepHours <= 0)
        return;
    m_cutoff = m_clock().addSecs(-qint64(m_keepHours) * 3600);
    m_running = true;
    nextBatch();
}

void HistoryPruner::nextBatch()
{
    if (!m_running)
        return;
    const int deleted = pruneBatch(m_cutoff, HISTORY_PRUNE_BATCH_ROWS);
    if (deleted < HISTORY_PRUNE_BATCH_ROWS) {
        m_running = false;
        return;
    }
    QTimer::singleShot(0, this, &HistoryPruner::nextBatch);
}

namespace {

// A rollup bucket goes once all of it is older than the cutoff and no sample
// of it is left, so each batch removes only the buckets of its own samples.
bool pruneRollup(QSqlDatabase &db, qint64 cutoff, QString &error)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("delete from %1 where b <= min(?, coalesce((select min(t) from %3), ?)) - %2")
                      .arg(QLatin1String(HISTORY_ROLLUP_TABLE))
                      .arg(HISTORY_ROLLUP_SECONDS)
                      .arg(QLatin1String(HISTORY_TABLE)));
    query.addBindValue(cutoff);
    query.addBindValue(cutoff);
    if (query.exec())
        return true;
    error = query.lastError().text();
    return false;
}

} // namespace

int HistoryPruner::pruneBatch(const QDateTime &cutoff, int rows)
{
    int deleted = -1;
    historyWrite([&](QSqlDatabase &db, QString &error) {
        // The key is the time, so the oldest rows are one range of the key.
        QSqlQuery query(db);
        query.prepare(QStringLiteral("delete from %1 where t in (select t from %1 where t < ? order by t limit ?)")
                          .arg(QLatin1String(HISTORY_TABLE)));
        query.addBindValue(cutoff.toSecsSinceEpoch());
        query.addBindValue(rows);
        if (!query.exec()) {
            error = query.lastError().text();
            return false;
        }
        deleted = query.numRowsAffected();
        return pruneRollup(db, cutoff.toSecsSinceEpoch(), error);
    });
    return deleted;
}

} // namespace vantoro
