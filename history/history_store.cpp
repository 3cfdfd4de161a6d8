#include "history/history_store.h"

#include "core/database.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <memory>

namespace vantoro {

namespace {

QString insertSampleSql()
{
    QString columns = QStringLiteral("dev, t");
    QString marks = QStringLiteral("?, ?");
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot) {
        columns += QStringLiteral(", ") + historyValueColumn(slot);
        marks += QStringLiteral(", ?");
    }
    return QStringLiteral("insert or ignore into %1 (%2) values (%3)")
        .arg(QLatin1String(HISTORY_TABLE), columns, marks);
}

// Folds a sample into its bucket of the coarse table: the bucket's first and
// last time and each slot's minimum, maximum, sum and count (a null side
// keeps the other).
QString upsertRollupSql()
{
    QString columns = QStringLiteral("dev, b, t0, t1, c");
    QString marks = QStringLiteral("?, ?, ?, ?, 1");
    QString update = QStringLiteral("t0 = min(t0, excluded.t0), t1 = max(t1, excluded.t1), c = c + 1");
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot) {
        columns += QStringLiteral(", n%1, x%1, s%1, k%1").arg(slot);
        marks += QStringLiteral(", ?, ?, ?, ?");
        update += QStringLiteral(", n%1 = coalesce(min(n%1, excluded.n%1), n%1, excluded.n%1)"
                                 ", x%1 = coalesce(max(x%1, excluded.x%1), x%1, excluded.x%1)"
                                 ", s%1 = coalesce(s%1 + excluded.s%1, s%1, excluded.s%1)"
                                 ", k%1 = k%1 + excluded.k%1")
                      .arg(slot);
    }
    return QStringLiteral("insert into %1 (%2) values (%3) on conflict(dev, b) do update set %4")
        .arg(QLatin1String(HISTORY_ROLLUP_TABLE), columns, marks, update);
}

bool fail(const QSqlQuery &query, QString &error)
{
    error = query.lastError().text();
    return false;
}

} // namespace

int historyDeviceNumber(const QString &deviceId)
{
    if (deviceId.size() != 3)
        return -1;
    bool ok = false;
    const int number = deviceId.toInt(&ok);
    return ok && number > 0 && deviceId.at(0).isDigit() ? number : -1;
}

QString historyValueColumn(int slot)
{
    if (slot < 0 || slot >= HISTORY_SLOTS)
        return {};
    return QStringLiteral("v%1").arg(slot);
}

namespace {

// The connection history writes go through, kept open between writes: a
// new connection's first commit also flushes the log's folder, a second
// disk flush for every sample. Main thread only; dropped after a failure so
// the next write starts afresh, and before the application ends.
struct WriteConnection
{
    std::unique_ptr<DbConnection> connection;
    QString path;
    // Its prepared sample statements, kept with it (and dropped first).
    std::unique_ptr<SampleInserter> inserter;
};

WriteConnection &writeConnection()
{
    static WriteConnection held;
    return held;
}

void releaseWriteConnection()
{
    WriteConnection &held = writeConnection();
    held.inserter.reset();
    held = WriteConnection();
}

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void limitLockWait(QSqlDatabase db)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(HISTORY_WRITE_BUSY_MS));
}

bool runTransaction(QSqlDatabase db, const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString &error)
{
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        error = begin.lastError().text();
        return false;
    }
    if (!work(db, error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

} // namespace

bool historyWrite(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error)
{
    QString text;
    bool ok = false;
    if (onMainThread()) {
        static bool releaseRegistered = false;
        WriteConnection &held = writeConnection();
        const QString path = QFileInfo(databasePath()).absoluteFilePath();
        if (held.connection && held.path != path)
            releaseWriteConnection();
        if (!held.connection) {
            held.connection = std::make_unique<DbConnection>(path);
            held.path = path;
            if (!releaseRegistered) {
                qAddPostRoutine(releaseWriteConnection);
                releaseRegistered = true;
            }
            if (held.connection->isOpen())
                limitLockWait(held.connection->database());
        }
        if (!held.connection->isOpen())
            text = held.connection->errorText();
        else
            ok = runTransaction(held.connection->database(), work, text);
        if (!ok)
            releaseWriteConnection();
    } else {
        DbConnection connection;
        if (!connection.isOpen()) {
            text = connection.errorText();
        } else {
            limitLockWait(connection.database());
            ok = runTransaction(connection.database(), work, text);
        }
    }
    if (!ok && error)
        *error = text;
    return ok;
}

SampleInserter::SampleInserter(QSqlDatabase &db)
    : m_query(db)
    , m_rollup(db)
{
    static const QString sql = insertSampleSql();
    static const QString rollupSql = upsertRollupSql();
    m_prepared = m_query.prepare(sql);
    m_rollupPrepared = m_rollup.prepare(rollupSql);
}

bool SampleInserter::insert(const HistorySample &sample, QString &error)
{
    if (!m_prepared)
        return fail(m_query, error);
    if (!m_rollupPrepared)
        return fail(m_rollup, error);
    const int device = historyDeviceNumber(sample.deviceId);
    if (device < 0) {
        error = QStringLiteral("no such device: %1").arg(sample.deviceId);
        return false;
    }
    QVariant values[HISTORY_SLOTS];
    for (const auto &[slot, value] : sample.values) {
        if (slot >= 0 && slot < HISTORY_SLOTS)
            values[slot] = historyStoredValue(value);
    }
    const qint64 t = sample.time.toSecsSinceEpoch();
    m_query.bindValue(0, device);
    m_query.bindValue(1, t);
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot)
        m_query.bindValue(slot + 2, values[slot]);
    if (!m_query.exec())
        return fail(m_query, error);
    // A second already stored keeps its row, and its bucket stays as it was.
    if (m_query.numRowsAffected() != 1)
        return true;
    m_rollup.bindValue(0, device);
    m_rollup.bindValue(1, t - t % HISTORY_ROLLUP_SECONDS);
    m_rollup.bindValue(2, t);
    m_rollup.bindValue(3, t);
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot) {
        m_rollup.bindValue(4 + 4 * slot, values[slot]);
        m_rollup.bindValue(5 + 4 * slot, values[slot]);
        m_rollup.bindValue(6 + 4 * slot, values[slot]);
        m_rollup.bindValue(7 + 4 * slot, values[slot].isValid() ? 1 : 0);
    }
    return m_rollup.exec() || fail(m_rollup, error);
}

bool insertSample(QSqlDatabase &db, const HistorySample &sample, QString &error)
{
    // The recorder's writes reuse the statements prepared on the held
    // connection: preparing them costs more than storing a sample.
    WriteConnection &held = writeConnection();
    if (onMainThread() && held.connection && held.connection->isOpen()
        && held.connection->database().connectionName() == db.connectionName()) {
        if (!held.inserter)
            held.inserter = std::make_unique<SampleInserter>(db);
        return held.inserter->insert(sample, error);
    }
    return SampleInserter(db).insert(sample, error);
}

std::optional<bool> sampleStoredIn(QSqlDatabase &db, const QString &deviceId, qint64 from, qint64 to,
                                   QString &error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("select 1 from %1 where dev = ? and t >= ? and t < ? limit 1")
                           .arg(QLatin1String(HISTORY_TABLE)))) {
        fail(query, error);
        return std::nullopt;
    }
    query.addBindValue(historyDeviceNumber(deviceId));
    query.addBindValue(from);
    query.addBindValue(to);
    if (!query.exec()) {
        fail(query, error);
        return std::nullopt;
    }
    return query.next();
}

bool storeColumns(QSqlDatabase &db, const QList<HistoryColumn> &columns, QString &error)
{
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral("insert or replace into %1 (paraid, paracode, paraname, unit) values (?, ?, ?, ?)")
                           .arg(QLatin1String(HISTORY_PARAM_TABLE))))
        return fail(query, error);
    for (const HistoryColumn &c : columns) {
        query.bindValue(0, c.slot);
        query.bindValue(1, c.code);
        query.bindValue(2, c.name);
        query.bindValue(3, c.unit);
        if (!query.exec())
            return fail(query, error);
    }
    return true;
}

} // namespace vantoro
