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
// of its device is left in it, so each batch removes only the buckets of its
// own samples.
bool pruneRollup(QSqlDatabase &db, int device, qint64 cutoff, QString &error)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("delete from %1 where dev = ? and b <= min(?, coalesce((select min(t) from %3 "
                                 "where dev = ?), ?)) - %2")
                      .arg(QLatin1String(HISTORY_ROLLUP_TABLE))
                      .arg(HISTORY_ROLLUP_SECONDS)
                      .arg(QLatin1String(HISTORY_TABLE)));
    query.addBindValue(device);
    query.addBindValue(cutoff);
    query.addBindValue(device);
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
        const qint64 before = cutoff.toSecsSinceEpoch();
        // The key is the device and the time: each device's oldest rows are
        // one range of it, and the next device is one seek away.
        QSqlQuery next(db);
        QSqlQuery query(db);
        const bool prepared = next.prepare(QStringLiteral("select min(dev) from %1 where dev > ?")
                                               .arg(QLatin1String(HISTORY_TABLE)))
            && query.prepare(QStringLiteral("delete from %1 where dev = ? and t in "
                                            "(select t from %1 where dev = ? and t < ? order by t limit ?)")
                                 .arg(QLatin1String(HISTORY_TABLE)));
        if (!prepared) {
            error = next.lastError().isValid() ? next.lastError().text() : query.lastError().text();
            return false;
        }
        int total = 0;
        qint64 device = -1;
        while (total < rows) {
            next.bindValue(0, device);
            if (!next.exec() || !next.next()) {
                error = next.lastError().text();
                return false;
            }
            if (next.value(0).isNull())
                break;
            device = next.value(0).toLongLong();
            next.finish();
            query.bindValue(0, device);
            query.bindValue(1, device);
            query.bindValue(2, before);
            query.bindValue(3, rows - total);
            if (!query.exec()) {
                error = query.lastError().text();
                return false;
            }
            total += query.numRowsAffected();
            if (!pruneRollup(db, int(device), before, error))
                return false;
        }
        deleted = total;
        return true;
    });
    return deleted;
}

} // namespace vantoro
