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
    QString columns = QStringLiteral("t");
    QString marks = QStringLiteral("?");
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot) {
        columns += QStringLiteral(", ") + historyValueColumn(slot);
        marks += QStringLiteral(", ?");
    }
    return QStringLiteral("insert or ignore into %1 (%2) values (%3)")
        .arg(QLatin1String(HISTORY_TABLE), columns, marks);
}

bool fail(const QSqlQuery &query, QString &error)
{
    error = query.lastError().text();
    return false;
}

} // namespace

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
};

WriteConnection &writeConnection()
{
    static WriteConnection held;
    return held;
}

void releaseWriteConnection()
{
    writeConnection() = WriteConnection();
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
{
    static const QString sql = insertSampleSql();
    m_prepared = m_query.prepare(sql);
}

bool SampleInserter::insert(const HistorySample &sample, QString &error)
{
    if (!m_prepared)
        return fail(m_query, error);
    m_query.bindValue(0, sample.time.toSecsSinceEpoch());
    for (int slot = 0; slot < HISTORY_SLOTS; ++slot)
        m_query.bindValue(slot + 1, QVariant());
    for (const auto &[slot, value] : sample.values) {
        if (slot >= 0 && slot < HISTORY_SLOTS)
            m_query.bindValue(slot + 1, value);
    }
    return m_query.exec() || fail(m_query, error);
}

bool insertSample(QSqlDatabase &db, const HistorySample &sample, QString &error)
{
    return SampleInserter(db).insert(sample, error);
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
