// The recorded history and daily yield for the web API. A request reads at
// most a bounded amount: the JSON is reduced to HISTORY_MAX_POINTS points per
// series, a CSV (every sample, unreduced) to HISTORY_CSV_MAX_ROWS rows.
#pragma once

#include "history/csv_writer.h"
#include "web/query_params.h"

#include <QByteArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <optional>

namespace vantoro {

// Longest range of one history request.
inline constexpr int HISTORY_MAX_DAYS = 366;
// Points per series in the JSON; a longer range gives per-bucket minima and
// maxima so no peak is lost.
inline constexpr int HISTORY_MAX_POINTS = 2000;
// Samples one CSV answer may hold: a day of one-second samples fits.
inline constexpr int HISTORY_CSV_MAX_ROWS = 100000;

// Why a history answer failed: a refused parameter (400) or an unreadable
// database (503).
struct FeedError
{
    bool badParameter = false;
    ParameterError parameter;
    QString databaseError;
};

// The device a history or yield request names with `device`: "001" when
// absent, HISTORY_PLANT for "plant" (the sum over the devices); nullopt for
// an id the line does not know, with `error` naming it (a 404).
std::optional<QString> requestedDevice(const QueryParams &params, ParameterError *error);

// {"device","from","to","maxPoints","sampleCount","bucketSeconds","reduced",
//  "columns":[{"code","name","unit"}],"points":[{"time","values":[...],"gap"?,"means"?:[...]}]}
// Reduced, each bucket gives two points, its minima first and its maxima
// last, both with the bucket's means.
// `codes` empty takes every recorded parameter; an unrecorded code is refused.
// Both read through `db` alone, so they may run on a worker thread.
std::optional<QJsonObject> historyJson(QSqlDatabase &db, const QString &deviceId, const TimeRange &range,
                                       const QStringList &codes, FeedError *error);
// The samples as CSV without a byte-order mark (a web client reads UTF-8).
std::optional<QByteArray> historyCsv(QSqlDatabase &db, const QString &deviceId, const TimeRange &range,
                                     const QStringList &codes, const HistoryCsvTexts &texts, FeedError *error);

// A month's daily rows, or with `month` absent the year's monthly totals,
// each with the sum: {"device","year","month"?,"days"|"months":[...],"totalKwh"};
// the plant's are the sums over its devices.
std::optional<QJsonObject> yieldJson(const QString &deviceId, int year, std::optional<int> month, QString *error);

} // namespace vantoro
