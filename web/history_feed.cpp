// History and yield answers over the history queries.
#include "web/history_feed.h"

#include "core/database.h"
#include "history/csv_writer.h"
#include "history/history_query.h"
#include "web/status_json.h"

#include <QBuffer>
#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>

namespace vantoro {

namespace {

QJsonValue jsonNumber(double value)
{
    // JSON has no NaN: a sample without this parameter is null.
    return std::isfinite(value) ? QJsonValue(tidyValue(value)) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonNumber(const std::optional<double> &value)
{
    return value ? jsonNumber(*value) : QJsonValue(QJsonValue::Null);
}

// The recorded columns of `codes`, refusing a code never recorded (for the
// plant, one that does not add up over devices).
std::optional<QList<HistoryColumn>> columnsFor(QSqlDatabase &db, const QString &deviceId, const QStringList &codes,
                                               FeedError *error)
{
    QString dbError;
    QList<HistoryColumn> all = historyColumns(db, &dbError);
    if (!dbError.isEmpty()) {
        error->databaseError = dbError;
        return std::nullopt;
    }
    if (deviceId == QLatin1String(HISTORY_PLANT))
        all = plantColumns(all);
    if (codes.isEmpty())
        return all;
    QList<HistoryColumn> picked = pickHistoryColumns(all, codes);
    for (const QString &code : codes) {
        const bool found = std::any_of(picked.begin(), picked.end(), [&](const HistoryColumn &c) {
            return c.code.compare(code, Qt::CaseInsensitive) == 0;
        });
        if (!found) {
            QStringList recorded;
            for (const HistoryColumn &c : all)
                recorded << c.code;
            error->badParameter = true;
            error->parameter = {QStringLiteral("codes"), QStringLiteral("%1 is not recorded; recorded: %2")
                                                             .arg(code, recorded.join(QStringLiteral(",")))};
            return std::nullopt;
        }
    }
    return picked;
}

QJsonArray pointsJson(const HistoryData &data)
{
    QJsonArray points;
    for (int i = 0; i < data.pointCount(); ++i) {
        QJsonArray values;
        for (const QList<double> &series : data.values)
            values.append(jsonNumber(series[i]));
        QJsonObject point{{QStringLiteral("time"), isoTime(QDateTime::fromSecsSinceEpoch(data.times[i]))},
                          {QStringLiteral("values"), values}};
        if (i > 0 && data.gapBefore[i])
            point.insert(QStringLiteral("gap"), true);
        if (!data.means.isEmpty()) {
            // Reduced: the point's bucket mean beside its minimum or maximum.
            QJsonArray means;
            for (const QList<double> &series : data.means)
                means.append(jsonNumber(series[i]));
            point.insert(QStringLiteral("means"), means);
        }
        points.append(point);
    }
    return points;
}

QJsonObject dayJson(const DayYield &d)
{
    return {{QStringLiteral("day"), d.day.toString(Qt::ISODate)},
            {QStringLiteral("energyKwh"), jsonNumber(roundedKwh(d.energyKwh))},
            {QStringLiteral("flagged"), d.flagged != 0},
            {QStringLiteral("flagReasons"), QJsonArray::fromStringList(yieldFlagNames(d.flagged))},
            {QStringLiteral("peakPowerW"), jsonNumber(d.peakPowerW)},
            {QStringLiteral("peakTime"), isoTime(d.peakTime)},
            {QStringLiteral("maxModuleTemp"), jsonNumber(d.maxModuleTemp)},
            {QStringLiteral("linkSeconds"), d.linkSeconds},
            {QStringLiteral("faults"), d.faults}};
}

} // namespace

std::optional<QString> requestedDevice(const QueryParams &params, ParameterError *error)
{
    const QString name = QStringLiteral("device");
    if (!params.has(name))
        return QString::fromLatin1(HISTORY_FIRST_DEVICE);
    const QString id = params.value(name);
    if (id == QLatin1String(HISTORY_PLANT))
        return id;
    const QList<DeviceInfo> devices = historyDevices();
    QStringList ids;
    for (const DeviceInfo &d : devices) {
        if (d.id == id)
            return id;
        ids << d.id;
    }
    *error = {name, QStringLiteral("no device %1 on the line; devices: %2, or plant")
                        .arg(id, ids.join(QStringLiteral(",")))};
    return std::nullopt;
}

std::optional<QJsonObject> historyJson(QSqlDatabase &db, const QString &deviceId, const TimeRange &range,
                                       const QStringList &codes, FeedError *error)
{
    const auto columns = columnsFor(db, deviceId, codes, error);
    if (!columns)
        return std::nullopt;
    QStringList picked;
    for (const HistoryColumn &c : *columns)
        picked << c.code;
    if (picked.isEmpty())
        return QJsonObject{{QStringLiteral("device"), deviceId},
                           {QStringLiteral("from"), isoTime(range.from)}, {QStringLiteral("to"), isoTime(range.to)},
                           {QStringLiteral("maxPoints"), HISTORY_MAX_POINTS}, {QStringLiteral("sampleCount"), 0},
                           {QStringLiteral("bucketSeconds"), 0}, {QStringLiteral("reduced"), false},
                           {QStringLiteral("columns"), QJsonArray()}, {QStringLiteral("points"), QJsonArray()}};
    const auto data = queryHistory(db, {range.from, range.to, picked, HISTORY_MAX_POINTS, 0, deviceId, 0},
                                   &error->databaseError);
    if (!data)
        return std::nullopt;
    QJsonArray columnsJson;
    for (const HistoryColumn &c : data->columns)
        columnsJson.append(QJsonObject{{QStringLiteral("code"), c.code},
                                       {QStringLiteral("name"), c.name},
                                       {QStringLiteral("unit"), c.unit}});
    return QJsonObject{{QStringLiteral("device"), deviceId},
                       {QStringLiteral("from"), isoTime(range.from)},
                       {QStringLiteral("to"), isoTime(range.to)},
                       {QStringLiteral("maxPoints"), HISTORY_MAX_POINTS},
                       {QStringLiteral("sampleCount"), data->sampleCount},
                       {QStringLiteral("bucketSeconds"), data->bucketSeconds},
                       {QStringLiteral("reduced"), data->bucketSeconds > 0},
                       {QStringLiteral("columns"), columnsJson},
                       {QStringLiteral("points"), pointsJson(*data)}};
}

std::optional<QByteArray> historyCsv(QSqlDatabase &db, const QString &deviceId, const TimeRange &range,
                                     const QStringList &codes, const HistoryCsvTexts &texts, FeedError *error)
{
    const auto columns = columnsFor(db, deviceId, codes, error);
    if (!columns)
        return std::nullopt;
    // Counted first: the CSV is every sample, so its size follows the range.
    // The plant's rows are fewer than its devices' samples counted here.
    QSqlQuery count(db);
    const bool plant = deviceId == QLatin1String(HISTORY_PLANT);
    count.prepare(QStringLiteral("select count(*) from %1 where (? or dev = ?) and t >= ? and t < ?")
                      .arg(QLatin1String(HISTORY_TABLE)));
    count.addBindValue(plant);
    count.addBindValue(historyDeviceNumber(deviceId));
    count.addBindValue(range.from.toSecsSinceEpoch());
    count.addBindValue(range.to.toSecsSinceEpoch());
    if (!count.exec() || !count.next()) {
        error->databaseError = count.lastError().text();
        return std::nullopt;
    }
    const qint64 samples = count.value(0).toLongLong();
    count.finish();
    if (samples > HISTORY_CSV_MAX_ROWS) {
        error->badParameter = true;
        error->parameter = {QStringLiteral("to"), QStringLiteral("the range holds %1 samples, a CSV at most %2: "
                                                                 "ask for a shorter range")
                                                      .arg(samples)
                                                      .arg(HISTORY_CSV_MAX_ROWS)};
        return std::nullopt;
    }
    QStringList picked;
    for (const HistoryColumn &c : *columns)
        picked << c.code;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (picked.isEmpty()) {
        // Nothing recorded yet (empty codes would ask the writer for all).
        CsvWriter(&buffer, false).writeRow({texts.time, texts.device});
        return buffer.data();
    }
    if (!writeHistoryCsv(db, &buffer, {range.from, range.to, picked, 0, 0, deviceId, 0}, texts,
                         &error->databaseError, false))
        return std::nullopt;
    return buffer.data();
}

std::optional<QJsonObject> yieldJson(const QString &deviceId, int year, std::optional<int> month, QString *error)
{
    QJsonObject json{{QStringLiteral("device"), deviceId}, {QStringLiteral("year"), year}};
    QJsonArray rows;
    double total = 0;
    if (month) {
        const auto days = dailyYields(year, *month, deviceId, error);
        if (!days)
            return std::nullopt;
        for (const DayYield &d : *days) {
            rows.append(dayJson(d));
            total += d.energyKwh;
        }
        json.insert(QStringLiteral("month"), *month);
        json.insert(QStringLiteral("days"), rows);
    } else {
        const auto months = monthlyYields(year, deviceId, error);
        if (!months)
            return std::nullopt;
        for (const MonthYield &m : *months) {
            rows.append(QJsonObject{{QStringLiteral("month"), m.month},
                                    {QStringLiteral("energyKwh"), jsonNumber(roundedKwh(m.energyKwh))},
                                    {QStringLiteral("days"), m.days},
                                    {QStringLiteral("flaggedDays"), m.flaggedDays},
                                    {QStringLiteral("flagReasons"), QJsonArray::fromStringList(yieldFlagNames(m.flagged))}});
            total += m.energyKwh;
        }
        json.insert(QStringLiteral("months"), rows);
    }
    json.insert(QStringLiteral("totalKwh"), jsonNumber(roundedKwh(total)));
    return json;
}

} // namespace vantoro
