#include "history/history_store.h"

#include "core/database.h"

#include <QSqlError>
#include <QSqlQuery>

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

bool historyWrite(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error)
{
    auto failWith = [&](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    DbConnection connection;
    if (!connection.isOpen())
        return failWith(connection.errorText());
    QSqlDatabase db = connection.database();
    QSqlQuery query(db);
    query.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(HISTORY_WRITE_BUSY_MS));
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failWith(query.lastError().text());
    QString workError;
    if (!work(db, workError)) {
        db.rollback();
        return failWith(workError);
    }
    if (!db.commit()) {
        const QString text = db.lastError().text();
        db.rollback();
        return failWith(text);
    }
    return true;
}

bool insertSample(QSqlDatabase &db, const HistorySample &sample, QString &error)
{
    static const QString sql = insertSampleSql();
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return fail(query, error);
    QVariantList row(HISTORY_SLOTS + 1);
    row[0] = sample.time.toSecsSinceEpoch();
    for (const auto &[slot, value] : sample.values) {
        if (slot >= 0 && slot < HISTORY_SLOTS)
            row[slot + 1] = value;
    }
    for (int i = 0; i < row.size(); ++i)
        query.bindValue(i, row[i]);
    return query.exec() || fail(query, error);
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
