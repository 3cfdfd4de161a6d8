// SQLite through Qt Sql, one connection per operation.
#include "core/database.h"

#include "core/common.h"
#include "core/system_settings.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

namespace vantoro {

namespace {

QAtomicInt connectionCounter;

bool bindAndExec(QSqlQuery &query, const QString &sql, const QVariantList &binds, QString *error)
{
    if (!query.prepare(sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    for (const QVariant &v : binds)
        query.addBindValue(v);
    if (!query.exec()) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    return true;
}

} // namespace

QString databasePath()
{
    if (!sysSettings.connectionString.isEmpty())
        return sysSettings.connectionString;
    return findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE));
}

DbConnection::DbConnection(const QString &path)
    : m_name(QStringLiteral("vantoro-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
    const QString file = path.isEmpty() ? databasePath() : path;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (!QFileInfo(file).isFile()) {
        // The station never creates its database; a missing file is an error.
        m_error = QStringLiteral("database file not found: %1").arg(file);
        return;
    }
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(DATABASE_BUSY_TIMEOUT_MS));
    db.setDatabaseName(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString(QUrl::FullyEncoded)
                       + QStringLiteral("?mode=rw"));
    if (!db.open()) {
        m_error = db.lastError().text();
        return;
    }
    QSqlQuery pragma(db);
    // A commit the station reported must survive a power cut.
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    pragma.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(DATABASE_BUSY_TIMEOUT_MS));
    m_open = true;
}

DbConnection::~DbConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

int RecordSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant RecordSet::value(int row, const QString &column) const
{
    const int c = columnIndex(column);
    if (row < 0 || row >= rows.size() || c < 0 || c >= rows[row].size())
        return {};
    return rows[row][c];
}

QString RecordSet::text(int row, const QString &column) const
{
    const QVariant v = value(row, column);
    return v.isNull() ? QString() : v.toString();
}

std::optional<RecordSet> rsSqlGet(const QString &sql, const QVariantList &binds, QString *error)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return std::nullopt;
    }
    RecordSet result;
    {
        QSqlQuery query(connection.database());
        query.setForwardOnly(true);
        if (!bindAndExec(query, sql, binds, error))
            return std::nullopt;
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i)
            result.columns << record.fieldName(i);
        while (query.next()) {
            QVariantList row;
            row.reserve(record.count());
            for (int i = 0; i < record.count(); ++i)
                row << query.value(i);
            result.rows << row;
        }
        if (query.lastError().isValid()) {
            if (error)
                *error = query.lastError().text();
            return std::nullopt;
        }
    }
    return result;
}

bool rsSqlGet2(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return false;
    }
    QSqlDatabase db = connection.database();
    if (!db.transaction()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    QString workError;
    if (!work(db, workError)) {
        db.rollback();
        if (error)
            *error = workError;
        return false;
    }
    if (!db.commit()) {
        if (error)
            *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool execSql(const QString &sql, const QVariantList &binds, QString *error)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return false;
    }
    QSqlQuery query(connection.database());
    return bindAndExec(query, sql, binds, error);
}

bool checkDatabaseFile()
{
    const QFileInfo info(findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE)));
    return info.isFile() && info.size() > 0;
}

void checkpointDatabase()
{
    DbConnection connection;
    if (!connection.isOpen())
        return;
    QSqlQuery q(connection.database());
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void upgradeSchema()
{
    static const char *const statements[] = {
        "alter table sysset add DEVPOWER VARCHAR(50) null",
        "alter table devices add DEVPOWER VARCHAR(50) null",
        "alter table devices add TOTALPOWER VARCHAR(15) null",
        "alter table devices add DEVCOMVERSION VARCHAR(25) null",
        // Keeps a day's query fast when the log has grown for years.
        "create index if not exists ix_eventlog_logtime on eventlog(logtime)",
    };
    for (const char *sql : statements)
        execSql(QString::fromLatin1(sql));
}

} // namespace vantoro
