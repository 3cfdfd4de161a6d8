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
// The device the shipped factory rows carry.
const char *const factoryDeviceId = "001";

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

// The columns but DEVID, which a copy for one device writes itself.
QString columnListWithoutDeviceId()
{
    QStringList names;
    for (const char *name : paramColumnNames) {
        if (QString::fromLatin1(name).compare(QStringLiteral("DEVID"), Qt::CaseInsensitive) != 0)
            names << QString::fromLatin1(name);
    }
    return names.join(QStringLiteral(", "));
}

bool exec(QSqlQuery &query, const QString &sql, const QVariantList &binds, QString &error)
{
    return bindAndExec(query, sql, binds, &error);
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

// The table exists and holds rows (of `deviceId` when one is named): an
// empty source would leave an empty table behind.
bool usableSource(QSqlDatabase &db, const QString &table, const QString &deviceId, QString &error)
{
    bool exists = false;
    if (!tableExists(db, table, error, &exists))
        return false;
    if (!exists) {
        error = QStringLiteral("table %1 does not exist").arg(table);
        return false;
    }
    QSqlQuery query(db);
    const bool oneDevice = !deviceId.isEmpty();
    if (!exec(query, QStringLiteral("select count(*) from ") + quoted(table) + (oneDevice ? QStringLiteral(" where DEVID = ?") : QString()),
              oneDevice ? QVariantList{deviceId} : QVariantList{}, error))
        return false;
    if (!query.next() || query.value(0).toInt() == 0) {
        error = oneDevice ? QStringLiteral("table %1 holds no rows of device %2").arg(table, deviceId)
                          : QStringLiteral("table %1 holds no rows").arg(table);
        return false;
    }
    return true;
}

// Copies the rows of `from` (only those of `fromDevice` when one is named,
// written as the shipped factory rows' device) into `to` after emptying
// `to`, in one transaction.
bool replaceTable(const QString &from, const QString &to, const QString &fromDevice, QString *error)
{
    return rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            bool exists = false;
            if (!tableExists(db, to, workError, &exists))
                return false;
            if (!exists) {
                workError = QStringLiteral("table %1 does not exist").arg(to);
                return false;
            }
            if (!usableSource(db, from, fromDevice, workError))
                return false;
            QSqlQuery query(db);
            if (!exec(db, QStringLiteral("delete from ") + quoted(to), workError))
                return false;
            if (fromDevice.isEmpty())
                return exec(query, QStringLiteral("insert into %1 (%2) select %2 from %3").arg(quoted(to), columnList(), quoted(from)),
                            {}, workError);
            const QString columns = columnListWithoutDeviceId();
            return exec(query,
                        QStringLiteral("insert into %1 (DEVID, %2) select ?, %2 from %3 where DEVID = ?")
                            .arg(quoted(to), columns, quoted(from)),
                        {QString::fromLatin1(factoryDeviceId), fromDevice}, workError);
        },
        error);
}

QString invalidRatingText(const QString &rating)
{
    return QStringLiteral("the power rating \"%1\" cannot name a factory table").arg(rating);
}

bool invalidRating(const QString &rating, QString *error)
{
    if (error)
        *error = invalidRatingText(rating);
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
    return replaceTable(factory, QString::fromLatin1(parasetTable), QString(), error);
}

bool restoreFactoryParameters(const QString &rating, const QString &deviceId, QString *error)
{
    if (factoryTableName(rating).isEmpty())
        return invalidRating(rating, error);
    return rsSqlGet2(
        [&](QSqlDatabase &db, QString &workError) {
            QSqlQuery query(db);
            return exec(query, QStringLiteral("delete from paraset where DEVID = ?"), {deviceId}, workError)
                && copyFactoryParameters(db, rating, deviceId, workError);
        },
        error);
}

bool copyFactoryParameters(QSqlDatabase &db, const QString &rating, const QString &deviceId, QString &error)
{
    const QString factory = factoryTableName(rating);
    if (factory.isEmpty()) {
        error = invalidRatingText(rating);
        return false;
    }
    if (!usableSource(db, factory, QString(), error))
        return false;
    const QString columns = columnListWithoutDeviceId();
    QSqlQuery query(db);
    return exec(query,
                QStringLiteral("insert into %1 (DEVID, %2) select ?, %2 from %3")
                    .arg(QString::fromLatin1(parasetTable), columns, quoted(factory)),
                {deviceId}, error);
}

QStringList factoryRatings(QString *error)
{
    const auto tables = rsSqlGet(
        QStringLiteral("select name from sqlite_master where type='table' and lower(name) like ? escape '\\'"),
        {QStringLiteral("paraset\\_%")}, error);
    if (!tables)
        return {};
    QStringList found;
    for (const QVariantList &row : tables->rows) {
        const QString rating = row.value(0).toString().mid(int(qstrlen(FACTORY_TABLE_PREFIX)));
        if (!isValidPowerRating(rating))
            continue;
        const auto rows = rsSqlGet(QStringLiteral("select count(*) from %1").arg(quoted(factoryTableName(rating))));
        if (rows && rows->rows.value(0).value(0).toInt() > 0)
            found << rating;
    }
    QStringList ratings;
    for (const QString &known : knownPowerRatings()) {
        if (found.removeAll(known) > 0)
            ratings << known;
    }
    found.sort();
    return ratings + found;
}

bool saveParametersAsFactory(const QString &rating, QString *error)
{
    return saveParametersAsFactory(rating, QString(), error);
}

bool saveParametersAsFactory(const QString &rating, const QString &deviceId, QString *error)
{
    const QString factory = factoryTableName(rating);
    if (factory.isEmpty())
        return invalidRating(rating, error);
    return replaceTable(QString::fromLatin1(parasetTable), factory, deviceId, error);
}

} // namespace vantoro
