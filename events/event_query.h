// The event list of the viewer: its statements over eventlog, the row status
// text, and the cuts of the printed report.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

class QSqlDatabase;
class QSqlQueryModel;

namespace vantoro {

inline constexpr int EVENT_PRINT_TIME_CHARS = 25;
inline constexpr int EVENT_PRINT_DETAIL_CHARS = 200;

// A statement with its bound values, in order.
struct EventQuery
{
    QString sql;
    QVariantList binds;
    // Column headings; the SQL driver drops double quotes from column names.
    QStringList titles;
};

// The first `count` characters of a text, never splitting a surrogate pair.
QString leftChars(const QString &text, int count);

// An SQL identifier in double quotes, inner double quotes doubled, so a
// language text can name a column whatever it contains.
QString quoteSqlIdentifier(const QString &name);

// The start of `from` and the last second of `to`, as stored in logtime.
QString eventRangeStart(const QDate &from);
QString eventRangeEnd(const QDate &to);

// The events from the start of `from` to 23:59:59 of `to`, newest first,
// with the two columns named by the given titles.
EventQuery eventListQuery(const QDate &from, const QDate &to, const QString &timeTitle, const QString &eventTitle);
// The number of rows eventListQuery gives for the same range.
EventQuery eventCountQuery(const QDate &from, const QDate &to);

// "n of m" for the 0-based model row `row` of `eventCount` events; the
// heading row counts as the grid's first row, so the first of ten reads "1 of 11".
QString eventRowStatusText(int row, int eventCount);

// Runs the list on `db` into `model`, which fetches rows as they are shown;
// `eventCount` receives the total. False with `error` set on failure.
bool runEventListQuery(QSqlQueryModel &model, const QSqlDatabase &db, const EventQuery &list,
                       const EventQuery &count, int *eventCount, QString *error);

} // namespace vantoro
