#include "history/history_query.h"

#include "acquisition/reply_decoding.h"
#include "core/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <limits>

namespace vantoro {

namespace {

constexpr double NO_VALUE = std::numeric_limits<double>::quiet_NaN();

template<typename T>
std::optional<T> failed(const QSqlQuery &query, QString *error)
{
    if (error)
        *error = query.lastError().text();
    return std::nullopt;
}

bool execRange(QSqlQuery &query, const QString &sql, qint64 from, qint64 to)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    query.addBindValue(from);
    query.addBindValue(to);
    return query.exec();
}

double valueOf(const QVariant &v)
{
    return v.isNull() ? NO_VALUE : historyValueOf(v);
}

// Whose rows a query reads: a filter on the device key (integers only, so
// it is written into the statement) and, for the plant, the step its sums
// are taken over.
struct Scope
{
    QString devices;          // "dev = 3" or "dev in (1, 2, 5)"
    bool plant = false;
    qint64 step = HISTORY_PLANT_STEP_DEFAULT_S;
};

void appendPoint(HistoryData &data, qint64 time, const QSqlQuery &query, int firstValue, int stride, bool gap)
{
    data.times << time;
    data.gapBefore << gap;
    for (int c = 0; c < data.columns.size(); ++c)
        data.values[c] << valueOf(query.value(firstValue + c * stride));
}

bool readRaw(QSqlQuery &query, HistoryData &data, const Scope &scope, qint64 from, qint64 to)
{
    QString sql;
    if (scope.plant) {
        // Each device's mean over the step, summed over the devices.
        QString inner = QStringLiteral("select t / %1 * %1 ts").arg(scope.step);
        QString outer = QStringLiteral("select ts");
        for (int i = 0; i < data.columns.size(); ++i) {
            inner += QStringLiteral(", avg(%1) a%2").arg(historyValueColumn(data.columns[i].slot)).arg(i);
            outer += QStringLiteral(", sum(a%1)").arg(i);
        }
        sql = QStringLiteral("%1 from (%2 from %3 where %4 and t >= ? and t < ? group by dev, ts) group by ts order by ts")
                  .arg(outer, inner, QLatin1String(HISTORY_TABLE), scope.devices);
    } else {
        QString select = QStringLiteral("select t");
        for (const HistoryColumn &c : std::as_const(data.columns))
            select += QStringLiteral(", ") + historyValueColumn(c.slot);
        sql = select + QStringLiteral(" from %1 where %2 and t >= ? and t < ? order by t")
                           .arg(QLatin1String(HISTORY_TABLE), scope.devices);
    }
    if (!execRange(query, sql, from, to))
        return false;
    while (query.next())
        appendPoint(data, query.value(0).toLongLong(), query, 1, 1, true);
    return !query.lastError().isValid();
}

// The part of a range the coarse table answers: its whole rollup buckets.
// Samples before `rollFrom` and from `rollTo` on are read from the samples;
// both are `to` when the coarse table is not used.
struct RangeSplit
{
    qint64 from = 0;
    qint64 rollFrom = 0;
    qint64 rollTo = 0;
    qint64 to = 0;
};

RangeSplit splitRange(qint64 from, qint64 to, bool useRollup)
{
    const qint64 r = HISTORY_ROLLUP_SECONDS;
    const qint64 first = (from + r - 1) / r * r;
    const qint64 last = to / r * r;
    if (!useRollup || last <= first)
        return {from, to, to, to};
    return {from, first, last, to};
}

bool execSplit(QSqlQuery &query, const QString &sql, const RangeSplit &range)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return false;
    for (qint64 v : {range.from, range.rollFrom, range.rollTo, range.to, range.rollFrom, range.rollTo})
        query.addBindValue(v);
    return query.exec();
}

// Samples in the range: the edges counted, the whole buckets summed.
std::optional<int> countSamples(QSqlQuery &query, const Scope &scope, const RangeSplit &range)
{
    const QString sql = QStringLiteral("select (select count(*) from %1 where %3 and t >= ? and t < ?) "
                                       "+ (select count(*) from %1 where %3 and t >= ? and t < ?) "
                                       "+ (select coalesce(sum(c), 0) from %2 where %3 and b >= ? and b < ?)")
                            .arg(QLatin1String(HISTORY_TABLE), QLatin1String(HISTORY_ROLLUP_TABLE), scope.devices);
    if (!execSplit(query, sql, range) || !query.next())
        return std::nullopt;
    const int n = query.value(0).toInt();
    query.finish();
    return n;
}

bool readBuckets(QSqlQuery &query, HistoryData &data, const Scope &scope, const RangeSplit &range)
{
    // Columns: bucket, first time, last time, then min, max, sum and count
    // per series, from the samples at the edges and the coarse buckets in
    // between.
    const auto key = [&](const char *column) {
        return QStringLiteral("(%1 - %2) / %3").arg(QLatin1String(column)).arg(range.from).arg(data.bucketSeconds);
    };
    QString raw = QStringLiteral("dev, ") + key("t") + QStringLiteral(" bk, t t0, t t1");
    QString rolled = QStringLiteral("dev, ") + key("b") + QStringLiteral(" bk, t0, t1");
    QString outer = QStringLiteral("select bk, min(t0), max(t1)");
    QString perDevice = QStringLiteral("select bk, min(t0) t0, max(t1) t1");
    for (int i = 0; i < data.columns.size(); ++i) {
        const int slot = data.columns[i].slot;
        raw += QStringLiteral(", v%1 n%2, v%1 x%2, v%1 s%2, v%1 is not null k%2").arg(slot).arg(i);
        rolled += QStringLiteral(", n%1 n%2, x%1 x%2, s%1 s%2, k%1 k%2").arg(slot).arg(i);
        if (scope.plant) {
            // The sum of the devices' means stands for minimum, maximum and
            // mean alike; a bucket with no value of the column stays empty.
            perDevice += QStringLiteral(", 1.0 * sum(s%1) / nullif(sum(k%1), 0) m%1").arg(i);
            outer += QStringLiteral(", sum(m%1), sum(m%1), sum(m%1), count(m%1) > 0").arg(i);
        } else {
            outer += QStringLiteral(", min(n%1), max(x%1), sum(s%1), sum(k%1)").arg(i);
        }
    }
    const QString samples = QStringLiteral("select %1 from %2 where %3 and t >= ? and t < ?")
                                .arg(raw, QLatin1String(HISTORY_TABLE), scope.devices);
    const QString rows = QStringLiteral("%1 union all %1 union all select %2 from %3 where %4 and b >= ? and b < ?")
                             .arg(samples, rolled, QLatin1String(HISTORY_ROLLUP_TABLE), scope.devices);
    const QString sql = scope.plant
        ? QStringLiteral("%1 from (%2 from (%3) group by dev, bk) group by bk order by bk").arg(outer, perDevice, rows)
        : QStringLiteral("%1 from (%2) group by bk order by bk").arg(outer, rows);
    if (!execSplit(query, sql, range))
        return false;
    while (query.next()) {
        const qint64 first = query.value(1).toLongLong();
        const qint64 last = query.value(2).toLongLong();
        // Only the step into a bucket may be a gap; the marks are judged
        // once every point is read.
        appendPoint(data, first, query, 3, 4, true);
        data.bucketFirst << true;
        if (last != first) {
            appendPoint(data, last, query, 4, 4, false);
            data.bucketFirst << false;
        }
        const int points = last != first ? 2 : 1;
        for (int c = 0; c < data.columns.size(); ++c) {
            const qint64 count = query.value(6 + 4 * c).toLongLong();
            const double mean = count > 0 ? historyValueOf(query.value(5 + 4 * c)) / double(count) : NO_VALUE;
            for (int p = 0; p < points; ++p)
                data.means[c] << mean;
        }
    }
    return !query.lastError().isValid();
}

// Steps on each side a point's spacing is read from.
constexpr int GAP_NEIGHBOUR_STEPS = 8;

} // namespace

bool isHistoryCurve(int slot)
{
    return slot != ROW_ADDRESS && slot != ROW_STATUS;
}

QList<HistoryColumn> pickHistoryColumns(const QList<HistoryColumn> &all, const QStringList &codes)
{
    if (codes.isEmpty())
        return all;
    QList<HistoryColumn> picked;
    for (const QString &code : codes) {
        for (const HistoryColumn &c : all) {
            if (c.code.compare(code, Qt::CaseInsensitive) == 0) {
                picked << c;
                break;
            }
        }
    }
    return picked;
}

void markGaps(const QList<qint64> &times, QList<bool> &gapBefore, int gapSeconds)
{
    const qsizetype n = times.size();
    if (n == 0)
        return;
    gapBefore[0] = true;
    QList<qint64> steps(n, 0); // steps[i]: from point i - 1 to i
    for (qsizetype i = 1; i < n; ++i)
        steps[i] = times[i] - times[i - 1];
    // The shortest step among a few on one side: the spacing the samples
    // there were stored at (intra-bucket spans are never shorter).
    const auto shortest = [&](qsizetype first, qsizetype last) {
        qint64 most = std::numeric_limits<qint64>::max();
        for (qsizetype k = std::max<qsizetype>(1, first); k <= std::min(last, n - 1); ++k) {
            if (steps[k] > 0)
                most = std::min(most, steps[k]);
        }
        return most;
    };
    for (qsizetype i = 1; i < n; ++i) {
        if (!gapBefore[i])
            continue;
        if (gapSeconds > 0) {
            gapBefore[i] = steps[i] > gapSeconds;
            continue;
        }
        // The coarser side decides, so the step where the period changed
        // is no gap; a side with no steps takes the other's spacing.
        qint64 left = shortest(i - GAP_NEIGHBOUR_STEPS, i - 1);
        qint64 right = shortest(i + 1, i + GAP_NEIGHBOUR_STEPS);
        if (left == std::numeric_limits<qint64>::max())
            left = right;
        if (right == std::numeric_limits<qint64>::max())
            right = left;
        const qint64 spacing = std::max(left, right);
        gapBefore[i] = spacing != std::numeric_limits<qint64>::max() && steps[i] > GAP_SPACINGS * spacing;
    }
}

namespace {

// Buckets of equal time, at most maxPoints / 2 of them; from the rollup's
// size on a whole number of rollup buckets, so the coarse table answers.
int bucketSecondsFor(qint64 from, qint64 to, int maxPoints)
{
    const qint64 buckets = std::max(1, maxPoints / 2);
    qint64 seconds = std::max<qint64>(1, (to - from + buckets - 1) / buckets);
    if (seconds >= HISTORY_ROLLUP_SECONDS)
        seconds = (seconds + HISTORY_ROLLUP_SECONDS - 1) / HISTORY_ROLLUP_SECONDS * HISTORY_ROLLUP_SECONDS;
    return int(std::min<qint64>(seconds, std::numeric_limits<int>::max()));
}

} // namespace

bool isPlantAdditive(const QString &code)
{
    return code.compare(QLatin1String(OUTPUT_POWER_CODE), Qt::CaseInsensitive) == 0
        || code.compare(QLatin1String(ENERGY_COUNTER_CODE), Qt::CaseInsensitive) == 0;
}

QList<HistoryColumn> plantColumns(const QList<HistoryColumn> &columns)
{
    QList<HistoryColumn> additive;
    for (const HistoryColumn &c : columns) {
        if (isPlantAdditive(c.code))
            additive << c;
    }
    return additive;
}

QList<DeviceInfo> historyDevices(QString *error)
{
    if (!stationBus().devices().isEmpty())
        return stationBus().devices();
    QList<DeviceInfo> devices;
    const auto rs = rsSqlGet(QStringLiteral("select id, devname from devices order by id"), {}, error);
    if (!rs)
        return devices;
    for (const QVariantList &row : rs->rows) {
        DeviceInfo d;
        d.id = row[0].toString();
        d.name = row[1].toString();
        devices << d;
    }
    return devices;
}

std::optional<QList<int>> recordedDevices(QSqlDatabase &db, QString *error)
{
    // One seek per device on the (dev, t) key, never a scan of the samples.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("select min(dev) from %1 where dev > ?").arg(QLatin1String(HISTORY_TABLE))))
        return failed<QList<int>>(query, error);
    QList<int> devices;
    qint64 last = -1;
    for (;;) {
        query.bindValue(0, last);
        if (!query.exec() || !query.next())
            return failed<QList<int>>(query, error);
        if (query.value(0).isNull())
            break;
        last = query.value(0).toLongLong();
        devices << int(last);
        query.finish();
    }
    return devices;
}

namespace {

// The scope of a request; nullopt with `error` for an id that names no
// device. A plant without samples has an empty filter.
std::optional<Scope> scopeOf(QSqlDatabase &db, const HistoryRequest &request, QString *error)
{
    Scope scope;
    if (request.deviceId == QLatin1String(HISTORY_PLANT)) {
        scope.plant = true;
        if (request.plantStepSeconds > 0)
            scope.step = request.plantStepSeconds;
        const auto devices = recordedDevices(db, error);
        if (!devices)
            return std::nullopt;
        QStringList numbers;
        for (int d : *devices)
            numbers << QString::number(d);
        if (!numbers.isEmpty())
            scope.devices = QStringLiteral("dev in (%1)").arg(numbers.join(QStringLiteral(", ")));
        return scope;
    }
    const int device = historyDeviceNumber(request.deviceId);
    if (device < 0) {
        if (error)
            *error = QStringLiteral("no such device: %1").arg(request.deviceId);
        return std::nullopt;
    }
    scope.devices = QStringLiteral("dev = %1").arg(device);
    return scope;
}

} // namespace

QList<HistoryColumn> historyColumns(QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QList<HistoryColumn> columns;
    if (!query.exec(QStringLiteral("select paraid, paracode, paraname, unit from %1 order by paraid")
                        .arg(QLatin1String(HISTORY_PARAM_TABLE)))) {
        if (error)
            *error = query.lastError().text();
        return columns;
    }
    while (query.next())
        columns << HistoryColumn{query.value(0).toInt(), query.value(1).toString(), query.value(2).toString(),
                                 query.value(3).toString()};
    if (query.lastError().isValid() && error)
        *error = query.lastError().text();
    return columns;
}

QList<HistoryColumn> historyColumns(QString *error)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return {};
    }
    QSqlDatabase db = connection.database();
    return historyColumns(db, error);
}

QList<HistoryColumn> historyColumnsFor(const QStringList &codes, QString *error)
{
    return pickHistoryColumns(historyColumns(error), codes);
}

std::optional<HistoryData> queryHistory(QSqlDatabase &db, const HistoryRequest &request, QString *error)
{
    HistoryData data;
    QString columnsError;
    const QList<HistoryColumn> all = historyColumns(db, &columnsError);
    if (!columnsError.isEmpty()) {
        if (error)
            *error = columnsError;
        return std::nullopt;
    }
    const auto scope = scopeOf(db, request, error);
    if (!scope)
        return std::nullopt;
    data.columns = pickHistoryColumns(all, request.codes);
    if (scope->plant)
        data.columns = plantColumns(data.columns);
    data.values = QList<QList<double>>(data.columns.size());
    const qint64 from = request.from.toSecsSinceEpoch();
    const qint64 to = request.to.toSecsSinceEpoch();
    // A plant asked only for values that do not add up has nothing to show.
    if (to <= from || scope->devices.isEmpty() || (scope->plant && data.columns.isEmpty()))
        return data;

    QSqlQuery query(db);
    // The count may use the coarse table whatever the reduction: its whole
    // buckets hold the same samples.
    const auto count = countSamples(query, *scope, splitRange(from, to, true));
    if (!count)
        return failed<HistoryData>(query, error);
    data.sampleCount = *count;

    const bool reduce = request.maxPoints > 1 && data.sampleCount > request.maxPoints;
    QSqlQuery rows(db);
    bool ok = false;
    if (reduce) {
        data.means = QList<QList<double>>(data.columns.size());
        data.bucketSeconds = bucketSecondsFor(from, to, request.maxPoints);
        const bool coarse = data.bucketSeconds % HISTORY_ROLLUP_SECONDS == 0;
        ok = readBuckets(rows, data, *scope, splitRange(from, to, coarse));
    } else {
        ok = readRaw(rows, data, *scope, from, to);
    }
    if (!ok)
        return failed<HistoryData>(rows, error);
    markGaps(data.times, data.gapBefore, request.gapSeconds);
    return data;
}

std::optional<HistoryData> queryHistory(const HistoryRequest &request, QString *error)
{
    DbConnection connection;
    if (!connection.isOpen()) {
        if (error)
            *error = connection.errorText();
        return std::nullopt;
    }
    QSqlDatabase db = connection.database();
    return queryHistory(db, request, error);
}

namespace {

bool isPlant(const QString &deviceId)
{
    return deviceId == QLatin1String(HISTORY_PLANT);
}

// The rows of histyield a yield query reads: one device's, or per day the
// plant's sums over its devices (a flag of any device marks the plant's day).
QString yieldSource(const QString &deviceId)
{
    if (!isPlant(deviceId))
        return QStringLiteral("(select day, energy, flagged, peakpower, peaktime, maxtmod, linkseconds, faults "
                              "from %1 where devid = ?)")
            .arg(QLatin1String(YIELD_TABLE));
    return QStringLiteral("(select day, sum(energy) energy, max(flagged & 1) | max(flagged & 2) | max(flagged & 4) "
                          "flagged, null peakpower, null peaktime, null maxtmod, sum(linkseconds) linkseconds, "
                          "sum(faults) faults from %1 where ? != '' group by day)")
        .arg(QLatin1String(YIELD_TABLE));
}

} // namespace

std::optional<QList<DayYield>> dailyYields(int year, int month, const QString &deviceId, QString *error)
{
    const QDate first(year, month, 1);
    if (!first.isValid()) {
        if (error)
            *error = QStringLiteral("no such month");
        return std::nullopt;
    }
    const auto rs = rsSqlGet(QStringLiteral("select day, energy, flagged, peakpower, peaktime, maxtmod, linkseconds, "
                                            "faults from %1 where day >= ? and day <= ? order by day")
                                 .arg(yieldSource(deviceId)),
                             {deviceId, first.toString(Qt::ISODate), first.addMonths(1).addDays(-1).toString(Qt::ISODate)},
                             error);
    if (!rs)
        return std::nullopt;
    QList<DayYield> days;
    for (const QVariantList &row : rs->rows) {
        DayYield y;
        y.deviceId = deviceId;
        y.day = QDate::fromString(row[0].toString(), Qt::ISODate);
        y.energyKwh = roundedKwh(row[1].toDouble());
        y.flagged = row[2].toInt();
        if (!row[3].isNull())
            y.peakPowerW = row[3].toDouble();
        if (!row[4].isNull())
            y.peakTime = QDateTime::fromSecsSinceEpoch(row[4].toLongLong());
        if (!row[5].isNull())
            y.maxModuleTemp = row[5].toDouble();
        y.linkSeconds = row[6].toLongLong();
        y.faults = row[7].toInt();
        days << y;
    }
    return days;
}

std::optional<double> storedDayEnergy(const QDate &day, const QString &deviceId, QString *error)
{
    const auto rs = rsSqlGet(QStringLiteral("select energy from %1 where day = ?").arg(yieldSource(deviceId)),
                             {deviceId, day.toString(Qt::ISODate)}, error);
    if (!rs || rs->recordCount() == 0)
        return std::nullopt;
    return roundedKwh(rs->rows[0][0].toDouble());
}

std::optional<QList<MonthYield>> monthlyYields(int year, const QString &deviceId, QString *error)
{
    const auto rs = rsSqlGet(QStringLiteral("select cast(substr(day, 6, 2) as integer), sum(energy), count(*), "
                                            "sum(flagged != 0), max(flagged & 1) | max(flagged & 2) | max(flagged & 4) "
                                            "from %1 where day >= ? and day < ? "
                                            "group by 1")
                                 .arg(yieldSource(deviceId)),
                             {deviceId, QStringLiteral("%1-01-01").arg(year, 4, 10, QLatin1Char('0')),
                              QStringLiteral("%1-01-01").arg(year + 1, 4, 10, QLatin1Char('0'))},
                             error);
    if (!rs)
        return std::nullopt;
    QList<MonthYield> months(12);
    for (int m = 0; m < 12; ++m)
        months[m].month = m + 1;
    for (const QVariantList &row : rs->rows) {
        const int m = row[0].toInt();
        if (m < 1 || m > 12)
            continue;
        months[m - 1].energyKwh = roundedKwh(row[1].toDouble());
        months[m - 1].days = row[2].toInt();
        months[m - 1].flaggedDays = row[3].toInt();
        months[m - 1].flagged = row[4].toInt();
    }
    return months;
}

} // namespace vantoro
