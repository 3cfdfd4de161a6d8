// Event queries of the web API over the logtime index.
#include "web/event_feed.h"

#include "core/database.h"
#include "core/iso_time.h"
#include "events/event_query.h"

#include <QJsonArray>

namespace vantoro {

namespace {

const QString kColumns = QStringLiteral("select logtime, devid, eventname from eventlog");
// How eventlog keeps logtime: local time, no offset.
const QString kStoredTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kNewestFirst = QStringLiteral(" order by logtime desc, rowid desc limit ?");

QJsonArray eventRows(const RecordSet &rs, int limit)
{
    QJsonArray rows;
    for (int i = 0; i < rs.recordCount() && i < limit; ++i) {
        const QVariantList &row = rs.rows[i];
        // Stored as local "yyyy-MM-dd HH:mm:ss"; served with the offset in
        // force then. A text that is no time is passed on as it was stored.
        const QString stored = row[0].toString();
        const QDateTime local = QDateTime::fromString(stored, kStoredTimeFormat);
        rows.append(QJsonObject{{QStringLiteral("time"), local.isValid() ? isoWithOffset(local) : stored},
                                {QStringLiteral("device"), row[1].toString()},
                                {QStringLiteral("text"), row[2].toString()}});
    }
    return rows;
}

} // namespace

std::optional<QJsonObject> eventsJson(const DayRange &range, int limit, QString *error)
{
    // One row beyond the limit tells whether the list was cut.
    const auto rs = rsSqlGet(kColumns + QStringLiteral(" where logtime >= ? and logtime <= ?") + kNewestFirst,
                             {eventRangeStart(range.from), eventRangeEnd(range.to), limit + 1}, error);
    if (!rs)
        return std::nullopt;
    const QJsonArray rows = eventRows(*rs, limit);
    return QJsonObject{{QStringLiteral("from"), range.from.toString(Qt::ISODate)},
                       {QStringLiteral("to"), range.to.toString(Qt::ISODate)},
                       {QStringLiteral("events"), rows},
                       {QStringLiteral("count"), rows.size()},
                       {QStringLiteral("truncated"), rs->recordCount() > limit},
                       {QStringLiteral("limit"), limit}};
}

std::optional<QJsonObject> latestEventsJson(int count, QString *error)
{
    const auto rs = rsSqlGet(kColumns + kNewestFirst, {count}, error);
    if (!rs)
        return std::nullopt;
    return QJsonObject{{QStringLiteral("events"), eventRows(*rs, count)}};
}

} // namespace vantoro
