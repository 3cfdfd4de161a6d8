// A second process for the fault tests: holds the database locked, or
// repeats a write of the station until it is killed.
//
//   fault_helper lock <database> <hold-ms>   BEGIN EXCLUSIVE, one event row,
//                                            "LOCKED", hold, COMMIT
//   fault_helper save-params                 saveParamValues with a new
//                                            generation of values, for ever
//   fault_helper restore-factory <r1> <r2>   restore paraset from the factory
//                                            tables of r1 and r2 in turn
// The station's files are those of $VANTORO_HOME. "READY" follows the first
// completed write, so a kill after it lands among the writes.
#include "acquisition/param_table.h"
#include "core/factory_tables.h"
#include "core/system_settings.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <cstdio>

using namespace vantoro;

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "fault_helper: %s\n", qPrintable(text));
    return 2;
}

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int holdLock(const QString &path, int holdMs)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
    db.setDatabaseName(path);
    if (!db.open())
        return fail(db.lastError().text());
    QSqlQuery q(db);
    // The writer of another program: it changes the file while it holds it.
    if (!q.exec(QStringLiteral("PRAGMA busy_timeout=5000")) || !q.exec(QStringLiteral("BEGIN EXCLUSIVE"))
        || !q.exec(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) "
                                  "values ('001', 'written by another program', '2000-01-01 00:00:00', 0)")))
        return fail(q.lastError().text());
    say("LOCKED");
    QThread::msleep(ulong(holdMs));
    if (!q.exec(QStringLiteral("COMMIT")))
        return fail(q.lastError().text());
    say("RELEASED");
    return 0;
}

int saveForEver()
{
    initGlobals();
    const QString devid = QString::fromLatin1(PARAM_DEVICE_ID);
    ParamTable table;
    if (!loadParamTable(table, devid))
        return fail(QStringLiteral("no parameter table"));
    for (int generation = 1;; ++generation) {
        for (ParamRecord &p : table)
            p.paravalue = QStringLiteral("gen%1").arg(generation);
        if (!saveParamValues(table, devid))
            return fail(QStringLiteral("saveParamValues failed"));
        if (generation == 1)
            say("READY");
    }
}

int restoreForEver(const QString &first, const QString &second)
{
    initGlobals();
    for (int round = 0;; ++round) {
        QString error;
        if (!restoreFactoryParameters(round % 2 == 0 ? first : second, &error))
            return fail(error);
        if (round == 0)
            say("READY");
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("lock"))
        return holdLock(args[1], args[2].toInt());
    if (args.size() == 1 && args[0] == QLatin1String("save-params"))
        return saveForEver();
    if (args.size() == 3 && args[0] == QLatin1String("restore-factory"))
        return restoreForEver(args[1], args[2]);
    return fail(QStringLiteral("usage: lock <database> <hold-ms> | save-params | restore-factory <r1> <r2>"));
}
