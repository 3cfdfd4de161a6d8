// Database helpers: one SQLite connection per operation, read-only row sets,
// write transactions, plain statements, the start-up file check and the
// schema upgrade.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>

namespace vantoro {

inline constexpr const char *DATABASE_FILE = "vantoro.db";
inline constexpr int DATABASE_BUSY_TIMEOUT_MS = 3000;

// The database file beside the program.
QString databasePath();

// One connection, opened on construction and closed on destruction.
class DbConnection
{
public:
    enum class Access { ReadWrite, ReadOnly };
    // A read-only connection may live on any thread: it never writes and
    // leaves the connection held for the application's thread alone.
    explicit DbConnection(const QString &path = QString(), Access access = Access::ReadWrite);
    ~DbConnection();
    DbConnection(const DbConnection &) = delete;
    DbConnection &operator=(const DbConnection &) = delete;

    bool isOpen() const { return m_open; }
    QString errorText() const { return m_error; }
    QSqlDatabase database() const;

private:
    QString m_name;
    QString m_error;
    bool m_open = false;
};

// The rows of a query, read completely and detached from the connection.
struct RecordSet
{
    QStringList columns;
    QList<QVariantList> rows;

    int recordCount() const { return int(rows.size()); }
    int columnIndex(const QString &name) const; // without regard to case, -1 when missing
    QVariant value(int row, const QString &column) const;
    QString text(int row, const QString &column) const; // null gives ""
};

// Runs a query on a new connection and returns its rows; nullopt on failure.
std::optional<RecordSet> rsSqlGet(const QString &sql, const QVariantList &binds = {}, QString *error = nullptr);
// Runs `work` inside one transaction on a new connection; commits when it
// returns true, rolls back otherwise. False with `error` set on any failure.
bool rsSqlGet2(const std::function<bool(QSqlDatabase &db, QString &error)> &work, QString *error = nullptr);
// Prepares `sql` on the query, binds the values in order and runs it; false
// with `error` set on failure. For statements inside a transaction.
bool bindAndExec(QSqlQuery &query, const QString &sql, const QVariantList &binds, QString *error);
// Executes one statement on a new connection.
bool execSql(const QString &sql, const QVariantList &binds = {}, QString *error = nullptr);
// The same, and the rowid of the row an insert added (0 when none).
bool execSql(const QString &sql, const QVariantList &binds, QString *error, qint64 *insertedRowId);

// True when the database file exists and is not empty.
bool checkDatabaseFile();
// True unless the database refuses a write (one rolled back at once)
// because it can only be read: permissions, read-only media, a newer
// format, no log beside it; false then, with the reason. A file held by
// another program or a damaged one is not refused here.
bool checkDatabaseWritable(QString *reason = nullptr);
// Folds the write-ahead log back into the database file (a clean stop).
void checkpointDatabase();
// The history's coarse table holds the minimum, maximum and sum of every
// slot per this many seconds, so a month's view reads a few thousand rows.
// Half an hour: at 60 s samples it costs a few bytes a sample (a year of a
// device stays under 30 MB); a week's view still reads its samples.
inline constexpr int HISTORY_ROLLUP_SECONDS = 1800;
// The parameter slots a history sample holds, v0..v13: the rows a reply
// decodes into numbers. The rows from 14 on are the status word's bits,
// always text; a column each would cost every row a byte for nothing.
inline constexpr int HISTORY_VALUE_SLOTS = 14;
// History values are stored in thousandths: what the devices send has at
// most three decimals, and SQLite stores such a whole number in 1-4 bytes
// where a real takes 8.
inline constexpr double HISTORY_VALUE_SCALE = 1000.0;

// A value as the history stores it: its thousandths as an integer when that
// gives the value's tidy form back exactly, else the scaled real.
QVariant historyStoredValue(double value);
// The value of a stored one.
double historyValueOf(const QVariant &stored);

// Adds the columns older files lack and the event index; errors are ignored.
void upgradeSchema();

} // namespace vantoro
