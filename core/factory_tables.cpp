// Copying the parameter table to and from its factory copies.
#include "core/factory_tables.h"

#include "acquisition/param_table.h"
#include "core/database.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace vantoro {

namespace {

const char *const parasetTable = "paraset";

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// The columns are named rather than taken by position, so a factory table
// whose columns stand in another order, or lack one, can't scramble paraset.
QString columnList()
{
    QStringList names;
    for (const char *name : paramColumnNames)
        names << QString::fromLatin1(name);
    return names.join(QStringLiteral(", "));
}

bool exec(QSqlQuery &query, const QString &sql, const QVariantList &binds, QString &error)
{
    if (!query.prepare(sql)) {
        error = query.lastError().text();
        return false;
    }
    for (const QVariant &v : binds)
        query.addBindValue(v);
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

bool exec(QSqlDatabase &db, const QString &sql, QString &error)
{
    QSqlQuery query(db);
    return exec(query, sql, {}, error);
}

bool tableExists(QSqlDatabase &db, const QString &table, QString &error, bool *exists)
{
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("select count(*) from sqlite_master where type='table' and lower(name)=lower(?)"),
              {table}, error))
        return false;
    *exists = query.next() && query.value(0).toInt() > 0;
    return true;
}

bool rowCount(QSqlDatabase &db, const QString &table, QString &error, int *count)
{
    QSqlQuery query(db);
    if (!exec(query, QStringLiteral("select count(*) from ") + quoted(table), {}, error))
        return false;
    *count = query.next() ? query.value(0).toInt() : 0;
    return true;
}

// Copies all rows of `from` into `to` after emptying `to`, in one transaction.
bool replaceTable(const QString &from, const QString &to, QString *error)
{
    return rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            for (const QString &table : {from, to}) {
                bool exists = false;
                if (!tableExists(db, table, workError, &exists))
                    return false;
                if (!exists) {
                    workError = QStringLiteral("table %1 does not exist").arg(table);
                    return false;
                }
            }
            int count = 0;
            if (!rowCount(db, from, workError, &count))
                return false;
            // An empty source would leave an empty table behind.
            if (count == 0) {
                workError = QStringLiteral("table %1 holds no rows").arg(from);
                return false;
            }
            const QString columns = columnList();
            return exec(db, QStringLiteral("delete from ") + quoted(to), workError)
                && exec(db, QStringLiteral("insert into %1 (%2) select %2 from %3").arg(quoted(to), columns, quoted(from)),
                        workError);
        },
        error);
}

bool invalidRating(const QString &rating, QString *error)
{
    if (error)
        *error = QStringLiteral("the power rating \"%1\" cannot name a factory table").arg(rating);
    return false;
}

} // namespace

QStringList knownPowerRatings()
{
    return {QStringLiteral("1K5"), QStringLiteral("2K"), QStringLiteral("2K5"), QStringLiteral("3K"),
            QStringLiteral("5K")};
}

bool isValidPowerRating(const QString &rating)
{
    if (knownPowerRatings().contains(rating))
        return true;
    static const QRegularExpression lettersAndDigits(QStringLiteral("^[A-Za-z0-9]+$"));
    return lettersAndDigits.match(rating).hasMatch();
}

QString factoryTableName(const QString &rating)
{
    return isValidPowerRating(rating) ? QString::fromLatin1(FACTORY_TABLE_PREFIX) + rating : QString();
}

bool restoreFactoryParameters(const QString &rating, QString *error)
{
    const QString factory = factoryTableName(rating);
    if (factory.isEmpty())
        return invalidRating(rating, error);
    return replaceTable(factory, QString::fromLatin1(parasetTable), error);
}

bool saveParametersAsFactory(const QString &rating, QString *error)
{
    const QString factory = factoryTableName(rating);
    if (factory.isEmpty())
        return invalidRating(rating, error);
    return replaceTable(QString::fromLatin1(parasetTable), factory, error);
}

} // namespace vantoro
