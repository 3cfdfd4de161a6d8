// Times the event viewer's one-day query, the first screen of its grid, the
// full read of a day for printing, and clearing, over a large eventlog.
#include "core/database.h"
#include "core/system_settings.h"
#include "events/event_query.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr int SCREEN_ROWS = 40; // rows a maximised viewer shows at once
constexpr int REPEATS = 7;

struct Timing
{
    QString what;
    double bestMs = 0;
    double medianMs = 0;
    QString note;
};

Timing measure(const QString &what, int repeats, const std::function<QString()> &run)
{
    QList<double> times;
    QString note;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        note = run();
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return {what, times.first(), times[times.size() / 2], note};
}

bool createSchema(const QString &path)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-schema"));
        db.setDatabaseName(path);
        if (!db.open())
            return false;
        QSqlQuery query(db);
        query.exec(QStringLiteral("create table if not exists eventlog (devid varchar(10), eventname varchar(255), "
                                  "logtime varchar(19), mailsent integer)"));
        query.exec(QStringLiteral("create index if not exists ix_eventlog_logtime on eventlog(logtime)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-schema"));
    return true;
}

bool fill(int rows, const QDateTime &start, QString *error)
{
    // Spread evenly over the year, as a station with a busy log would have it.
    const double step = 365.0 * 86400.0 / rows;
    return rsSqlGet2(
        [&](QSqlDatabase &db, QString &failure) {
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', ?, ?, 0)"));
            for (int i = 0; i < rows; ++i) {
                insert.bindValue(0, QStringLiteral("系统事件：Link failed, retry %1 of the polling cycle").arg(i));
                insert.bindValue(1, start.addSecs(qint64(i * step)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
                if (!insert.exec()) {
                    failure = insert.lastError().text();
                    return false;
                }
            }
            return true;
        },
        error);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rows = 1000000;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows") && i + 1 < args.size()) {
            rows = args[++i].toInt();
        } else {
            std::fprintf(stderr, "usage: %s [--rows N]\n", qPrintable(QFileInfo(args[0]).fileName()));
            return 2;
        }
    }
    if (rows <= 0) {
        std::fprintf(stderr, "--rows needs a positive number\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QString::fromLatin1(DATABASE_FILE));
    const QString built = QDir(QStringLiteral(VANTORO_DEFAULTS_DIR)).filePath(QString::fromLatin1(DATABASE_FILE));
    if (!QFile::copy(built, path) && !createSchema(path)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
        return 1;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    sysSettings.connectionString = path;
    execSql(QStringLiteral("delete from eventlog"));

    const QDateTime yearStart(QDate(2023, 1, 1), QTime(0, 0));
    QString error;
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!fill(rows, yearStart, &error)) {
        std::fprintf(stderr, "fill failed: %s\n", qPrintable(error));
        return 1;
    }
    const double fillSeconds = fillTimer.nsecsElapsed() / 1e9;
    const double fileMb = QFileInfo(path).size() / 1048576.0;

    const QDate day(2023, 7, 1);
    const EventQuery list = eventListQuery(day, day, QStringLiteral("时间"), QStringLiteral("事件"));
    const EventQuery count = eventCountQuery(day, day);
    const EventQuery yearList = eventListQuery(yearStart.date(), QDate(2023, 12, 31), QStringLiteral("时间"),
                                               QStringLiteral("事件"));
    const EventQuery yearCount = eventCountQuery(yearStart.date(), QDate(2023, 12, 31));

    QList<Timing> timings;
    timings << measure(QStringLiteral("open viewer: connect + one day"), REPEATS, [&] {
        DbConnection connection;
        QSqlQueryModel model;
        int total = 0;
        QString failure;
        const bool ok = runEventListQuery(model, connection.database(), list, count, &total, &failure);
        model.clear();
        return ok ? QStringLiteral("%1 events").arg(total) : QStringLiteral("failed: ") + failure;
    });
    {
        // The viewer's one connection, open for all its queries.
        DbConnection connection;
        if (!connection.isOpen()) {
            std::fprintf(stderr, "open failed: %s\n", qPrintable(connection.errorText()));
            return 1;
        }
        const QSqlDatabase db = connection.database();
        QSqlQueryModel model;

        auto firstScreen = [&](const EventQuery &l, const EventQuery &c) {
            int total = 0;
            QString failure;
            if (!runEventListQuery(model, db, l, c, &total, &failure))
                return QStringLiteral("failed: ") + failure;
            for (int row = 0; row < SCREEN_ROWS && row < model.rowCount(); ++row) {
                model.index(row, 0).data();
                model.index(row, 1).data();
            }
            return QStringLiteral("%1 events, %2 rows fetched").arg(total).arg(model.rowCount());
        };
        timings << measure(QStringLiteral("one day: count + list + first screen"), REPEATS,
                           [&] { return firstScreen(list, count); });
        timings << measure(QStringLiteral("one year: count + list + first screen"), REPEATS,
                           [&] { return firstScreen(yearList, yearCount); });
        model.clear();

        timings << measure(QStringLiteral("one day: every row read (printing)"), REPEATS, [&] {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            query.prepare(list.sql);
            for (const QVariant &value : list.binds)
                query.addBindValue(value);
            query.exec();
            int n = 0;
            while (query.next()) {
                query.value(0).toString();
                query.value(1).toString();
                ++n;
            }
            return QStringLiteral("%1 rows").arg(n);
        });
    }
    timings << measure(QStringLiteral("clear: delete from eventlog"), 1, [&] {
        QString failure;
        return execSql(QStringLiteral("delete from eventlog"), {}, &failure) ? QStringLiteral("ok") : failure;
    });

    std::printf("eventlog: %d rows over 2023 (filled in %.1f s, file %.0f MB); query day %s; best/median of %d runs\n\n",
                rows, fillSeconds, fileMb, qPrintable(day.toString(Qt::ISODate)), REPEATS);
    std::printf("%-42s %10s %10s  %s\n", "operation", "best ms", "median ms", "result");
    for (const Timing &t : timings)
        std::printf("%-42s %10.2f %10.2f  %s\n", qPrintable(t.what), t.bestMs, t.medianMs, qPrintable(t.note));
    // The lines bench/run_all.sh reads for its table.
    std::printf("RESULT eventlog.first_day_ms %.6g ms\n", timings[0].medianMs);
    std::printf("RESULT eventlog.day_ms %.6g ms\n", timings[1].medianMs);
    std::printf("RESULT eventlog.clear_ms %.6g ms\n", timings.last().medianMs);
    std::printf("RESULT eventlog.rows %d rows\n", rows);
    return 0;
}
