// SQLite through Qt Sql, one connection per operation; single statements
// run on the idle connection held for the program's life.
#include "core/database.h"

#include "core/common.h"
#include "core/number_format.h"
#include "core/system_settings.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>
#include <cmath>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace vantoro {

namespace {

QAtomicInt connectionCounter;

// One idle connection to the database, held from the first operation to the
// end of the program. Without it every operation's close is the last one,
// and in WAL mode the last close folds the log into the file and deletes
// it: two more disk flushes and a new log on every event stored. Commits
// are as durable either way (synchronous=FULL flushes the log at each);
// the log is folded in every 1000 pages by SQLite and at a clean stop by
// checkpointDatabase.
struct HeldConnection
{
    std::unique_ptr<DbConnection> connection;
    QString path;
    QByteArray identity;
    QByteArray logIdentity;       // its "-wal" file
    QByteArray sharedIdentity;    // its "-shm" file
};

const QString logSuffix = QStringLiteral("-wal");
const QString sharedSuffix = QStringLiteral("-shm");

HeldConnection held;
bool openingHeld = false;
bool releaseRegistered = false;

// The file behind a path: replacing the file gives a new identity.
QByteArray fileIdentity(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
#else
    // An open database cannot be replaced there.
    return QFile::encodeName(path);
#endif
}

void releaseHeldConnection()
{
    held = HeldConnection();
}

void releaseAtExit()
{
    releaseRegistered = false;
    releaseHeldConnection();
}

// Before a connection opens `path`: a held connection to another file, or to
// a file that has since been replaced at the same path, goes first, so its
// log is folded into its own file and removed and never read as the new one's.
void releaseHeldConnectionUnlessTo(const QString &path)
{
    if (!held.connection || (held.path == path && held.identity == fileIdentity(path)))
        return;
    const bool replaced = held.path == path;
    const HeldConnection old = {nullptr, held.path, held.identity, held.logIdentity, held.sharedIdentity};
    releaseHeldConnection();
    if (!replaced)
        return;
    // SQLite writes nothing to a file that was replaced under it, so its log
    // stays behind the new file; read as the new file's it would corrupt it.
    if (!old.logIdentity.isEmpty() && fileIdentity(path + logSuffix) == old.logIdentity)
        QFile::remove(path + logSuffix);
    if (!old.sharedIdentity.isEmpty() && fileIdentity(path + sharedSuffix) == old.sharedIdentity)
        QFile::remove(path + sharedSuffix);
}

void holdConnectionTo(const QString &path)
{
    // Connections belong to their thread; the one held belongs to the
    // application's, and is closed before the application ends.
    if (openingHeld || held.connection || !QCoreApplication::instance()
        || QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    openingHeld = true;
    auto connection = std::make_unique<DbConnection>(path);
    openingHeld = false;
    if (!connection->isOpen())
        return;
    held.connection = std::move(connection);
    held.path = path;
    held.identity = fileIdentity(path);
    held.logIdentity = fileIdentity(path + logSuffix);
    held.sharedIdentity = fileIdentity(path + sharedSuffix);
    if (!releaseRegistered) {
        qAddPostRoutine(releaseAtExit);
        releaseRegistered = true;
    }
}

// The held connection when it is open to the database in use, on the
// thread it belongs to. A new connection's first commit also flushes the
// directory holding the log: a second disk flush for every single statement.
std::optional<QSqlDatabase> heldDatabase()
{
    if (!held.connection || !QCoreApplication::instance()
        || QThread::currentThread() != QCoreApplication::instance()->thread())
        return std::nullopt;
    const QString path = databasePath();
    if (path.isEmpty() || QFileInfo(path).absoluteFilePath() != held.path || fileIdentity(held.path) != held.identity)
        return std::nullopt;
    QSqlDatabase db = held.connection->database();
    if (!db.isOpen())
        return std::nullopt;
    return db;
}

} // namespace

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

QString databasePath()
{
    if (!sysSettings.connectionString.isEmpty())
        return sysSettings.connectionString;
    return findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE));
}

DbConnection::DbConnection(const QString &path, Access access)
    : m_name(QStringLiteral("vantoro-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
    const bool readOnly = access == Access::ReadOnly;
    const QString file = path.isEmpty() ? databasePath() : path;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    if (!QFileInfo(file).isFile()) {
        // The station never creates its database; a missing file is an error.
        m_error = QStringLiteral("database file not found: %1").arg(file);
        return;
    }
    const QString absolutePath = QFileInfo(file).absoluteFilePath();
    if (!readOnly && !openingHeld)
        releaseHeldConnectionUnlessTo(absolutePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(DATABASE_BUSY_TIMEOUT_MS));
    db.setDatabaseName(QUrl::fromLocalFile(absolutePath).toString(QUrl::FullyEncoded)
                       + (readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
    if (!db.open()) {
        m_error = db.lastError().text();
        return;
    }
    QSqlQuery pragma(db);
    if (!readOnly) {
        // A commit the station reported must survive a power cut.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    }
    pragma.exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(DATABASE_BUSY_TIMEOUT_MS));
    m_open = true;
    if (!readOnly)
        holdConnectionTo(absolutePath);
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
    {
        // The write lock is taken at the start, where the busy timeout waits
        // for it. A plain BEGIN would read first and then fail at once on
        // its first write when another program wrote meanwhile.
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            if (error)
                *error = begin.lastError().text();
            return false;
        }
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
    return execSql(sql, binds, error, nullptr);
}

bool execSql(const QString &sql, const QVariantList &binds, QString *error, qint64 *insertedRowId)
{
    auto run = [&](QSqlQuery &query) {
        const bool ok = bindAndExec(query, sql, binds, error);
        if (insertedRowId)
            *insertedRowId = ok ? query.lastInsertId().toLongLong() : 0;
        return ok;
    };
    if (const auto db = heldDatabase()) {
        QSqlQuery query(*db);
        return run(query);
    }
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return false;
    }
    QSqlQuery query(connection.database());
    return run(query);
}

bool checkDatabaseFile()
{
    const QFileInfo info(findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE)));
    return info.isFile() && info.size() > 0;
}

bool checkDatabaseWritable(QString *reason)
{
    const QString path = databasePath();
    auto refuse = [&](const QString &why) {
        if (reason)
            *reason = QStringLiteral("the database %1 cannot be written (%2)").arg(path, why);
        return false;
    };
    DbConnection connection;
    if (!connection.isOpen())
        return refuse(connection.errorText());
    QSqlDatabase db = connection.database();
    QSqlQuery probe(db);
    // In WAL mode even BEGIN IMMEDIATE succeeds on a file SQLite opened
    // read-only: only a real write, rolled back, tells.
    const bool written = probe.exec(QStringLiteral("BEGIN IMMEDIATE"))
        && probe.exec(QStringLiteral("create table vantoro_write_probe (x integer)"));
    const QSqlError error = probe.lastError();
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    if (written)
        return true;
    // Only what says "no writing here" refuses: SQLITE_PERM, SQLITE_READONLY
    // and SQLITE_CANTOPEN (no log can be made beside it). A busy file is
    // writable, and a damaged one has its own messages later.
    const int primaryCode = error.nativeErrorCode().toInt() & 0xff;
    if (primaryCode != 3 && primaryCode != 8 && primaryCode != 14)
        return true;
    return refuse(error.text());
}

void checkpointDatabase()
{
    DbConnection connection;
    if (!connection.isOpen())
        return;
    QSqlQuery q(connection.database());
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

namespace {

QString historySlotColumns(const char *pattern)
{
    QString columns;
    for (int slot = 0; slot < HISTORY_VALUE_SLOTS; ++slot)
        columns += QString::fromLatin1(pattern).arg(slot);
    return columns;
}

// histdata: one row per device and sample, keyed by the device's number and
// the time in seconds since the epoch, every slot as historyStoredValue
// gives it. Integer affinity: SQLite packs each into 0-4 bytes.
QString historyDataSql(const QString &table)
{
    return QStringLiteral("create table %1 (dev integer not null, t integer not null%2, primary key (dev, t)) "
                          "without rowid")
        .arg(table, historySlotColumns(", v%1 integer"));
}

// histrollup: per device and HISTORY_ROLLUP_SECONDS bucket `b` (its start),
// the first and last sample time, the number of samples `c` and every slot's
// minimum, maximum, sum and count of values, in the stored scale.
bool createHistoryRollup(QSqlQuery &query)
{
    const QString columns = historySlotColumns(", n%1 integer, x%1 integer, s%1 integer, k%1 integer not null default 0");
    const QString fill = historySlotColumns(", min(v%1), max(v%1), sum(v%1), count(v%1)");
    return query.exec(QStringLiteral("drop table if exists histrollup"))
        && query.exec(QStringLiteral("create table histrollup (dev integer not null, b integer not null, "
                                     "t0 integer not null, t1 integer not null, c integer not null%1, "
                                     "primary key (dev, b)) without rowid")
                          .arg(columns))
        && query.exec(QStringLiteral("insert into histrollup select dev, (t / %1) * %1, min(t), max(t), count(*)%2 "
                                     "from histdata group by 1, 2")
                          .arg(HISTORY_ROLLUP_SECONDS)
                          .arg(fill));
}

// The samples of a file written before the history knew devices (one real
// per slot, keyed by time) become device 1's, in the stored scale.
bool copySingleDeviceHistory(QSqlDatabase &db, QString &error)
{
    QSqlQuery read(db);
    QSqlQuery write(db);
    read.setForwardOnly(true);
    QString marks;
    for (int slot = 0; slot < HISTORY_VALUE_SLOTS; ++slot)
        marks += QStringLiteral(", ?");
    const bool ok = read.exec(QStringLiteral("select t%1 from histdata").arg(historySlotColumns(", v%1")))
        && write.prepare(QStringLiteral("insert or ignore into histdata_dev values (1, ?%1)").arg(marks));
    if (!ok) {
        error = read.lastError().isValid() ? read.lastError().text() : write.lastError().text();
        return false;
    }
    while (read.next()) {
        write.bindValue(0, read.value(0));
        for (int slot = 0; slot < HISTORY_VALUE_SLOTS; ++slot) {
            const QVariant v = read.value(slot + 1);
            write.bindValue(slot + 1, v.isNull() ? QVariant() : historyStoredValue(v.toDouble()));
        }
        if (!write.exec()) {
            error = write.lastError().text();
            return false;
        }
    }
    if (read.lastError().isValid()) {
        error = read.lastError().text();
        return false;
    }
    return true;
}

// Creates the sample and rollup tables, or brings those of an older file
// into the device-keyed form. All of it is one transaction: a failed or
// interrupted upgrade leaves the old tables as they were.
void upgradeHistoryTables()
{
    const auto exists = rsSqlGet(QStringLiteral("select count(*) from sqlite_master where name = 'histdata'"));
    if (!exists)
        return;
    const bool hasData = exists->rows.value(0).value(0).toInt() > 0;
    const bool keyed = hasData && rsSqlGet(QStringLiteral("select dev from histdata limit 0"));
    const bool rollupKeyed = rsSqlGet(QStringLiteral("select dev, s0 from histrollup limit 0")).has_value();
    if (keyed && rollupKeyed)
        return;
    QString error;
    const bool ok = rsSqlGet2([&](QSqlDatabase &db, QString &e) {
        QSqlQuery query(db);
        bool done = true;
        if (!hasData) {
            done = query.exec(historyDataSql(QStringLiteral("histdata")));
        } else if (!keyed) {
            done = query.exec(QStringLiteral("drop table if exists histdata_dev"))
                && query.exec(historyDataSql(QStringLiteral("histdata_dev")));
            if (done && !copySingleDeviceHistory(db, e))
                return false;
            done = done && query.exec(QStringLiteral("drop table histdata"))
                && query.exec(QStringLiteral("alter table histdata_dev rename to histdata"));
        }
        done = done && createHistoryRollup(query);
        if (!done)
            e = query.lastError().text();
        return done;
    }, &error);
    if (!ok)
        qWarning("The history tables could not be upgraded: %s", qPrintable(error));
}

} // namespace

QVariant historyStoredValue(double value)
{
    const double tidy = tidyValue(value);
    const double scaled = tidy * HISTORY_VALUE_SCALE;
    const double whole = std::round(scaled);
    // 2^53: beyond it a double no longer holds every whole number.
    if (std::isfinite(whole) && std::abs(whole) < 9007199254740992.0 && whole / HISTORY_VALUE_SCALE == tidy)
        return qint64(whole);
    return scaled;
}

double historyValueOf(const QVariant &stored)
{
    return stored.toDouble() / HISTORY_VALUE_SCALE;
}

void upgradeSchema()
{
    static const char *const statements[] = {
        "alter table sysset add DEVPOWER VARCHAR(50) null",
        "alter table devices add DEVPOWER VARCHAR(50) null",
        "alter table devices add TOTALPOWER VARCHAR(15) null",
        "alter table devices add DEVCOMVERSION VARCHAR(25) null",
        // A device on the line that is not polled; every older row is polled.
        "alter table devices add enabled integer not null default 1",
        // Keeps a day's query fast when the log has grown for years.
        "create index if not exists ix_eventlog_logtime on eventlog(logtime)",
        // MQTT publishing, one row; a null column takes the default of MqttSettings.
        "create table if not exists mqttset (id integer primary key, enabled integer, host varchar(255), "
        "port integer, tls integer, cafile varchar(255), username varchar(255), password varchar(255), "
        "clientid varchar(255), basetopic varchar(255), discovery integer, discoveryprefix varchar(255), "
        "manufacturer varchar(255))",
        "insert or ignore into mqttset (id) values (1)",
        // Mail alerts: sender, login and transport security.
        "alter table sysset add MailSender varchar(100) default ''",
        "alter table sysset add MailUser varchar(100) default ''",
        "alter table sysset add MailPassword varchar(100) default ''",
        "alter table sysset add MailSecurity integer default 0",
        // The share of the rating below which the device is asleep.
        "alter table sysset add StandbyPercent real default 1",
        // Notices: the channels' URLs, and which event each channel accepted.
        "create table if not exists noticeurls (id integer primary key autoincrement, url text not null, "
        "added varchar(19) not null)",
        "create table if not exists noticesent (eventrow integer not null, logtime varchar(19) not null, "
        "channel integer not null, state integer not null, primary key (channel, eventrow)) without rowid",
        // The line as a network address; empty keeps the serial port.
        "alter table sysset add LineAddress varchar(255) default ''",
        // The daily summary: when it goes, by mail and as a notice; the last
        // day each receiver ("mail", "notice:<channel>") accepted.
        "alter table sysset add SummaryTime varchar(5) default '21:00'",
        "alter table sysset add SummaryMail integer default 0",
        "alter table sysset add SummaryNotice integer default 0",
        "create table if not exists summarysent (receiver text primary key, day text not null, "
        "senttime varchar(19) not null) without rowid",
    };
    for (const char *sql : statements)
        execSql(QString::fromLatin1(sql));

    // History: the names the slots had when recorded; the daily yield, one
    // row per day and device; the samples and their rollup per device.
    static const char *const historyStatements[] = {
        "create table if not exists histparam (paraid integer primary key, paracode text, paraname text, unit text)",
        "create table if not exists histyield (devid text not null, day text not null, energy real not null default 0, "
        "flagged integer not null default 0, peakpower real, peaktime integer, maxtmod real, "
        "linkseconds integer not null default 0, faults integer not null default 0, firstcounter real, "
        "lastcounter real, lastreply integer, asleepseconds integer not null default 0, "
        "lostseconds integer not null default 0, primary key (devid, day)) without rowid",
        // Time asleep and lost, counted as cycles arrive like the link time.
        "alter table histyield add asleepseconds integer not null default 0",
        "alter table histyield add lostseconds integer not null default 0",
    };
    for (const char *sql : historyStatements)
        execSql(QString::fromLatin1(sql));
    upgradeHistoryTables();
}

} // namespace vantoro
