// Statements of the event list and the texts derived from it.
#include "events/event_query.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>

namespace vantoro {

namespace {

const QString kWhereRange = QStringLiteral(" from eventlog where logtime >= ? and logtime <= ?");

bool prepareAndExec(QSqlQuery &query, const EventQuery &statement, QString *error)
{
    if (!query.prepare(statement.sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    for (const QVariant &value : statement.binds)
        query.addBindValue(value);
    if (!query.exec()) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    return true;
}

} // namespace

QString leftChars(const QString &text, int count)
{
    if (count <= 0)
        return QString();
    if (text.size() <= count)
        return text;
    if (text.at(count - 1).isHighSurrogate())
        --count;
    return text.left(count);
}

QString quoteSqlIdentifier(const QString &name)
{
    QString inner = name;
    inner.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString eventRangeStart(const QDate &from)
{
    return from.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1String(" 00:00:00");
}

QString eventRangeEnd(const QDate &to)
{
    return to.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1String(" 23:59:59");
}

EventQuery eventListQuery(const QDate &from, const QDate &to, const QString &timeTitle, const QString &eventTitle)
{
    // rowid follows logtime in its index, so events of one second still come
    // newest first without a sort outside the index.
    return {QStringLiteral("select logtime as ") + quoteSqlIdentifier(timeTitle) + QStringLiteral(", eventname as ")
                + quoteSqlIdentifier(eventTitle) + kWhereRange + QStringLiteral(" order by logtime desc, rowid desc"),
            {eventRangeStart(from), eventRangeEnd(to)},
            {timeTitle, eventTitle}};
}

EventQuery eventCountQuery(const QDate &from, const QDate &to)
{
    return {QStringLiteral("select count(*)") + kWhereRange, {eventRangeStart(from), eventRangeEnd(to)}, {}};
}

QString eventRowStatusText(int row, int eventCount)
{
    return QString::number(row + 1) + QLatin1String(" of ") + QString::number(eventCount + 1);
}

bool runEventListQuery(QSqlQueryModel &model, const QSqlDatabase &db, const EventQuery &list,
                       const EventQuery &count, int *eventCount, QString *error)
{
    // A statement left half-read keeps its snapshot; finishing it first lets
    // the new query see what other connections wrote meanwhile.
    model.clear();
    if (eventCount)
        *eventCount = 0;
    {
        QSqlQuery countQuery(db);
        countQuery.setForwardOnly(true);
        if (!prepareAndExec(countQuery, count, error))
            return false;
        if (countQuery.next() && eventCount)
            *eventCount = countQuery.value(0).toInt();
    }
    QSqlQuery query(db);
    if (!prepareAndExec(query, list, error))
        return false;
    model.setQuery(std::move(query));
    if (model.lastError().isValid()) {
        if (error)
            *error = model.lastError().text();
        model.clear();
        return false;
    }
    for (int column = 0; column < list.titles.size() && column < model.columnCount(); ++column)
        model.setHeaderData(column, Qt::Horizontal, list.titles[column]);
    return true;
}

} // namespace vantoro
